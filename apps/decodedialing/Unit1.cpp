#include "Unit1.h"

#include "ui_Unit1.h"

#include "qt/Application.h"
#include "qt/MessageBox.h"

#include <QAction>
#include <QPlainTextEdit>

TDetectForm* DetectForm = nullptr;

TDetectForm::TDetectForm(QWidget* Parent)
    : QMainWindow(Parent), Form(new Ui::TDetectForm), OpenDialog1(this) {
    Form->setupUi(this);
    OpenDialog1.DefaultExt = "raw";
    OpenDialog1.FileName = "*.raw";
    OpenDialog1.Filter = "16-bit raw Files|*.raw";
    OpenDialog1.AllowMultiSelect = false;
    Logic = new TDetectLogic(
        nullptr,
        [this](const std::string& Line) {
            Form->Memo1->appendPlainText(QString::fromStdString(Line));
        },
        [this] { Form->Memo1->clear(); });
    connect(Form->open1, &QAction::triggered, this, &TDetectForm::open1Click);
    connect(Form->Help1, &QAction::triggered, this, &TDetectForm::Help1Click);
}

TDetectForm::~TDetectForm() {
    delete Logic;
    delete Form;
}

QPlainTextEdit* TDetectForm::GetMemo() const {
    return Form->Memo1;
}

void TDetectForm::open1Click() {
    if (Logic->IsDetecting())
        return;
    if (!OpenDialog1.Execute())
        return;
    OpenFile(OpenDialog1.FileName);
}

void TDetectForm::OpenFile(const std::string& FileName) {
    std::string Reason;
    if (!Logic->Open(FileName, Reason))
        TMessageBox::Show(this, TDetectLogic::OpenFailedMessage);
}

void TDetectForm::Help1Click() {
    TApplication::Instance().HelpCommand(TApplication::HELP_CONTENTS, 0, this);
}
