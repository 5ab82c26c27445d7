#include "Application.h"

#include "MessageBox.h"

#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QTextBrowser>
#include <QVBoxLayout>

TApplication& TApplication::Instance() {
    static TApplication Application;
    return Application;
}

void TApplication::SetTitle(const std::string& Title) {
    FTitle = Title;
    if (QCoreApplication::instance())
        QApplication::setApplicationDisplayName(QString::fromStdString(Title));
}

void TApplication::RegisterHelpText(const std::string& HelpFile, const std::string& Text) {
    FHelpTexts[HelpFile] = Text;
}

std::string TApplication::HelpTextOf(const std::string& HelpFile) const {
    auto It = FHelpTexts.find(HelpFile);
    return It == FHelpTexts.end() ? std::string() : It->second;
}

bool TApplication::HelpCommand(int Command, long /*Data*/, QWidget* Parent) {
    std::string Text = HelpTextOf(FHelpFile);
    if (Command != HELP_CONTENTS || Text.empty())
        return false;
    QDialog Dialog(Parent);
    Dialog.setWindowTitle(QString::fromStdString(FTitle + " Help"));
    auto* Layout = new QVBoxLayout(&Dialog);
    auto* Browser = new QTextBrowser(&Dialog);
    Browser->setPlainText(QString::fromStdString(Text));
    Layout->addWidget(Browser);
    auto* Buttons = new QDialogButtonBox(QDialogButtonBox::Close, &Dialog);
    QObject::connect(Buttons, &QDialogButtonBox::rejected, &Dialog, &QDialog::reject);
    Layout->addWidget(Buttons);
    Dialog.resize(520, 420);
    Dialog.exec();
    return true;
}

void TApplication::ShowException(const std::exception& Error, QWidget* Parent) {
    TMessageBox::Show(Parent, Error.what());
}
