#include "DialSynth.h"
#include "Unit1.h"

#include "qt/MessageBox.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

namespace {

namespace fs = std::filesystem;

std::string Temp(const std::string& Name) {
    return (fs::temp_directory_path() /
            ("decodedialing_test_" + std::to_string(::getpid()) + "_" + Name))
        .string();
}

std::string WriteBytes(const std::string& Name, const std::vector<char>& Bytes) {
    std::string Path = Temp(Name);
    std::ofstream(Path, std::ios::binary)
        .write(Bytes.data(), static_cast<std::streamsize>(Bytes.size()));
    return Path;
}

std::string WriteRecording(const std::string& Name, const std::string& Digits,
                           const std::string& Kinds) {
    dialgen::RecordingSpec Spec;
    Spec.Digits = Digits;
    Spec.Kinds = Kinds;
    Spec.Tone.ToneMs = 150;
    Spec.Tone.PauseMs = 300;
    std::string Path = Temp(Name), Error;
    EXPECT_TRUE(dialgen::WriteRaw(Path, dialgen::MakeRecording(Spec), Error)) << Error;
    return Path;
}

bool WaitWhileDetecting(TDetectForm& Form) {
    QElapsedTimer Timer;
    Timer.start();
    while (Form.GetLogic().IsDetecting()) {
        if (Timer.elapsed() > 60000)
            return false;
        QApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

std::string LogOf(TDetectForm& Form) {
    return Form.GetMemo()->toPlainText().toStdString();
}

struct Answers {
    std::string File;
    bool Accept = true;
    std::vector<std::string> Messages;
    Answers() {
        TOpenDialog::SetAnswerForTests([this](TOpenDialog& Dialog) {
            Dialog.FileName = File;
            return Accept;
        });
        TMessageBox::SetAnswerForTests([this](const std::string& Text, bool) {
            Messages.push_back(Text);
            return true;
        });
    }
    ~Answers() {
        TOpenDialog::SetAnswerForTests(nullptr);
        TMessageBox::SetAnswerForTests(nullptr);
    }
};

TEST(DetectForm, IsBuiltAsTheFormDescribesIt) {
    TDetectForm Form;
    EXPECT_EQ(Form.windowTitle().toStdString(), "Digit Detector");
    EXPECT_EQ(Form.width(), 209);
    EXPECT_EQ(Form.height(), 375);
    EXPECT_TRUE(Form.GetMemo()->isReadOnly());
    EXPECT_FALSE(Form.GetLogic().DigitDetector1->GetBlocking());
    EXPECT_EQ(Form.GetOpenDialog().Filter, "16-bit raw Files|*.raw");
    EXPECT_EQ(Form.GetOpenDialog().DefaultExt, "raw");
    EXPECT_EQ(TOpenDialog::QtFilterOf(Form.GetOpenDialog().Filter), "16-bit raw Files (*.raw)");
}

TEST(DetectForm, OpenWritesBeginDigitEndAndNumberLines) {
    Answers A;
    A.File = WriteRecording("mixed.raw", "5#73", "TTPP");
    TDetectForm Form;
    Form.open1Click();
    ASSERT_TRUE(WaitWhileDetecting(Form));
    QStringList Lines = Form.GetMemo()->toPlainText().split('\n');
    ASSERT_EQ(Lines.size(), 7) << LogOf(Form);
    EXPECT_EQ(Lines[0], "-------- Begin Detecting -------");
    EXPECT_TRUE(Lines[1].startsWith("5,  at:") && Lines[1].endsWith(", type=Tone"))
        << Lines[1].toStdString();
    EXPECT_TRUE(Lines[2].startsWith("#,  at:") && Lines[2].endsWith(", type=Tone"));
    EXPECT_TRUE(Lines[3].startsWith("7,  at:") && Lines[3].endsWith(", type=Pulse"));
    EXPECT_TRUE(Lines[4].startsWith("3,  at:") && Lines[4].endsWith(", type=Pulse"));
    EXPECT_EQ(Lines[5], "------------ End -------------");
    EXPECT_EQ(Lines[6], " Dialed Numer = 5#73");
    EXPECT_TRUE(A.Messages.empty());
    std::remove(A.File.c_str());
}

TEST(DetectForm, OpenDuringARunCancelAndUnreadableFileChangeNothing) {
    Answers A;
    A.File = WriteRecording("long.raw", "1234567890", "P");
    TDetectForm Form;
    Form.open1Click();
    ASSERT_TRUE(Form.GetLogic().IsDetecting());
    Form.open1Click();
    EXPECT_EQ(TOpenDialog::ExecuteCountForTests(), 1) << "no dialog during a run";
    ASSERT_TRUE(WaitWhileDetecting(Form));
    std::string Log = LogOf(Form);

    A.Accept = false;
    Form.open1Click();
    EXPECT_EQ(LogOf(Form), Log) << "cancelled";

    A.Accept = true;
    A.File = Temp("missing.raw");
    Form.open1Click();
    EXPECT_EQ(A.Messages, (std::vector<std::string>{"The file cannot be opened!"}));
    EXPECT_EQ(LogOf(Form), Log);
    EXPECT_FALSE(Form.GetLogic().IsDetecting());
    std::remove((Temp("long.raw")).c_str());
}

TEST(DetectForm, ClosingDuringARunStopsTheDetectorFirst) {
    Answers A;
    A.File = WriteRecording("close.raw", "0000", "P");
    for (int Delay : {0, 5, 30}) {
        auto* Form = new TDetectForm;
        Form->open1Click();
        QElapsedTimer Timer;
        Timer.start();
        while (Timer.elapsed() < Delay)
            QApplication::processEvents(QEventLoop::AllEvents, 1);
        delete Form;
    }
    std::remove(A.File.c_str());
}

// Records what the program's supply handler hands the detector.
struct SupplyTrace {
    struct Answer {
        int Position, Length;
        bool Last;
    };
    std::vector<Answer> Answers;
};

SupplyTrace TraceSupply(const std::string& Path) {
    SupplyTrace Trace;
    TDetectForm Form;
    TDetectLogic& Logic = Form.GetLogic();
    Logic.DigitDetector1->SetDoSupplyBuffer(
        [&](TComponent* S, short*& B, int& L, bool& Last, int P) {
            Logic.DigitDetector1DoSupplyBuffer(S, B, L, Last, P);
            Trace.Answers.push_back({P, L, Last});
        });
    std::string Reason;
    EXPECT_TRUE(Logic.Open(Path, Reason)) << Reason;
    EXPECT_TRUE(WaitWhileDetecting(Form));
    return Trace;
}

TEST(DetectLogic, SupplyHandsOutTenSecondBuffersMarkingTheLast) {
    struct Case {
        const char* Name;
        size_t Bytes;
        std::vector<std::tuple<int, int, bool>> Expected; // position, length, last
    };
    const Case Cases[] = {
        {"shorter than a buffer", 2 * 1000, {{0, 1000, true}}},
        {"odd trailing byte", 2 * 1000 + 1, {{0, 1000, true}}},
        {"empty", 0, {{0, 0, true}}},
        {"two full buffers",
         2 * 160000,
         {{0, 80000, false}, {80000, 80000, false}, {160000, 0, true}}},
    };
    for (const Case& C : Cases) {
        std::string Path = WriteBytes("supply.raw", std::vector<char>(C.Bytes, 0));
        SupplyTrace Trace = TraceSupply(Path);
        ASSERT_EQ(Trace.Answers.size(), C.Expected.size()) << C.Name;
        for (size_t I = 0; I < C.Expected.size(); ++I) {
            EXPECT_EQ(Trace.Answers[I].Position, std::get<0>(C.Expected[I])) << C.Name << " " << I;
            EXPECT_EQ(Trace.Answers[I].Length, std::get<1>(C.Expected[I])) << C.Name << " " << I;
            EXPECT_EQ(Trace.Answers[I].Last, std::get<2>(C.Expected[I])) << C.Name << " " << I;
        }
        std::remove(Path.c_str());
    }
}

TEST(DetectLogic, DigitLinesAndEveryCharacterInTheNumber) {
    EXPECT_EQ(TDetectLogic::DigitLine('5', 1234, true), "5,  at:1234, type=Tone");
    EXPECT_EQ(TDetectLogic::DigitLine('!', 0, false), "!,  at:0, type=Pulse");
    std::vector<std::string> Lines;
    TDetectLogic Logic(
        nullptr, [&](const std::string& L) { Lines.push_back(L); }, nullptr);
    Logic.DigitDetector1DigitDetected(nullptr, '.', 10, true);
    Logic.DigitDetector1DigitDetected(nullptr, '!', 20, false);
    Logic.DigitDetector1DetectionEnd(nullptr);
    EXPECT_EQ(Lines.back(), " Dialed Numer = .!");
}

std::string RunProgram(const std::string& Arguments, int& Status) {
    std::string Out = Temp("out.txt");
    std::string Command =
        std::string(DECODEDIALING_PATH) + " " + Arguments + " >" + Out + " 2>/dev/null";
    int Raw = std::system(Command.c_str());
    Status = WIFEXITED(Raw) ? WEXITSTATUS(Raw) : -1;
    std::ifstream In(Out);
    std::string Text((std::istreambuf_iterator<char>(In)), {});
    std::remove(Out.c_str());
    return Text;
}

TEST(DecodeDialingProgram, CommandLinePrintsWhatTheWindowLogs) {
    for (const char* Sample : {"mixed_0815_a.raw", "noisy_3906_a.raw"}) {
        std::string Path = std::string(SAMPLES_DIR) + "/" + Sample;
        Answers A;
        A.File = Path;
        TDetectForm Form;
        Form.open1Click();
        ASSERT_TRUE(WaitWhileDetecting(Form));
        int Status = -1;
        EXPECT_EQ(RunProgram("--cli " + Path, Status), LogOf(Form) + "\n") << Sample;
        EXPECT_EQ(Status, 0);
    }
    int Status = -1;
    RunProgram("--cli " + Temp("missing.raw"), Status);
    EXPECT_EQ(Status, 2);
    RunProgram("--cli", Status);
    EXPECT_EQ(Status, 2);
    EXPECT_NE(RunProgram("--help", Status).find("16-bit"), std::string::npos);
    EXPECT_EQ(Status, 0);
}

} // namespace
