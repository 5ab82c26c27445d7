#include "BatchLogic.h"

#include "rtl/Exception.h"
#include "rtl/FileStream.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>

namespace {

// Parameter sets of the stepping commands: SilenceLevel, OnsetCeiling,
// MinRise, MinFall, Refine, MinDeltaRatio, LevelPerSample, DropPerSample,
// MinLength, MinDelta.
struct TStepSet {
    float Silence, Ceiling, Rise, Fall;
    bool Refine;
    float DeltaRatio, LevelPerSample, DropPerSample;
    int MinLength;
    float MinDelta;
};
constexpr TStepSet StepSets[] = {
    {3.0f, 5.0f, 0.5f, 0.25f, false, 500.0f, 0.02f, 0.02f, 40, 10000.0f}, // First Pulse
    {3.0f, 7.0f, 0.5f, 0.25f, true, 500.0f, 0.1f, 0.1f, 40, 10000.0f},    // Next Pulse
    {1.0f, 100.0f, 0.1f, 0.05f, true, 500.0f, 0.1f, 0.05f, 20, 2000.0f},  // Next Minor
    {3.0f, 27.0f, 0.5f, 0.25f, true, 500.0f, 0.05f, 0.02f, 40, 10000.0f}, // Last Pulse
};

} // namespace

TBatchLogic::TBatchLogic(TComponent* AOwner, TBatchDisplay* Display)
    : TComponent(AOwner), FDisplay(Display) {
    DigitDetector1 = new TDigitDetector(this);
    DigitDetector1->SetName("DigitDetector1");
    DigitDetector1->SetBlocking(false);
    DigitDetector1->BindEvents(this, &TBatchLogic::DigitDetector1DigitDetected,
                               &TBatchLogic::DigitDetector1DoSupplyBuffer,
                               &TBatchLogic::DigitDetector1DetectionEnd);

    PhaseScores = new float[TDigitDetector::PhaseScoreSize]();
    Pulses = new TPulse*[TDigitDetector::PulseListSize];
    for (int I = 0; I < TDigitDetector::PulseListSize; ++I)
        Pulses[I] = new TPulse;
    Spectrum = new std::complex<double>[TDigitDetector::SpectrumSize]();
    Samples = new short[MaxSamples]();
    Deltas = new unsigned short[MaxSamples]();
    Levels = new float[MaxSamples + TDigitDetector::LevelSpareEntries]();
    SupplyLog.reserve(4096);
}

TBatchLogic::~TBatchLogic() {
    // The worker may still read Samples through the last buffer handed out:
    // it must be gone before the arrays are.
    DigitDetector1->EndDetect();
    delete DigitDetector1;
    DigitDetector1 = nullptr;
    delete[] PhaseScores;
    for (int I = 0; I < TDigitDetector::PulseListSize; ++I)
        delete Pulses[I];
    delete[] Pulses;
    delete[] Spectrum;
    delete[] Samples;
    delete[] Deltas;
    delete[] Levels;
}

void TBatchLogic::ParseRecordName(const std::string& FileName, std::string& RecordName,
                                  std::string& DialedDigits) {
    size_t Slash = FileName.rfind('/');
    std::string Name = Slash == std::string::npos ? FileName : FileName.substr(Slash + 1);
    size_t Dot = Name.rfind('.');
    RecordName = Dot == std::string::npos ? Name : Name.substr(0, Dot);
    DialedDigits.clear();
    size_t Last = Name.rfind('_');
    if (Last == std::string::npos || Last == 0)
        return;
    size_t Before = Name.rfind('_', Last - 1);
    if (Before != std::string::npos)
        DialedDigits = Name.substr(Before + 1, Last - Before - 1);
}

void TBatchLogic::SetBlocking(bool Value) {
    DigitDetector1->SetBlocking(Value);
}

void TBatchLogic::SetPriority(TThreadPriority Value) {
    DigitDetector1->SetPriority(Value);
}

void TBatchLogic::RunBatch(const std::vector<std::string>& Files) {
    SelectedFiles = Files;
    Mismatches = 0;
    FailedToOpen = false;
    Running = true;
    FDisplay->SetControls(false, true, false);
    FileIndex = 0;
    if (!StartFile())
        return;
    if (!DigitDetector1->GetBlocking())
        return;
    for (;;) {
        while (DigitDetector1->ContinueDetect())
            if (FDisplay->ConfirmEachStep() &&
                !FDisplay->Confirm("Continue Detecting?", "Blocking Process Confirmation"))
                DigitDetector1->EndDetect();
        if (!Running)
            return;
        // Stopped between two steps: the detector has not delivered the end
        // of the recording yet. One more step delivers it, so the recording
        // is logged and the batch goes on (or completes after Stop).
        DigitDetector1->DecodeDialing();
        if (!Running)
            return;
        if (!DigitDetector1->ContinueDetect())
            break;
    }
}

void TBatchLogic::Stop() {
    SelectedFiles.clear();
    DigitDetector1->EndDetect();
}

bool TBatchLogic::StartFile() {
    FileName = SelectedFiles[FileIndex];
    ParseRecordName(FileName, RecordName, DialedDigits);
    FDisplay->SetDialed(DialedDigits);
    SupplyLog.clear();
    FDisplay->FileStarted(FileIndex, static_cast<int>(SelectedFiles.size()), FileName);
    try {
        TFileStream File(FileName, fmOpenRead);
        SampleCount = File.Read(Samples, MaxBytes) / 2;
    } catch (const Exception&) {
        FDisplay->ShowMessage("Can not open file :  " + FileName);
        // The batch cannot go on; the form returns to idle. The stepping
        // box stays off: the arrays do not belong to this recording.
        FailedToOpen = true;
        Running = false;
        FDisplay->SetControls(true, false, false);
        return false;
    }
    DetectedDigits.clear();
    FDisplay->SetDetected(DetectedDigits);
    FDisplay->SetScrollMax(SampleCount);
    FDisplay->UpdateViewRange();
    DigitDetector1->BeginDetect(0, 0, false, true, true);
    return true;
}

// Worker thread in non-blocking mode: reads SampleCount, writes SupplyLog.
void TBatchLogic::DigitDetector1DoSupplyBuffer(TComponent*, short*& Buffer, int& Length,
                                               bool& IsLastBuffer, int Position) {
    Position = std::clamp(Position, 0, SampleCount);
    Buffer = Samples + Position;
    Length = SupplyBase + std::rand() % SupplySpread;
    SupplyLog += std::to_string(Position) + " , " + std::to_string(Length) + " ;   ";
    IsLastBuffer = false;
    if (Position + Length > SampleCount) {
        Length = SampleCount - Position;
        IsLastBuffer = true;
    }
}

void TBatchLogic::ScrollTo(int Position) {
    FDisplay->SetScrollPosition(Position);
}

void TBatchLogic::DigitDetector1DigitDetected(TComponent*, char Digit, unsigned TimeTicks,
                                              bool IsDTMF) {
    if (Digit != '.' && Digit != '!') {
        DetectedDigits += Digit;
        FDisplay->SetDetected(DetectedDigits);
    }
    ScrollTo(static_cast<int>(std::min<unsigned>(TimeTicks, MaxSamples) * 8));
    FDisplay->ShowDigit(std::string(1, Digit), std::to_string(TimeTicks),
                        IsDTMF ? "Tone" : "Pulse");
    FDisplay->Repaint();
    if (FDisplay->ConfirmEachStep() &&
        !FDisplay->Confirm(std::string("Digit found = ") + Digit + " , Continue Detecting?",
                           "Confirm"))
        DigitDetector1->EndDetect();
}

void TBatchLogic::DigitDetector1DetectionEnd(TObject*) {
    if (DetectedDigits == DialedDigits) {
        FDisplay->AddLine(RecordName);
    } else {
        ++Mismatches;
        FDisplay->Beep();
        FDisplay->AddLine("_______________");
        FDisplay->AddLine(FileName);
        FDisplay->AddLine(RecordName);
        FDisplay->AddLine(" ?? " + DetectedDigits);
        FDisplay->AddLine(" Length " + SupplyLog);
        FDisplay->AddLine("***************");
    }
    FDisplay->ShowDigit("", "", "");
    ScrollTo(0);
    ++FileIndex;
    if (FileIndex < static_cast<int>(SelectedFiles.size())) {
        StartFile();
        return;
    }
    CompleteBatch();
}

void TBatchLogic::CompleteBatch() {
    FDisplay->SetControls(false, false, false);
    FDisplay->AddLine("-------------------");
    DigitDetector1->ResetSampleParams();
    DigitDetector1->GetSampleParams(Deltas, Levels, Samples, SampleCount);
    TDigitDetector::FillLevelSpares(Levels, SampleCount);
    FDisplay->AddLine("        End        ");
    Running = false;
    FDisplay->SetControls(true, false, true);
}

// ---------------------------------------------------------------------------
// Stepping over the last recording
// ---------------------------------------------------------------------------

bool TBatchLogic::StepPulse(TPulseCommand Command) {
    const float C = Coefficient();
    if (SelectionEnd != -1) {
        StepBegin = (!ViewMoved && StepEnd != -1) ? StepEnd : SelectionStart;
        StepEnd = SelectionEnd;
    } else {
        StepBegin = !ViewMoved ? StepEnd : FDisplay->GetScrollPosition();
        StepEnd = SampleCount;
    }
    // A selection may reach outside the recording; the arrays are read
    // only within it.
    StepBegin = std::clamp(StepBegin, 0, SampleCount);
    StepEnd = std::clamp(StepEnd, 0, SampleCount);
    if (StepBegin >= StepEnd) {
        ViewMoved = true;
        return false;
    }
    const TStepSet& P = StepSets[Command];
    if (!DigitDetector1->FindSoundSignal(StepBegin, StepEnd, CursorPosition, NextOnset, Levels,
                                         Deltas, C, P.Silence, P.Ceiling, P.Rise, P.Fall, P.Refine,
                                         P.DeltaRatio, P.LevelPerSample, P.DropPerSample,
                                         P.MinLength, P.MinDelta)) {
        ViewMoved = true;
        return false;
    }
    const int Scroll = FDisplay->GetScrollPosition();
    const float Spp = SamplesPerPixel;
    if (StepBegin < Scroll + 10 || StepEnd > Scroll + 640 * Spp - 10) {
        if (Scroll >= StepBegin - 900 * Spp)
            ScrollTo(static_cast<int>(StepBegin - 260 * Spp));
        else
            ScrollTo(static_cast<int>(StepBegin - 5 * Spp));
    }
    FDisplay->Repaint();
    ViewMoved = false;
    return true;
}

bool TBatchLogic::NextDigit() {
    StepBegin = !ViewMoved ? StepEnd : FDisplay->GetScrollPosition();
    StepEnd = SampleCount;
    StepBegin = std::clamp(StepBegin, 0, SampleCount);
    if (StepBegin >= StepEnd)
        return false;
    bool Doubt = true;
    int Period = 0, PairSpacing = 0;
    char Digit = ' ';
    if (!DigitDetector1->DetectPulseDigit(StepBegin, StepEnd, Digit, Doubt, Period, PairSpacing,
                                          PulseCount, Samples, Deltas, Levels, Pulses, PhaseScores))
        return false;
    ScrollTo(StepBegin);
    FDisplay->Repaint();
    ViewMoved = false;
    FDisplay->ShowDigit(std::string(1, Digit), std::to_string(StepBegin / 8), "Pulse");
    return true;
}

void TBatchLogic::AllPulseDigits() {
    DetectedDigits.clear();
    FDisplay->SetDetected(DetectedDigits);
    FDisplay->ProcessDisplay();
    int B = 0, E = SampleCount;
    while (B + 1000 < E) {
        bool Doubt = true;
        int Period = 0, PairSpacing = 0;
        char Digit = ' ';
        if (!DigitDetector1->DetectPulseDigit(B, E, Digit, Doubt, Period, PairSpacing, PulseCount,
                                              Samples, Deltas, Levels, Pulses, PhaseScores))
            break;
        ScrollTo(B);
        DetectedDigits += Digit;
        FDisplay->SetDetected(DetectedDigits);
        FDisplay->ProcessDisplay();
        B = E;
        E = SampleCount;
    }
}

void TBatchLogic::AllToneDigits() {
    DetectedDigits.clear();
    FDisplay->SetDetected(DetectedDigits);
    FDisplay->ProcessDisplay();
    int B = 0, E = SampleCount;
    while (B < E) {
        char Digit = ' ';
        if (!DigitDetector1->DetectTone(B, E, Digit, Samples, Spectrum))
            break;
        ScrollTo(B);
        FDisplay->Repaint();
        DetectedDigits += Digit;
        FDisplay->SetDetected(DetectedDigits);
        FDisplay->ProcessDisplay();
        B = E;
        E = SampleCount;
    }
}

bool TBatchLogic::SetCoefficientText(const std::string& Text, std::string& Error) {
    const char* Start = Text.c_str();
    char* End = nullptr;
    errno = 0;
    float Value = std::strtof(Start, &End);
    if (Text.empty() || End == Start || *End != '\0' || errno == ERANGE) {
        Error = "'" + Text + "' is not a valid floating point value";
        return false;
    }
    AmplitudeCoef = Value;
    return true;
}
