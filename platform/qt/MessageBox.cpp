#include "MessageBox.h"

#include <QApplication>
#include <QMessageBox>

namespace {
TMessageBox::TAnswer TestAnswer;
}

void TMessageBox::SetAnswerForTests(TAnswer Answer) { TestAnswer = std::move(Answer); }

void TMessageBox::Show(QWidget* Parent, const std::string& Text) {
    if (TestAnswer) {
        TestAnswer(Text, false);
        return;
    }
    QMessageBox::information(Parent, QApplication::applicationDisplayName(), QString::fromStdString(Text));
}

bool TMessageBox::Confirm(QWidget* Parent, const std::string& Text) {
    if (TestAnswer)
        return TestAnswer(Text, true);
    return QMessageBox::question(Parent, QApplication::applicationDisplayName(),
                                 QString::fromStdString(Text)) == QMessageBox::Yes;
}
