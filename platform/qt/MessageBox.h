// TMessageBox: the plain message box and the Yes/No confirmation of the
// programs. Tests record and answer them through SetAnswerForTests.
#pragma once

#include <functional>
#include <string>

class QWidget;

class TMessageBox {
public:
    // A message with an OK button.
    static void Show(QWidget* Parent, const std::string& Text);
    // A confirmation; true for Yes.
    static bool Confirm(QWidget* Parent, const std::string& Text, const std::string& Caption = "");

    // Called instead of showing a box: Text and whether it asks Yes/No;
    // the result answers a confirmation.
    using TAnswer = std::function<bool(const std::string& Text, bool IsConfirmation)>;
    static void SetAnswerForTests(TAnswer Answer);
};
