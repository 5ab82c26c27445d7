#include "DialSynth.h"
#include "Unit1.h"
#include "ui_Unit1.h"

#include "qt/MessageBox.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QPlainTextEdit>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace {

namespace fs = std::filesystem;

// A display that records the log and answers every question with Yes.
class TRecordingDisplay : public TBatchDisplay {
public:
    std::vector<std::string> Lines, Messages;
    int Beeps = 0, Scroll = 0, ScrollMax = 3000;
    bool Open = true, StopOn = false, Steps = false;
    void AddLine(const std::string& L) override { Lines.push_back(L); }
    void ClearLog() override { Lines.clear(); }
    void SetDialed(const std::string&) override {}
    void SetDetected(const std::string&) override {}
    void ShowDigit(const std::string&, const std::string&, const std::string&) override {}
    int GetScrollPosition() override { return Scroll; }
    void SetScrollPosition(int P) override { Scroll = std::clamp(P, 0, std::max(0, ScrollMax)); }
    void SetScrollMax(int M) override { ScrollMax = M; }
    void UpdateViewRange() override {}
    void Repaint() override {}
    void Beep() override { ++Beeps; }
    void ShowMessage(const std::string& T) override { Messages.push_back(T); }
    bool Confirm(const std::string&, const std::string&) override { return true; }
    void SetControls(bool O, bool S, bool St) override { Open = O, StopOn = S, Steps = St; }
    bool ConfirmEachStep() override { return false; }
};

std::string Folder() {
    static std::string Path = [] {
        fs::path P = fs::temp_directory_path() / ("bulkdecode_test_" + std::to_string(::getpid()));
        fs::create_directories(P);
        return P.string();
    }();
    return Path;
}

// Writes a recording of Digits (kinds per digit) under Name.
std::string Write(const std::string& Name, const std::string& Digits, const std::string& Kinds) {
    dialgen::RecordingSpec Spec;
    Spec.Digits = Digits;
    Spec.Kinds = Kinds;
    Spec.Tone.ToneMs = 150;
    Spec.Tone.PauseMs = 300;
    std::string Path = Folder() + "/" + Name, Error;
    EXPECT_TRUE(dialgen::WriteRaw(Path, dialgen::MakeRecording(Spec), Error)) << Error;
    return Path;
}

bool PumpWhile(const std::function<bool()>& Busy) {
    QElapsedTimer Timer;
    Timer.start();
    while (Busy()) {
        if (Timer.elapsed() > 60000)
            return false;
        QApplication::processEvents(QEventLoop::AllEvents, 10);
        CheckSynchronize(1);
    }
    return true;
}

TEST(BatchLogic, ParseRecordNameTakesTheLastTwoUnderscoresOfTheOwnName) {
    struct Case {
        const char* Path;
        const char* Record;
        const char* Digits;
    };
    const Case Cases[] = {
        {"/rec/Pulse_Test/rec_123_a.raw", "rec_123_a", "123"},
        {"call.raw", "call", ""},
        {"/a_b/c_d/one_underscore.raw", "one_underscore", ""},
        {"/x/rec_42_b", "rec_42_b", "42"},
        {"my_call_0815_take2.raw", "my_call_0815_take2", "0815"},
        {"_5_.raw", "_5_", "5"},
        {"a__b.raw", "a__b", ""},
        {"v1.2_77_x.raw", "v1.2_77_x", "77"},
    };
    for (const Case& C : Cases) {
        std::string Record, Digits;
        TBatchLogic::ParseRecordName(C.Path, Record, Digits);
        EXPECT_EQ(Record, C.Record) << C.Path;
        EXPECT_EQ(Digits, C.Digits) << C.Path;
    }
}

TEST(BatchLogic, SupplyDrawsLengthsAndCutsTheLastBuffer) {
    TRecordingDisplay Display;
    TBatchLogic Logic(nullptr, &Display);
    Logic.SampleCount = 200000;
    int Position = 0;
    for (int Call = 0; Call < 10; ++Call) {
        short* Buffer = nullptr;
        int Length = 0;
        bool Last = false;
        Logic.DigitDetector1DoSupplyBuffer(nullptr, Buffer, Length, Last, Position);
        EXPECT_EQ(Buffer, Logic.Samples + Position);
        if (Last) {
            EXPECT_EQ(Position + Length, 200000) << "cut to end at the sample count";
            break;
        }
        EXPECT_GE(Length, 85000);
        EXPECT_LE(Length, 89999);
        Position += Length;
    }
    // Every entry of the log is "position , drawn length ;   ", uncut.
    std::string Log = Logic.SupplyLog;
    size_t Entries = 0;
    for (size_t At = 0; (At = Log.find(" ;   ", At)) != std::string::npos; At += 5)
        ++Entries;
    EXPECT_EQ(Entries, 3u);
    int LastDrawn = std::stoi(Log.substr(Log.rfind(" , ", Log.size() - 6) + 3));
    EXPECT_GE(LastDrawn, 85000) << "the uncut length is logged";
}

TEST(BatchLogic, DotAndDoubtNeverCountAsDetected) {
    TRecordingDisplay Display;
    TBatchLogic Logic(nullptr, &Display);
    for (char Digit : std::string("1.!2"))
        Logic.DigitDetector1DigitDetected(nullptr, Digit, 100, true);
    EXPECT_EQ(Logic.DetectedDigits, "12");
}

TEST(BatchLogic, BatchLogsMatchesAndMismatchBlocksInEitherMode) {
    std::string A = Write("first_4711_a.raw", "4711", "P");
    std::string B = Write("second_999_b.raw", "123", "T"); // dialled 999, sounds 123
    std::string C = Write("third_#5_c.raw", "#5", "T");
    std::vector<std::vector<std::string>> Logs;
    for (bool Blocking : {false, true}) {
        TRecordingDisplay Display;
        TBatchLogic Logic(nullptr, &Display);
        Logic.SetBlocking(Blocking);
        Logic.RunBatch({A, B, C});
        ASSERT_TRUE(PumpWhile([&] { return Logic.IsRunning(); }));
        ASSERT_EQ(Display.Lines.size(), 10u);
        EXPECT_EQ(Display.Lines[0], "first_4711_a");
        EXPECT_EQ(Display.Lines[1], "_______________");
        EXPECT_EQ(Display.Lines[2], B);
        EXPECT_EQ(Display.Lines[3], "second_999_b");
        EXPECT_EQ(Display.Lines[4], " ?? 123");
        EXPECT_EQ(Display.Lines[5].rfind(" Length 0 , ", 0), 0u) << Display.Lines[5];
        EXPECT_EQ(Display.Lines[6], "***************");
        EXPECT_EQ(Display.Lines[7], "third_#5_c");
        EXPECT_EQ(Display.Lines[8], "-------------------");
        EXPECT_EQ(Display.Lines[9], "        End        ");
        EXPECT_EQ(Display.Beeps, 1);
        EXPECT_TRUE(Logic.AnyMismatch());
        EXPECT_TRUE(Display.Open && !Display.StopOn && Display.Steps) << "idle, stepping enabled";
        Display.Lines[5] = "(supply log)";
        Logs.push_back(Display.Lines);
    }
    EXPECT_EQ(Logs[0], Logs[1]) << "blocking and non-blocking give the same log";
}

TEST(BatchLogic, StopDuringTheFirstRecordingCompletesTheBatchWithIt) {
    std::string A = Write("long_1234567890_a.raw", "1234567890", "P");
    std::string B = Write("other_12_b.raw", "12", "T");
    TRecordingDisplay Display;
    TBatchLogic Logic(nullptr, &Display);
    Logic.RunBatch({A, B, B});
    Logic.Stop();
    ASSERT_TRUE(PumpWhile([&] { return Logic.IsRunning(); }));
    ASSERT_GE(Display.Lines.size(), 3u);
    EXPECT_EQ(Display.Lines[Display.Lines.size() - 2], "-------------------");
    EXPECT_EQ(Display.Lines.back(), "        End        ");
    for (const std::string& Line : Display.Lines)
        EXPECT_EQ(Line.find("other_12_b"), std::string::npos) << "the other files are not loaded";
}

TEST(BatchLogic, UnopenableFileStopsTheBatchAndReturnsToIdle) {
    TRecordingDisplay Display;
    TBatchLogic Logic(nullptr, &Display);
    std::string Missing = Folder() + "/missing_1_a.raw";
    Logic.RunBatch({Missing});
    EXPECT_FALSE(Logic.IsRunning());
    EXPECT_TRUE(Logic.OpenFailed());
    EXPECT_EQ(Display.Messages, (std::vector<std::string>{"Can not open file :  " + Missing}));
    EXPECT_TRUE(Display.Open);
    EXPECT_FALSE(Display.StopOn);
}

TEST(BatchLogic, SteppingFindsThePulsesAndDigitsThatWereDialled) {
    std::string A = Write("steps_408_a.raw", "408", "P");
    TRecordingDisplay Display;
    TBatchLogic Logic(nullptr, &Display);
    Logic.SetBlocking(true);
    Logic.RunBatch({A});
    ASSERT_FALSE(Logic.IsRunning());

    // The first click of the 4 lies at 500 ms (4000 samples).
    ASSERT_TRUE(Logic.StepPulse(TBatchLogic::FirstPulse));
    EXPECT_NEAR(Logic.CursorPosition, 4000, 60);
    int Previous = Logic.StepEnd;
    ASSERT_TRUE(Logic.StepPulse(TBatchLogic::NextPulse));
    EXPECT_GT(Logic.StepBegin, Previous - 1);
    EXPECT_NEAR(Logic.CursorPosition, 4800, 80) << "the next main click";

    Display.Scroll = 0;
    Logic.ViewMoved = true;
    ASSERT_TRUE(Logic.NextDigit());
    EXPECT_EQ(Logic.PulseCount, 4);
    ASSERT_TRUE(Logic.NextDigit());
    EXPECT_EQ(Logic.PulseCount, 10);

    Logic.AllPulseDigits();
    std::string Digits;
    for (char D : Logic.DetectedDigits)
        if (D != '-' && D != ' ')
            Digits += D;
    EXPECT_EQ(Digits, "408");

    Logic.AllToneDigits();
    EXPECT_EQ(Logic.DetectedDigits, " ") << "no tones: one blank";

    // A selection limits the search, and an exhausted one stops.
    Logic.SelectionStart = 100;
    Logic.SelectionEnd = 3000;
    Logic.ViewMoved = true;
    EXPECT_FALSE(Logic.StepPulse(TBatchLogic::FirstPulse));
    EXPECT_TRUE(Logic.ViewMoved);
}

TEST(BatchLogic, CoefficientTextMustBeANumber) {
    TRecordingDisplay Display;
    TBatchLogic Logic(nullptr, &Display);
    std::string Error;
    EXPECT_TRUE(Logic.SetCoefficientText("3.5", Error));
    EXPECT_FLOAT_EQ(Logic.AmplitudeCoef, 3.5f);
    EXPECT_FALSE(Logic.SetCoefficientText("", Error));
    EXPECT_FALSE(Logic.SetCoefficientText("2x", Error));
    EXPECT_EQ(Error, "'2x' is not a valid floating point value");
    EXPECT_FLOAT_EQ(Logic.AmplitudeCoef, 3.5f);
    EXPECT_FLOAT_EQ(Logic.Coefficient(), 1.0f) << "Multiply unchecked";
    Logic.Multiply = true;
    EXPECT_FLOAT_EQ(Logic.Coefficient(), 3.5f);
}

// --- The window ------------------------------------------------------------

QImage GrabView(TBulkDecodeForm& Form) {
    Form.Repaint();
    QApplication::processEvents();
    return Form.GetUi().PaintBox1->grab().toImage();
}

TEST(BulkDecodeForm, IsTheFixedWindowOfTheForm) {
    TBulkDecodeForm Form;
    EXPECT_EQ(Form.windowTitle().toStdString(), "Batch Digit Detector");
    EXPECT_EQ(Form.size(), QSize(737, 517));
    EXPECT_EQ(Form.GetUi().PaintBox1->geometry(), QRect(20, 156, 641, 321));
    EXPECT_FALSE(Form.GetUi().BTStop->isEnabled());
    EXPECT_FALSE(Form.GetUi().GroupBox1->isEnabled());
    EXPECT_FALSE(Form.GetUi().ScrollBar1->isEnabled()) << "3000 samples fit the view";
    EXPECT_EQ(Form.GetUi().ComboBox1->currentText(), "tpLowest");
    EXPECT_TRUE(Form.GetOpenDialog().AllowMultiSelect);
    EXPECT_EQ(Form.GetUi().EDCoef->text(), "2.0");
}

TEST(BulkDecodeForm, ViewDrawsZeroLineWaveformCursorAndSelection) {
    TBulkDecodeForm Form;
    TBatchLogic& M = Form.GetLogic();
    M.SampleCount = 5120;
    for (int N = 0; N < 5120; ++N)
        M.Samples[N] = 0;
    for (int N = 800; N < 880; ++N)
        M.Samples[N] = 20000; // y = 160 - 20000 * 0.0047 = 66
    M.CursorPosition = 2400;  // x = 300
    M.SelectionStart = 4000;  // x = 500
    M.SelectionEnd = 4400;    // x = 550
    QImage View = GrabView(Form);
    EXPECT_EQ(View.pixelColor(40, 160), QColor(0xC0, 0xC0, 0xC0)) << "zero line";
    EXPECT_EQ(View.pixelColor(105, 66), QColor(Qt::black)) << "waveform at 160 - s * 0.0047";
    int Cursor = 0;
    for (int Y = 10; Y < 310; ++Y)
        Cursor += View.pixelColor(300, Y) == QColor(Qt::cyan);
    EXPECT_GE(Cursor, 90) << "the dotted cursor";
    EXPECT_EQ(View.pixelColor(301, 60), View.pixelColor(20, 60)) << "one pixel wide";
    EXPECT_EQ(View.pixelColor(520, 40), QColor(181, 167, 159)) << "selection band";
    EXPECT_NE(View.pixelColor(20, 40), QColor(181, 167, 159));
    EXPECT_EQ(Form.StatusText(1), "Sample = 2400");
    EXPECT_EQ(Form.StatusText(0), "Selection = 400");
}

TEST(BulkDecodeForm, MouseSetsTheCursorAndCtrlSelects) {
    TBulkDecodeForm Form;
    TBatchLogic& M = Form.GetLogic();
    Form.PaintBox1MouseDown(100, Qt::NoModifier);
    Form.PaintBox1MouseUp(120, Qt::NoModifier);
    EXPECT_EQ(M.CursorPosition, 960) << "the release places the cursor";
    Form.PaintBox1MouseDown(300, Qt::ControlModifier);
    Form.PaintBox1MouseUp(200, Qt::ControlModifier);
    EXPECT_EQ(M.SelectionStart, 1600) << "a right-to-left drag is ordered";
    EXPECT_EQ(M.SelectionEnd, 2400);
    EXPECT_TRUE(M.ViewMoved);
    Form.PaintBox1MouseDown(50, Qt::ControlModifier);
    Form.PaintBox1MouseUp(50, Qt::ControlModifier);
    EXPECT_EQ(M.SelectionStart, -1) << "a Ctrl-click without movement removes the selection";
    EXPECT_EQ(M.SelectionEnd, -1);
}

TEST(BulkDecodeForm, BlockingAndPriorityShowWhatTheDetectorTook) {
    TBulkDecodeForm Form;
    Form.GetUi().CheckBox1->setChecked(true);
    Form.CheckBox1Click();
    EXPECT_TRUE(Form.GetLogic().DigitDetector1->GetBlocking());
    EXPECT_FALSE(Form.GetUi().ComboBox1->isEnabled()) << "the priority is the worker's";
    Form.GetUi().CheckBox1->setChecked(false);
    Form.CheckBox1Click();
    EXPECT_TRUE(Form.GetUi().ComboBox1->isEnabled());
    Form.GetUi().ComboBox1->setCurrentIndex(tpIdle);
    Form.ComboBox1Change();
    EXPECT_EQ(Form.GetLogic().DigitDetector1->GetPriority(), tpIdle);
}

TEST(BulkDecodeForm, ZoomingInKeepsTheCursorAtItsPlace) {
    TBulkDecodeForm Form;
    TBatchLogic& M = Form.GetLogic();
    M.SampleCount = 100000;
    Form.SetScrollMax(100000);
    Form.UpdateViewRange();
    ASSERT_TRUE(Form.GetUi().ScrollBar1->isEnabled());
    Form.SetScrollPosition(20000);
    Form.Repaint();
    M.CursorPosition = 22000; // x = 250
    double Before = (M.CursorPosition - M.ViewStart) / M.SamplesPerPixel;
    Form.SpeedButton11Click();
    Form.Repaint();
    EXPECT_FLOAT_EQ(M.SamplesPerPixel, 4.0f);
    EXPECT_EQ(M.ViewStart, 21000);
    EXPECT_DOUBLE_EQ((M.CursorPosition - M.ViewStart) / M.SamplesPerPixel, Before);
    Form.SpeedButton12Click();
    Form.SpeedButton9Click();
    EXPECT_FLOAT_EQ(M.AmplitudeScale, 2.0f);
    EXPECT_FLOAT_EQ(M.SamplesPerPixel, 8.0f);
}

TEST(BulkDecodeForm, BatchFromTheDialogThenStepping) {
    std::string A = Write("form_55_a.raw", "55", "T");
    std::string B = Write("form_305_b.raw", "305", "P");
    TOpenDialog::SetAnswerForTests([&](TOpenDialog& Dialog) {
        Dialog.Files = {A, B};
        return true;
    });
    TBulkDecodeForm Form;
    Form.Button25Click();
    EXPECT_TRUE(Form.GetUi().BTStop->isEnabled());
    EXPECT_FALSE(Form.GetUi().BTOpen->isEnabled());
    ASSERT_TRUE(PumpWhile([&] { return Form.GetLogic().IsRunning(); }));
    EXPECT_EQ(Form.GetUi().Memo1->toPlainText().toStdString(),
              "form_55_a\nform_305_b\n-------------------\n        End        ");
    EXPECT_TRUE(Form.GetUi().GroupBox1->isEnabled());
    EXPECT_EQ(Form.GetUi().Label13->text().toStdString(), "305");
    Form.Button16Click();
    EXPECT_EQ(Form.GetUi().Label3->text().toStdString(), "3");
    EXPECT_EQ(Form.GetUi().Label5->text().toStdString(), "Pulse");
    QImage View = GrabView(Form);
    int Lime = 0;
    for (int Y = 150; Y < 170; ++Y)
        for (int X = 0; X < 640; ++X)
            Lime += View.pixelColor(X, Y) == QColor(0, 255, 0);
    EXPECT_GT(Lime, 20) << "pulse marks on the grid";

    // Cancelling the dialog clears the log and moves the view to the start.
    TOpenDialog::SetAnswerForTests([](TOpenDialog&) { return false; });
    Form.Button25Click();
    EXPECT_TRUE(Form.GetUi().Memo1->toPlainText().isEmpty());
    EXPECT_EQ(Form.GetLogic().CursorPosition, 0);
    TOpenDialog::SetAnswerForTests(nullptr);
}

int RunProgram(const std::string& Arguments, std::string& Out) {
    std::string File = Folder() + "/out.txt";
    int Raw = std::system(
        (std::string(BULKDECODE_PATH) + " " + Arguments + " >" + File + " 2>/dev/null").c_str());
    std::ifstream In(File);
    Out.assign((std::istreambuf_iterator<char>(In)), {});
    return WIFEXITED(Raw) ? WEXITSTATUS(Raw) : -1;
}

TEST(BulkDecodeProgram, ExitStatusTellsMatchMismatchAndUnreadable) {
    std::string Samples = std::string(SAMPLES_DIR);
    std::string Out;
    EXPECT_EQ(RunProgram(
                  "--cli " + Samples + "/pulse_4711_a.raw " + Samples + "/tone_5551234_a.raw", Out),
              0);
    EXPECT_EQ(Out, "pulse_4711_a\ntone_5551234_a\n-------------------\n        End        \n");
    std::string Wrong = Write("wrong_77_a.raw", "78", "T");
    EXPECT_EQ(RunProgram("--cli --blocking " + Wrong, Out), 1);
    EXPECT_NE(Out.find(" ?? 78"), std::string::npos);
    EXPECT_EQ(RunProgram("--cli " + Folder() + "/none_1_a.raw", Out), 2);
    EXPECT_EQ(RunProgram("--cli", Out), 2);
}

} // namespace
