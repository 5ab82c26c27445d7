// TOpenDialog: the file-open dialog of a form. Execute shows it and returns
// false when the user cancels. Tests answer it without a dialog through
// SetAnswerForTests.
#pragma once

#include <functional>
#include <string>
#include <vector>

class QWidget;

class TOpenDialog {
public:
    explicit TOpenDialog(QWidget* Parent = nullptr) : FParent(Parent) {}

    // "Description|*.ext" pairs, separated by '|', as forms store them.
    std::string Filter;
    std::string DefaultExt;
    std::string FileName;
    std::string InitialDir;
    std::string Title;
    bool AllowMultiSelect = false;
    // After Execute: the chosen files (FileName is the first).
    std::vector<std::string> Files;

    bool Execute();

    // Replaces the dialog: the answer fills FileName/Files and returns
    // whether the user "pressed Open". Empty to show real dialogs again.
    using TAnswer = std::function<bool(TOpenDialog& Dialog)>;
    static void SetAnswerForTests(TAnswer Answer);
    static int ExecuteCountForTests();

    // "16-bit raw Files|*.raw" -> "16-bit raw Files (*.raw)".
    static std::string QtFilterOf(const std::string& Filter);

private:
    QWidget* FParent;
};
