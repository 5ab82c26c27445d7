// TDetectForm: the window of "Digit Detector": a read-only log filling the
// client area and a menu bar with Open and Help (F1). The work is done by
// TDetectLogic; the form adds the widgets, the dialog and the help.
#pragma once

#include "DetectLogic.h"
#include "qt/OpenDialog.h"

#include <QMainWindow>

class QPlainTextEdit;
namespace Ui {
class TDetectForm;
}

class TDetectForm : public QMainWindow {
    Q_OBJECT

public:
    explicit TDetectForm(QWidget* Parent = nullptr);
    ~TDetectForm() override;

    void open1Click();
    void Help1Click();

    QPlainTextEdit* GetMemo() const;
    TDetectLogic& GetLogic() const { return *Logic; }
    TOpenDialog& GetOpenDialog() { return OpenDialog1; }
    // Opens FileName as the Open command does after its dialog.
    void OpenFile(const std::string& FileName);

private:
    Ui::TDetectForm* Form;
    TOpenDialog OpenDialog1;
    TDetectLogic* Logic;
};

extern TDetectForm* DetectForm;
