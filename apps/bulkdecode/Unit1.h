// TBulkDecodeForm: the window of "Batch Digit Detector". It shows the batch
// model of TBatchLogic: the log, the dialled and detected digits, the run
// controls, the signal view with its scroll bar, scales and status bar,
// and the stepping commands over the last recording.
#pragma once

#include "BatchLogic.h"
#include "qt/OpenDialog.h"

#include <QWidget>

class QLabel;
namespace Ui {
class TBulkDecodeForm;
}

class TBulkDecodeForm : public QWidget, public TBatchDisplay {
    Q_OBJECT

public:
    explicit TBulkDecodeForm(QWidget* Parent = nullptr);
    ~TBulkDecodeForm() override;

    // Handlers, named as the form binds them.
    void Button25Click(); // Open Files ...
    void Button30Click(); // Stop
    void CheckBox1Click();
    void ComboBox1Change();
    void Help1Click();
    void ScrollBar1Change();
    void CheckBoxClick();
    void SpeedButton9Click();
    void SpeedButton10Click();
    void SpeedButton11Click();
    void SpeedButton12Click();
    void PaintBox1MouseDown(int X, Qt::KeyboardModifiers Shift);
    void PaintBox1MouseUp(int X, Qt::KeyboardModifiers Shift);
    void Button28Click();
    void Button26Click();
    void Button27Click();
    void Button29Click();
    void Button16Click();
    void Button24Click();
    void Button23Click();
    void EDCoefChange();

    TBatchLogic& GetLogic() const { return *Logic; }
    TOpenDialog& GetOpenDialog() { return OpenDialog1; }
    Ui::TBulkDecodeForm& GetUi() const { return *Form; }
    QString StatusText(int Panel) const;
    // Checks the Delta and Level boxes as a click would.
    void ShowCurves(bool Delta, bool Level);
    // Runs a batch over Files as Open Files does after its dialog.
    void OpenFiles(const std::vector<std::string>& Files);

    // TBatchDisplay
    void AddLine(const std::string& Line) override;
    void ClearLog() override;
    void SetDialed(const std::string& Digits) override;
    void SetDetected(const std::string& Digits) override;
    void ShowDigit(const std::string& Digit, const std::string& Time,
                   const std::string& Type) override;
    int GetScrollPosition() override;
    void SetScrollPosition(int Position) override;
    void SetScrollMax(int Max) override;
    void UpdateViewRange() override;
    void Repaint() override;
    void ProcessDisplay() override;
    void Beep() override;
    void ShowMessage(const std::string& Text) override;
    bool Confirm(const std::string& Text, const std::string& Caption) override;
    void SetControls(bool OpenEnabled, bool StopEnabled, bool StepsEnabled) override;
    bool ConfirmEachStep() override;

private:
    void UpdateStatus();

    Ui::TBulkDecodeForm* Form;
    TOpenDialog OpenDialog1;
    TBatchLogic* Logic;
    QLabel* StatusPanels[5];
    int ScrollMax = 3000; // the scroll bar's Max as the form sets it
};

extern TBulkDecodeForm* BulkDecodeForm;
