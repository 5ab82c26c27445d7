#include "MessageBox.h"

#include <QApplication>
#include <QMessageBox>

namespace {
TMessageBox::TAnswer TestAnswer;
}

void TMessageBox::SetAnswerForTests(TAnswer Answer) {
    TestAnswer = std::move(Answer);
}

void TMessageBox::Show(QWidget* Parent, const std::string& Text) {
    if (TestAnswer) {
        TestAnswer(Text, false);
        return;
    }
    QMessageBox::information(Parent, QApplication::applicationDisplayName(),
                             QString::fromStdString(Text));
}

bool TMessageBox::Confirm(QWidget* Parent, const std::string& Text, const std::string& Caption) {
    if (TestAnswer)
        return TestAnswer(Text, true);
    QString Title =
        Caption.empty() ? QApplication::applicationDisplayName() : QString::fromStdString(Caption);
    return QMessageBox::question(Parent, Title, QString::fromStdString(Text)) == QMessageBox::Yes;
}
