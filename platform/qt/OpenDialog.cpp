#include "OpenDialog.h"

#include <QFileDialog>
#include <QStringList>

namespace {
TOpenDialog::TAnswer TestAnswer;
int Executions = 0;
} // namespace

void TOpenDialog::SetAnswerForTests(TAnswer Answer) {
    TestAnswer = std::move(Answer);
    Executions = 0;
}

int TOpenDialog::ExecuteCountForTests() {
    return Executions;
}

std::string TOpenDialog::QtFilterOf(const std::string& Filter) {
    QStringList Parts = QString::fromStdString(Filter).split('|');
    QStringList Out;
    for (int I = 0; I + 1 < Parts.size(); I += 2) {
        QString Patterns = Parts[I + 1];
        Patterns.replace(';', ' ');
        Out << Parts[I] + " (" + Patterns + ")";
    }
    return Out.join(";;").toStdString();
}

bool TOpenDialog::Execute() {
    ++Executions;
    Files.clear();
    if (TestAnswer) {
        bool Ok = TestAnswer(*this);
        if (Ok && Files.empty())
            Files.push_back(FileName);
        if (Ok && !Files.empty())
            FileName = Files.front();
        return Ok;
    }
    QFileDialog Dialog(FParent, QString::fromStdString(Title), QString::fromStdString(InitialDir),
                       QString::fromStdString(QtFilterOf(Filter)));
    Dialog.setAcceptMode(QFileDialog::AcceptOpen);
    Dialog.setFileMode(AllowMultiSelect ? QFileDialog::ExistingFiles : QFileDialog::ExistingFile);
    Dialog.setDefaultSuffix(QString::fromStdString(DefaultExt));
    if (!FileName.empty() && FileName.find('*') == std::string::npos)
        Dialog.selectFile(QString::fromStdString(FileName));
    if (Dialog.exec() != QDialog::Accepted)
        return false;
    for (const QString& File : Dialog.selectedFiles())
        Files.push_back(File.toStdString());
    if (Files.empty())
        return false;
    FileName = Files.front();
    return true;
}
