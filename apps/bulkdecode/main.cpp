// bulkdecode: the "Batch Digit Detector" window, or its command-line mode.
#include "BatchLogic.h"
#include "ConsoleDisplay.h"
#include "HelpText.h"
#include "Unit1.h"

#include "qt/Application.h"
#include "qt/QtSynchronize.h"
#include "rtl/Thread.h"

#include <QApplication>
#include <QElapsedTimer>

#include <cstring>
#include <iostream>
#include <string>
#include <vector>

namespace {

const char* const Usage =
    "Usage: bulkdecode                                   the window\n"
    "       bulkdecode --cli [--blocking] FILE.raw ...   the batch log on standard output\n"
    "       bulkdecode --screenshot PNG FILE.raw ...     the window after a batch and a few steps\n"
    "       bulkdecode --help | --version\n"
    "\n"
    "Exit status (--cli): 0 every recording matched, 1 any did not,\n"
    "2 a file could not be opened or the arguments are wrong.\n";

int RunCommandLine(bool Blocking, const std::vector<std::string>& Files) {
    TConsoleDisplay Display;
    TBatchLogic Logic(nullptr, &Display);
    Logic.SetBlocking(Blocking);
    Logic.RunBatch(Files);
    while (Logic.IsRunning())
        CheckSynchronize(50);
    if (Logic.OpenFailed())
        return 2;
    return Logic.AnyMismatch() ? 1 : 0;
}

int RunWindow(int argc, char** argv, const std::vector<std::string>& Files,
              const std::string& Screenshot) {
    QApplication App(argc, argv);
    TQtSynchronize::Install();
    TApplication& Application = TApplication::Instance();
    Application.SetTitle("Batch Digit Detector");
    Application.SetHelpFile("BATCHDIGITDETECTOR.HLP");
    Application.RegisterHelpText("BATCHDIGITDETECTOR.HLP", BatchDigitDetectorHelpText);
    int Result = 0;
    try {
        BulkDecodeForm = new TBulkDecodeForm;
        BulkDecodeForm->show();
        if (!Screenshot.empty()) {
            BulkDecodeForm->OpenFiles(Files);
            QElapsedTimer Waited;
            Waited.start();
            while (BulkDecodeForm->GetLogic().IsRunning() && Waited.elapsed() < 120000)
                App.processEvents(QEventLoop::AllEvents, 20);
            // A few steps through the last recording's pulses.
            BulkDecodeForm->ShowCurves(true, true);
            BulkDecodeForm->Button28Click();
            BulkDecodeForm->Button16Click();
            App.processEvents();
            Result = BulkDecodeForm->grab().save(QString::fromStdString(Screenshot)) ? 0 : 2;
        } else {
            App.exec();
        }
    } catch (const std::exception& Error) {
        Application.ShowException(Error);
    }
    delete BulkDecodeForm;
    BulkDecodeForm = nullptr;
    TQtSynchronize::Uninstall();
    return Result;
}

} // namespace

int main(int argc, char** argv) {
    std::vector<std::string> Args(argv + 1, argv + argc);
    if (!Args.empty() && (Args[0] == "--help" || Args[0] == "-h")) {
        std::cout << Usage << "\n" << BatchDigitDetectorHelpText;
        return 0;
    }
    if (!Args.empty() && Args[0] == "--version") {
        std::cout << "bulkdecode (Orvane Suite) " ORVANE_VERSION "\n";
        return 0;
    }
    if (!Args.empty() && Args[0] == "--cli") {
        size_t First = 1;
        bool Blocking = false;
        if (First < Args.size() && Args[First] == "--blocking") {
            Blocking = true;
            ++First;
        }
        if (First >= Args.size()) {
            std::cerr << Usage;
            return 2;
        }
        return RunCommandLine(Blocking, std::vector<std::string>(
                                            Args.begin() + static_cast<long>(First), Args.end()));
    }
    if (!Args.empty() && Args[0] == "--screenshot") {
        if (Args.size() < 3) {
            std::cerr << Usage;
            return 2;
        }
        return RunWindow(1, argv, std::vector<std::string>(Args.begin() + 2, Args.end()), Args[1]);
    }
    if (!Args.empty()) {
        std::cerr << Usage;
        return 2;
    }
    return RunWindow(1, argv, {}, "");
}
