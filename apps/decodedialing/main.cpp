// decodedialing: the "Digit Detector" window, or its command-line mode.
#include "DetectLogic.h"
#include "HelpText.h"
#include "Unit1.h"

#include "qt/Application.h"
#include "qt/MessageBox.h"
#include "qt/QtSynchronize.h"
#include "rtl/Exception.h"
#include "rtl/Thread.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPixmap>

#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>

namespace {

const char* const Usage =
    "Usage: decodedialing [FILE.raw]              the window (opening FILE at once)\n"
    "       decodedialing --cli FILE.raw          the log on standard output\n"
    "       decodedialing --screenshot PNG FILE   the window after decoding FILE, as PNG\n"
    "       decodedialing --help | --version\n"
    "\n"
    "Exit status: 0 done, 2 the file cannot be opened or the arguments are wrong.\n";

int RunCommandLine(const std::string& FileName) {
    TDetectLogic Logic(
        nullptr,
        [](const std::string& Line) {
            std::fputs(Line.c_str(), stdout);
            std::fputc('\n', stdout);
            std::fflush(stdout);
        },
        nullptr);
    std::string Reason;
    if (!Logic.Open(FileName, Reason)) {
        std::cerr << TDetectLogic::OpenFailedMessage << " " << Reason << "\n";
        return 2;
    }
    // The detector's events arrive through Synchronize; this loop is the
    // main thread's event loop.
    while (Logic.IsDetecting())
        CheckSynchronize(50);
    return 0;
}

int RunWindow(int argc, char** argv, const std::string& OpenAtOnce, const std::string& Screenshot) {
    QApplication App(argc, argv);
    TQtSynchronize::Install();
    TApplication& Application = TApplication::Instance();
    Application.SetTitle("Digit Detector");
    Application.SetHelpFile("DigitDetector.hlp");
    Application.RegisterHelpText("DigitDetector.hlp", DigitDetectorHelpText);
    int Result = 0;
    try {
        DetectForm = new TDetectForm;
        DetectForm->show();
        if (!OpenAtOnce.empty())
            DetectForm->OpenFile(OpenAtOnce);
        if (!Screenshot.empty()) {
            QElapsedTimer Waited;
            Waited.start();
            while (DetectForm->GetLogic().IsDetecting() && Waited.elapsed() < 60000)
                App.processEvents(QEventLoop::AllEvents, 20);
            App.processEvents();
            Result = DetectForm->grab().save(QString::fromStdString(Screenshot)) ? 0 : 2;
        } else {
            App.exec();
        }
    } catch (const std::exception& Error) {
        Application.ShowException(Error);
    }
    delete DetectForm;
    DetectForm = nullptr;
    TQtSynchronize::Uninstall();
    return Result;
}

} // namespace

int main(int argc, char** argv) {
    if (argc >= 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::cout << Usage << "\n" << DigitDetectorHelpText;
        return 0;
    }
    if (argc >= 2 && std::strcmp(argv[1], "--version") == 0) {
        std::cout << "decodedialing (Orvane Suite) " ORVANE_VERSION "\n";
        return 0;
    }
    if (argc >= 2 && std::strcmp(argv[1], "--cli") == 0) {
        if (argc != 3) {
            std::cerr << Usage;
            return 2;
        }
        return RunCommandLine(argv[2]);
    }
    if (argc >= 2 && std::strcmp(argv[1], "--screenshot") == 0) {
        if (argc != 4) {
            std::cerr << Usage;
            return 2;
        }
        return RunWindow(1, argv, argv[3], argv[2]);
    }
    if (argc > 2 || (argc == 2 && argv[1][0] == '-')) {
        std::cerr << Usage;
        return 2;
    }
    return RunWindow(1, argv, argc == 2 ? argv[1] : "", "");
}
