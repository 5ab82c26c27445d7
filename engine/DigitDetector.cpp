// TDigitDetector: component frame, detection driver, run control, tone
// recognition and pulse analysis. See DigitDetector.h for the overview.
//
// The thresholds of the pulse analysis were tuned on real telephone lines.
// They are written as unscaled constants divided by a gain that the analysis
// derives from the recording's loudness; every comparison and truncation
// below is part of the detector's behaviour and is kept exactly.
#include "DigitDetector.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <string>

namespace {

// --- Driver ----------------------------------------------------------------
constexpr int MinToneStretch = 1024;     // samples DetectTone needs
constexpr int OpenPulseMargin = 16000;   // samples kept back without a tone, 2 s
constexpr int ClosedPulseMargin = 800;   // near a tone or at the stream end, 100 ms
constexpr int OpenToneKeepLimit = 16000; // a pending tone longer than this...
constexpr int OpenToneSkip = 8000;       // ...resumes 1 s after its start
constexpr int FirstDigitLeadIn = 240;    // done position before a first pulse digit, 30 ms
constexpr int JammedTrainGap = 1500;     // clicks this close continue a rejected train

// --- Tone recognition --------------------------------------------------------
constexpr double Pi = 3.14159265358979;
constexpr int ToneWindow = 512;
constexpr int ToneWindowStep = 256;
constexpr int ToneOrder = 9;
constexpr int ToneBins = 256;
constexpr double ThresholdOverMean = 10.0;
constexpr double ThresholdFloor = 300.0;
constexpr int MaxCountedPeaks = 10;
constexpr double SampleScale = 1.0 / 32768;

// --- Sample parameters -------------------------------------------------------
constexpr int DeltaHalfWindow = 8;  // deltas span 17 samples
constexpr int EnergyRing = 40;      // RMS over 40 samples
constexpr int MinParamSamples = 41; // the RMS edge fill needs entry 20
constexpr double StrongRms = 0.1;
constexpr double QuietRmsLow = 0.001, QuietRmsHigh = 0.05;
constexpr double StrongRef = 0.2, QuietRef = 0.05;
constexpr double MinStrongGain = 1.0, MaxStrongGain = 3.0;
constexpr int CalibrationsThatFreezeQuietGain = 5;
constexpr int DcAdmission = 8192; // raw units; louder samples skip the DC estimate
constexpr double DcKeep = 0.995, DcTake = 0.005;
constexpr double RawToPercent = 0.0030517578125; // 100 / 32768

// --- Pulse scanning (samples) ------------------------------------------------
constexpr float QuietLevel = 7, DeepQuietLevel = 5, ClickLevel = 10;

int CircularDistance(int Position, int Phase, int Period) {
    int C = std::abs(Phase - Position % Period);
    if (Period - C < C)
        C = Period - C;
    return C;
}

// Comb weight of a click at circular distance C from a phase: 0..100.
int CombWeight(int C) {
    int Near = std::max(0, 100 - C);
    return Near * Near * Near * Near / 1000000;
}

double CombTerm(const TPulse& Pulse, int Weight) {
    return (Pulse.PeakDelta * 0.001 + 5) * Weight * (0.1 * Pulse.MeanLevel + 10);
}

} // namespace

// ============================================================================
// Worker thread
// ============================================================================

// Runs the detection steps in non-blocking mode and hands every event to the
// main thread through Synchronize.
class TDigitDetectorThread : public TThread {
public:
    explicit TDigitDetectorThread(TDigitDetector* Detector) : TThread(true), FDetector(Detector) {}
    ~TDigitDetectorThread() override = default;

    void DeliverEvent(char Digit, unsigned TimeTicks, bool IsDTMF) {
        FDigit = Digit;
        FTimeTicks = TimeTicks;
        FIsDTMF = IsDTMF;
        Synchronize([this] { DoDeliver(); });
    }

protected:
    void Execute() override {
        while (!Terminated()) {
            // A run stopped by EndDetect before this thread got to a step
            // still owes its end event: take one more step to deliver it,
            // so that whether the owner hears the end never depends on the
            // moment of the stop. Suspend only when nothing is owed.
            FDetector->FLock->BeginRead();
            bool Stopped =
                FDetector->FStopped && (FDetector->FEndNotified || !FDetector->FOnDetectionEnd);
            FDetector->FLock->EndRead();
            if (Stopped) {
                Suspend();
                if (Terminated())
                    break;
            }
            int Before = StreamPosition();
            FDetector->DecodeDialing();
            // A supplier that has nothing new yet would otherwise make this
            // loop spin a core; the pause changes no result.
            if (StreamPosition() == Before && !Terminated())
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }

private:
    int StreamPosition() {
        FDetector->FLock->BeginRead();
        int Position = FDetector->FStopped ? -1 : FDetector->FCurrentPosition;
        FDetector->FLock->EndRead();
        return Position;
    }

    // Main thread.
    void DoDeliver() {
        if (FDetector->FDestroying)
            return;
        if (FDigit == 'Z') {
            if (FDetector->FOnDetectionEnd) {
                TNotifyEvent Handler = FDetector->FOnDetectionEnd;
                Handler(FDetector);
            }
        } else if (FDetector->FOnDigitDetected) {
            TDigitDetectedEvent Handler = FDetector->FOnDigitDetected;
            Handler(FDetector, FDigit, FTimeTicks, FIsDTMF);
        }
    }

    TDigitDetector* FDetector;
    char FDigit = ' ';
    unsigned FTimeTicks = 0;
    bool FIsDTMF = false;
};

// ============================================================================
// Component frame
// ============================================================================

TDigitDetector::TDigitDetector(TComponent* AOwner)
    : TComponent(AOwner), FDonePosition(0), FHeldCount(0), FStopped(true), FEndNotified(false),
      FCurrentTimeTicks(0), FCurrentPosition(0), FIgnorePulseDigits(false), FBlocking(true),
      FPriority(tpLowest), FAnalysedLength(std::numeric_limits<int>::max()) {
    FLock = new TMultiReadExclusiveWriteSynchronizer;
    FDeltas = new unsigned short[ChunkSamples]();
    FLevels = new float[ChunkSamples + LevelSpareEntries]();
    FPulses = new TPulse*[PulseListSize];
    FDigitRing = new TDigitRecord*[DigitRingSize];
    for (int I = 0; I < PulseListSize; ++I)
        FPulses[I] = new TPulse;
    for (int I = 0; I < DigitRingSize; ++I)
        FDigitRing[I] = new TDigitRecord;
    FPulseCount = 0;
    FLastPeakPosition = 0;
    FPhaseScores = new float[PhaseScoreSize]();
    FSpectrum = new std::complex<double>[SpectrumSize]();
}

TDigitDetector::~TDigitDetector() {
    FLock->BeginWrite();
    FDestroying = true;
    FStopped = true;
    FLock->EndWrite();
    if (!IsDesigning() && !FBlocking && FThread) {
        FThread->Terminate();
        if (FThread->GetSuspended())
            FThread->Resume();
        FThread->WaitFor();
        delete FThread;
        FThread = nullptr;
    }
    delete[] FPhaseScores;
    for (int I = 0; I < PulseListSize; ++I)
        delete FPulses[I];
    for (int I = 0; I < DigitRingSize; ++I)
        delete FDigitRing[I];
    delete[] FPulses;
    delete[] FDigitRing;
    delete[] FSpectrum;
    delete[] FDeltas;
    delete[] FLevels;
    delete FLock;
}

const TPublishedProperties& TDigitDetector::PublishedProperties() {
    auto Self = [](TObject* O) { return static_cast<TDigitDetector*>(O); };
    auto BoolText = [](bool V) { return std::string(V ? "true" : "false"); };
    auto ParseBool = [](const std::string& S, bool& V) {
        if (S != "true" && S != "false")
            return false;
        V = S == "true";
        return true;
    };
    static const char* const PriorityNames[] = {
        "tpIdle", "tpLowest", "tpLower", "tpNormal", "tpHigher", "tpHighest", "tpTimeCritical"};
    auto EventText = [](bool Assigned) { return std::string(Assigned ? "(assigned)" : ""); };
    static const TPublishedProperties Table = {
        {"Blocking", "bool", "true", [=](TObject* O) { return BoolText(Self(O)->GetBlocking()); },
         [=](TObject* O, const std::string& S) {
             bool V;
             if (!ParseBool(S, V))
                 return false;
             Self(O)->SetBlocking(V);
             return true;
         }},
        {"IgnorePulseDigits", "bool", "false",
         [=](TObject* O) { return BoolText(Self(O)->GetIgnorePulseDigits()); },
         [=](TObject* O, const std::string& S) {
             bool V;
             if (!ParseBool(S, V))
                 return false;
             Self(O)->SetIgnorePulseDigits(V);
             return true;
         }},
        {"Priority", "TThreadPriority", "tpLowest",
         [=](TObject* O) { return std::string(PriorityNames[Self(O)->GetPriority()]); },
         [=](TObject* O, const std::string& S) {
             for (int P = tpIdle; P <= tpTimeCritical; ++P)
                 if (S == PriorityNames[P]) {
                     Self(O)->SetPriority(static_cast<TThreadPriority>(P));
                     return true;
                 }
             return false;
         }},
        {"OnDigitDetected", "TDigitDetectedEvent", "",
         [=](TObject* O) { return EventText(bool(Self(O)->GetOnDigitDetected())); }, nullptr},
        {"DoSupplyBuffer", "TSupplyBufferEvent", "",
         [=](TObject* O) { return EventText(bool(Self(O)->GetDoSupplyBuffer())); }, nullptr},
        {"OnDetectionEnd", "TNotifyEvent", "",
         [=](TObject* O) { return EventText(bool(Self(O)->GetOnDetectionEnd())); }, nullptr},
    };
    return Table;
}

void TDigitDetector::SetCurrentPosition(int Position) {
    FLock->BeginWrite();
    if (!FInDecode) {
        FCurrentTimeTicks += static_cast<unsigned>((Position - FCurrentPosition) / 8);
        FCurrentPosition = Position;
    }
    FLock->EndWrite();
}

int TDigitDetector::GetCurrentPosition() {
    FLock->BeginRead();
    int Value = FCurrentPosition;
    FLock->EndRead();
    return Value;
}

unsigned TDigitDetector::GetCurrentTimeTicks() {
    FLock->BeginRead();
    unsigned Value = FCurrentTimeTicks;
    FLock->EndRead();
    return Value;
}

int TDigitDetector::GetDonePosition() {
    FLock->BeginRead();
    int Value = FDonePosition;
    FLock->EndRead();
    return Value;
}

bool TDigitDetector::GetBlocking() {
    return FBlocking;
}

bool TDigitDetector::GetIgnorePulseDigits() {
    FLock->BeginRead();
    bool Value = FIgnorePulseDigits;
    FLock->EndRead();
    return Value;
}

void TDigitDetector::SetIgnorePulseDigits(bool Value) {
    FLock->BeginWrite();
    FIgnorePulseDigits = Value;
    FLock->EndWrite();
}

TThreadPriority TDigitDetector::GetPriority() {
    FLock->BeginRead();
    TThreadPriority Value = FPriority;
    FLock->EndRead();
    return Value;
}

void TDigitDetector::SetOnDigitDetected(TDigitDetectedEvent Handler) {
    FLock->BeginWrite();
    FOnDigitDetected = std::move(Handler);
    FLock->EndWrite();
}

TDigitDetectedEvent TDigitDetector::GetOnDigitDetected() {
    FLock->BeginRead();
    TDigitDetectedEvent Handler = FOnDigitDetected;
    FLock->EndRead();
    return Handler;
}

void TDigitDetector::SetDoSupplyBuffer(TSupplyBufferEvent Handler) {
    FLock->BeginWrite();
    FDoSupplyBuffer = std::move(Handler);
    FLock->EndWrite();
}

TSupplyBufferEvent TDigitDetector::GetDoSupplyBuffer() {
    FLock->BeginRead();
    TSupplyBufferEvent Handler = FDoSupplyBuffer;
    FLock->EndRead();
    return Handler;
}

void TDigitDetector::SetOnDetectionEnd(TNotifyEvent Handler) {
    FLock->BeginWrite();
    FOnDetectionEnd = std::move(Handler);
    FLock->EndWrite();
}

TNotifyEvent TDigitDetector::GetOnDetectionEnd() {
    FLock->BeginRead();
    TNotifyEvent Handler = FOnDetectionEnd;
    FLock->EndRead();
    return Handler;
}

// ============================================================================
// Run control and event delivery
// ============================================================================

bool TDigitDetector::BeginDetect(int StartPosition, unsigned StartTimeTicks, bool DoubtSinglePulse,
                                 bool HoldDigits, bool ToneReleases) {
    FLock->BeginWrite();
    if (!FStopped) {
        FLock->EndWrite();
        return false;
    }
    FStopped = false;
    FEndNotified = false;
    FCurrentPosition = StartPosition;
    FCurrentTimeTicks = StartTimeTicks;
    FHeldCount = 0;
    FDonePosition = StartPosition;
    FRunStartPosition = StartPosition;
    FPulseDigitSeen = false;
    FRejectingTrain = false;
    ResetSampleParams();
    FCalibrationCount = 0;
    FToneReleases = ToneReleases;
    if (HoldDigits) {
        FDoubtSinglePulse = true;
        FReleased = false;
    } else {
        FDoubtSinglePulse = DoubtSinglePulse;
        FReleased = true;
    }
    if (!FBlocking && FThread)
        FThread->Resume();
    FLock->EndWrite();
    return true;
}

void TDigitDetector::EndDetect() {
    FLock->BeginWrite();
    FStopped = true;
    FLock->EndWrite();
}

bool TDigitDetector::ContinueDetect() {
    if (FStopped || !FBlocking)
        return false;
    DecodeDialing();
    return true;
}

void TDigitDetector::SetBlocking(bool Value) {
    FLock->BeginWrite();
    if (Value == FBlocking || !FStopped || FInSynchronize) {
        FLock->EndWrite();
        return;
    }
    if (IsDesigning()) {
        FBlocking = Value;
        FLock->EndWrite();
        return;
    }
    if (!Value) {
        FThread = new TDigitDetectorThread(this);
        FThread->SetPriority(FPriority);
        FBlocking = false;
        FLock->EndWrite();
        return;
    }
    TDigitDetectorThread* Worker = FThread;
    Worker->Terminate();
    FLock->EndWrite();
    if (Worker->GetSuspended())
        Worker->Resume();
    Worker->WaitFor();
    delete Worker;
    FLock->BeginWrite();
    FThread = nullptr;
    FBlocking = true;
    FLock->EndWrite();
}

void TDigitDetector::SetPriority(TThreadPriority Value) {
    FLock->BeginWrite();
    if (!IsDesigning() && !FBlocking && FThread)
        FThread->SetPriority(Value);
    FPriority = Value;
    FLock->EndWrite();
}

void TDigitDetector::NotifyDigitDetected(char Digit, unsigned TimeTicks, bool IsDTMF) {
    if (!FOnDigitDetected || FDestroying)
        return;
    if (FBlocking) {
        // A copy, so that a handler may reassign the event while it runs.
        TDigitDetectedEvent Handler = FOnDigitDetected;
        Handler(this, Digit, TimeTicks, IsDTMF);
        return;
    }
    DeliverThroughWorker(Digit, TimeTicks, IsDTMF);
}

void TDigitDetector::NotifyDetectionEnd() {
    if (!FOnDetectionEnd)
        return;
    FEndNotified = true;
    if (FDestroying)
        return;
    if (FBlocking) {
        TNotifyEvent Handler = FOnDetectionEnd;
        Handler(this);
        return;
    }
    DeliverThroughWorker('Z', EndMarkerTicks, false);
}

// Non-blocking mode: the event runs on the main thread while this one
// waits, with the lock released so that the handler may call the detector.
void TDigitDetector::DeliverThroughWorker(char Digit, unsigned TimeTicks, bool IsDTMF) {
    FInSynchronize = true;
    FLock->EndWrite();
    FThread->DeliverEvent(Digit, TimeTicks, IsDTMF);
    FLock->BeginWrite();
    FInSynchronize = false;
}

// ============================================================================
// Detection driver
// ============================================================================

template <class Visit> void TDigitDetector::ForEachHeld(Visit&& Visitor) {
    // Only the last DigitRingSize records survive, oldest first. A visitor
    // returns false to stop the walk.
    int Count = std::min(FHeldCount, DigitRingSize);
    int First = FHeldCount <= DigitRingSize ? 0 : FHeldCount % DigitRingSize;
    for (int N = 0; N < Count; ++N)
        if (!Visitor(*FDigitRing[(First + N) % DigitRingSize]))
            return;
}

void TDigitDetector::SetDoneAtLeastRunStart(int Position) {
    FDonePosition = std::max(Position, FRunStartPosition);
}

void TDigitDetector::EndStepAfterStop() {
    FInDecode = false;
    if (!FEndNotified)
        NotifyDetectionEnd();
    FLock->EndWrite();
}

int TDigitDetector::DecodeDialing() {
    FLock->BeginWrite();
    if (FStopped) {
        if (!FEndNotified)
            NotifyDetectionEnd();
        FLock->EndWrite();
        return FDonePosition;
    }
    // Taken once: a change from an event handler takes effect at the next
    // step, so the arrays and the analysis always agree.
    const bool IgnorePulse = FIgnorePulseDigits;

    if (IgnorePulse && FOnDigitDetected && FHeldCount > 0) {
        bool StoppedDuringFlush = false;
        ForEachHeld([&](TDigitRecord& Record) {
            if (!Record.IsDTMF)
                return true;
            NotifyDigitDetected(Record.Digit, Record.TimeTicks, true);
            FDonePosition = Record.EndPosition;
            StoppedDuringFlush = FStopped;
            return !StoppedDuringFlush;
        });
        if (StoppedDuringFlush) {
            EndStepAfterStop();
            return FDonePosition;
        }
        FHeldCount = 0;
        FReleased = true;
    }

    FInDecode = true;
    FFinalChunk = false;
    if (!FDoSupplyBuffer) {
        FInDecode = false;
        FLock->EndWrite();
        return -1;
    }
    FSupplyBuffer = nullptr;
    FSupplyIsLast = false;
    FSupplyLength = 0;
    FDoSupplyBuffer(this, FSupplyBuffer, FSupplyLength, FSupplyIsLast, FCurrentPosition);
    if (FSupplyLength < 0)
        FSupplyBuffer = nullptr;

    bool ConsumedBuffer = false;
    for (;;) {
        if (FStopped || !FSupplyBuffer || (!FSupplyIsLast && FSupplyLength < MinSupplySamples))
            break;
        if (FSupplyLength > ChunkSamples) {
            FChunkLength = ChunkSamples;
        } else {
            FChunkLength = FSupplyLength;
            if (FSupplyIsLast)
                FFinalChunk = true;
        }
        if (!IgnorePulse) {
            GetSampleParams(FDeltas, FLevels, FSupplyBuffer, FChunkLength);
            FillLevelSpares(FLevels, FChunkLength);
        }
        FChunkPosition = 0;
        FChunkGoesOn = true;
        while (FChunkLength - MinToneStretch > FChunkPosition && FChunkGoesOn)
            if (!RunPass(IgnorePulse))
                return FDonePosition;

        FCurrentPosition += FChunkPosition;
        FCurrentTimeTicks += static_cast<unsigned>(FChunkPosition / 8);
        if (FChunkLength != FSupplyLength) {
            FSupplyLength -= FChunkPosition;
            FSupplyBuffer += FChunkPosition;
            continue;
        }
        if (FSupplyIsLast) {
            int Rest = FSupplyLength - FChunkPosition;
            FCurrentPosition += Rest;
            FCurrentTimeTicks += static_cast<unsigned>(Rest / 8);
            if (FOnDigitDetected && FHeldCount > 0) {
                bool StoppedDuringRelease = false;
                ForEachHeld([&](TDigitRecord& Record) {
                    if (!(IgnorePulse && !Record.IsDTMF))
                        NotifyDigitDetected(Record.Digit, Record.TimeTicks, Record.IsDTMF);
                    StoppedDuringRelease = FStopped;
                    return !StoppedDuringRelease;
                });
                if (StoppedDuringRelease) {
                    EndStepAfterStop();
                    return FDonePosition;
                }
            }
            FStopped = true;
        }
        ConsumedBuffer = true;
        break;
    }

    if (FReleased && ConsumedBuffer)
        FDonePosition = FCurrentPosition;
    FInDecode = false;
    if (FStopped && !FEndNotified)
        NotifyDetectionEnd();
    FLock->EndWrite();
    return FDonePosition;
}

bool TDigitDetector::RunPass(bool IgnorePulse) {
    FToneBegin = FChunkPosition;
    FToneEnd = FChunkLength;
    FToneDigit = ' ';
    FToneFound = DetectTone(FToneBegin, FToneEnd, FToneDigit, FSupplyBuffer, FSpectrum);

    if (FToneDigit == ' ') {
        FPulseLimit = FChunkLength;
        FPulseMargin = OpenPulseMargin;
    } else {
        FPulseLimit = FToneDigit == '.' ? FToneEnd : FToneBegin;
        FPulseMargin = ClosedPulseMargin;
    }
    if (FFinalChunk)
        FPulseMargin = ClosedPulseMargin;

    FPulseBegin = FChunkPosition;
    FPulseEnd = FPulseLimit;
    FPulseFound = true;
    bool TrainUnfinished = false;
    while (!IgnorePulse && FPulseFound && FPulseLimit - FPulseMargin > FPulseBegin) {
        FPulseDoubt = FDoubtSinglePulse;
        FPulseFound = DetectPulseDigit(FPulseBegin, FPulseEnd, FPulseDigit, FPulseDoubt, FPeriodOut,
                                       FPairSpacingOut, FPulseCount, FSupplyBuffer, FDeltas,
                                       FLevels, FPulses, FPhaseScores);
        if (FPulseFound) {
            if (FPulseDigit == ' ') {
                FRejectingTrain = false;
            } else if (FRejectingTrain &&
                       FCurrentPosition + FPulseBegin < FRejectedTrainEnd + JammedTrainGap) {
                // The rest of a train too long to analyse: no digit from it.
                FPulseDigit = '-';
                FRejectedTrainEnd = FCurrentPosition + FPulseEnd;
            } else {
                FRejectingTrain = false;
            }
        }
        if (FPulseFound && FPulseDigit != ' ' && FPulseDigit != '-') {
            if (!HandlePulseDigit())
                return false;
            FPulseDigitSeen = true;
        }
        if (FPulseFound && (FPulseDigit == ' ' || FPulseDigit == '-')) {
            if (!FPulseDigitSeen || FReleased)
                SetDoneAtLeastRunStart(FCurrentPosition + FPulseEnd);
        }
        if (FPulseFound) {
            FPulseBegin = FPulseEnd;
            FPulseEnd = FPulseLimit;
        } else {
            // A restart never lies before the chunk: the stream must not go
            // backwards past samples already consumed.
            if (FPulseBegin < 0)
                FPulseBegin = 0;
            if (FPulseMargin == ClosedPulseMargin)
                FPulseBegin = FPulseEnd = FPulseLimit;
            else
                TrainUnfinished = true;
        }
    }
    FChunkPosition = FPulseBegin;
    if (FPulseMargin == OpenPulseMargin)
        FChunkGoesOn = false;

    // A train that starts at the chunk's first sample and does not end within
    // a full chunk can never be analysed whole: asking for the same position
    // again would hang the run. Reject it and go on from where pulse analysis
    // would have stopped; the rest of the train is rejected as it comes.
    if (TrainUnfinished && FChunkPosition == 0 && FChunkLength == ChunkSamples && FToneFound &&
        FToneDigit == ' ') {
        FChunkPosition = FPulseLimit - FPulseMargin;
        FRejectingTrain = true;
        FRejectedTrainEnd = FCurrentPosition + FChunkPosition;
        if (!FPulseDigitSeen || FReleased)
            SetDoneAtLeastRunStart(FCurrentPosition + FChunkPosition);
    }

    if (FToneFound && FToneDigit != ' ') {
        if (!HandleToneDigit())
            return false;
        FChunkPosition = FToneEnd;
    }
    if (FToneFound && FToneDigit == ' ' && IgnorePulse)
        FChunkPosition = FToneEnd;
    if (!FToneFound) {
        if (FToneEnd - FToneBegin > OpenToneKeepLimit)
            FToneBegin += OpenToneSkip;
        if (FFinalChunk && FSupplyLength - FToneEnd < MinToneStretch)
            FToneBegin = FToneEnd;
        FChunkPosition = FToneBegin;
        FChunkGoesOn = false;
    }
    return true;
}

bool TDigitDetector::HandlePulseDigit() {
    if (!FReleased) {
        TDigitRecord& Record = *FDigitRing[FHeldCount % DigitRingSize];
        Record.Digit = FPulseDigit;
        Record.IsDTMF = false;
        Record.BeginPosition = FCurrentPosition + FPulseBegin;
        Record.EndPosition = FCurrentPosition + FPulseEnd;
        Record.TimeTicks = static_cast<unsigned>(FPulseBegin / 8) + FCurrentTimeTicks;
        ++FHeldCount;
        bool Convincing = FPulseDigit > '3' || FPulseDigit == '0';
        if (Convincing) {
            FReleased = true;
            FDoubtSinglePulse = FPulseDoubt;
            if (FOnDigitDetected) {
                bool StoppedDuringRelease = false;
                ForEachHeld([&](TDigitRecord& Held) {
                    if (Held.Digit == '!' && !FDoubtSinglePulse)
                        Held.Digit = '1';
                    NotifyDigitDetected(Held.Digit, Held.TimeTicks, Held.IsDTMF);
                    if (FStopped) {
                        FDonePosition = Held.EndPosition;
                        StoppedDuringRelease = true;
                    }
                    return !StoppedDuringRelease;
                });
                if (StoppedDuringRelease) {
                    EndStepAfterStop();
                    return false;
                }
            }
            FHeldCount = 0;
            FDonePosition = FCurrentPosition + FPulseEnd;
        } else if (!FPulseDigitSeen) {
            SetDoneAtLeastRunStart(FCurrentPosition + FPulseBegin - FirstDigitLeadIn);
        }
        return true;
    }
    if (FOnDigitDetected) {
        NotifyDigitDetected(FPulseDigit, static_cast<unsigned>(FPulseBegin / 8) + FCurrentTimeTicks,
                            false);
        if (FStopped) {
            FDonePosition = FCurrentPosition + FPulseEnd;
            EndStepAfterStop();
            return false;
        }
    }
    return true;
}

bool TDigitDetector::HandleToneDigit() {
    if (FToneReleases && FToneDigit != '.') {
        bool StoppedDuringRelease = false;
        ForEachHeld([&](TDigitRecord& Held) {
            NotifyDigitDetected(Held.Digit, Held.TimeTicks, true);
            FDonePosition = Held.EndPosition;
            StoppedDuringRelease = FStopped;
            return !StoppedDuringRelease;
        });
        if (StoppedDuringRelease) {
            EndStepAfterStop();
            return false;
        }
        FHeldCount = 0;
        FReleased = true;
    }
    if (!FReleased) {
        TDigitRecord& Record = *FDigitRing[FHeldCount % DigitRingSize];
        Record.Digit = FToneDigit;
        Record.IsDTMF = true;
        Record.BeginPosition = FCurrentPosition + FToneBegin;
        Record.EndPosition = FCurrentPosition + FToneEnd;
        Record.TimeTicks = static_cast<unsigned>(FToneBegin / 8) + FCurrentTimeTicks;
        ++FHeldCount;
        return true;
    }
    if (FOnDigitDetected) {
        NotifyDigitDetected(FToneDigit, static_cast<unsigned>(FToneBegin / 8) + FCurrentTimeTicks,
                            true);
        if (FStopped) {
            FDonePosition = FCurrentPosition + FToneEnd;
            EndStepAfterStop();
            return false;
        }
    }
    return true;
}

// ============================================================================
// Tone recognition
// ============================================================================

// In-place radix-2 decimation-in-time transform of Data[1..N], N = 2^Order;
// forward, unscaled. Twiddles advance by the recurrence u := u * w.
void TDigitDetector::fft(std::complex<double>* Data, int Order) {
    const int N = 1 << Order;
    int J = 1;
    for (int I = 1; I <= N - 1; ++I) {
        if (I < J)
            std::swap(Data[I], Data[J]);
        int K = N / 2;
        while (K < J) {
            J -= K;
            K /= 2;
        }
        J += K;
    }
    for (int L = 1; L <= Order; ++L) {
        const int Span = 1 << L;
        const int Half = Span / 2;
        std::complex<double> U(1.0, 0.0);
        const std::complex<double> W(std::cos(Pi / Half), -std::sin(Pi / Half));
        for (int Jj = 1; Jj <= Half; ++Jj) {
            for (int I = Jj; I <= N; I += Span) {
                const int P = I + Half;
                const std::complex<double> T = Data[P] * U;
                Data[P] = Data[I] - T;
                Data[I] = Data[I] + T;
            }
            U = U * W;
        }
    }
}

namespace {

// Low-group row (0..3) of a bin, or -1.
int RowOfBin(int Bin) {
    if (Bin >= 43 && Bin <= 46)
        return 0;
    if (Bin >= 48 && Bin <= 51)
        return 1;
    if (Bin >= 53 && Bin <= 56)
        return 2;
    if (Bin >= 59 && Bin <= 62)
        return 3;
    return -1;
}

// High-group column (0..2) of a bin, or -1; the 1633 Hz column is not a key.
int ColumnOfBin(int Bin) {
    if (Bin >= 76 && Bin <= 79)
        return 0;
    if (Bin >= 84 && Bin <= 87)
        return 1;
    if (Bin >= 93 && Bin <= 96)
        return 2;
    return -1;
}

constexpr char KeyTable[4][3] = {
    {'1', '2', '3'}, {'4', '5', '6'}, {'7', '8', '9'}, {'*', '0', '#'}};
constexpr int SingleToneLowBin = 26, SingleToneHighBin = 28;

} // namespace

// Slides a 512-sample window in steps of 256 over Samples[Begin, End) and
// reports the first digit that holds for two consecutive windows. A window
// is classified by the peaks of its power spectrum above ten times the mean
// bin power (at least 300): one row and one column peak make a key, a lone
// peak at 406-437 Hz makes '.', anything else is blank.
bool TDigitDetector::DetectTone(int& Begin, int& End, char& Digit, short* Samples,
                                std::complex<double>* Spectrum) {
    char Current = ' ';
    if (End - Begin < MinToneStretch)
        return false;
    char Previous = ' ';
    bool Confirmed = false;
    bool Ready = false;
    int Position = Begin;
    int RunStart = Begin;
    while (Position < End - ToneWindow && !Ready) {
        Previous = Current;
        for (int N = 0; N < ToneWindow; ++N)
            Spectrum[N + 1] = std::complex<double>(Samples[Position + N] / 32768.0, 0.0);
        fft(Spectrum, ToneOrder);

        double Power[ToneBins];
        double Sum = 0;
        for (int B = 0; B < ToneBins; ++B) {
            const std::complex<double>& X = Spectrum[B + 1];
            Power[B] = X.real() * X.real() + X.imag() * X.imag();
            Sum += Power[B];
        }
        double Threshold = ThresholdOverMean * (Sum * (1.0 / ToneBins));
        if (Threshold < ThresholdFloor)
            Threshold = ThresholdFloor;

        int Peaks = 0;
        double Largest = 0, Second = 0;
        int LargestBin = -1, SecondBin = -1;
        bool InRun = false;
        double RunPower = 0;
        int RunBin = -1;
        for (int B = 0; B < ToneBins && Peaks < MaxCountedPeaks; ++B) {
            if (Power[B] > Threshold) {
                if (!InRun) {
                    InRun = true;
                    RunPower = Power[B];
                    RunBin = B;
                } else if (Power[B] > RunPower) {
                    RunPower = Power[B];
                    RunBin = B;
                }
                continue;
            }
            if (!InRun)
                continue;
            InRun = false;
            ++Peaks;
            if (RunPower > Largest) {
                Second = Largest;
                SecondBin = LargestBin;
                Largest = RunPower;
                LargestBin = RunBin;
            } else if (RunPower > Second) {
                Second = RunPower;
                SecondBin = RunBin;
            }
        }

        Current = ' ';
        if (Peaks >= 1 && Peaks <= 3) {
            int LowBin = -1, HighBin = LargestBin;
            if (SecondBin >= 0) {
                LowBin = std::min(LargestBin, SecondBin);
                HighBin = std::max(LargestBin, SecondBin);
            }
            int Row = LowBin >= 0 ? RowOfBin(LowBin) : -1;
            int Column = ColumnOfBin(HighBin);
            if (Peaks == 1 && HighBin >= SingleToneLowBin && HighBin <= SingleToneHighBin)
                Current = '.';
            else if (Row >= 0 && Column >= 0)
                Current = KeyTable[Row][Column];
        }

        if (Current == ' ') {
            if (Confirmed) {
                End = Position;
                Begin = RunStart;
                Digit = Previous;
                Ready = true;
            }
            Confirmed = false;
        } else if (Confirmed) {
            if (Current != Previous) {
                End = Position;
                Begin = RunStart;
                Digit = Previous;
                Ready = true;
            }
        } else if (Current == Previous) {
            Confirmed = true;
        } else {
            RunStart = Position;
        }
        Position += ToneWindowStep;
    }
    if (Ready)
        return true;
    Digit = Current;
    if (Current != ' ') {
        Begin = RunStart;
        return false;
    }
    End = Position;
    return true;
}

// ============================================================================
// Sample parameters
// ============================================================================

void TDigitDetector::FillLevelSpares(float* Levels, int Count) {
    const float Last = Count > 0 ? Levels[Count - 1] : 0.0f;
    for (int I = 0; I < LevelSpareEntries; ++I)
        Levels[Count + I] = Last;
}

void TDigitDetector::ResetSampleParams() {
    FQuietSum = 0.01;
    FQuietCount = 1;
    FStrongSum = 0.2;
    FStrongCount = 1;
    FQuietGain = 20.0;
    FStrongGain = 1.5;
}

// Deltas: peak-to-peak swing of the 17 samples around each sample, from
// running extremes that are rescanned only when one leaves the window.
// Levels: RMS of the 40 samples around each sample in percent of full scale,
// less the magnitude of a slow DC estimate. The run's loudness statistics
// grow with every call and give the two gains.
void TDigitDetector::GetSampleParams(unsigned short* Deltas, float* Levels, short* Samples,
                                     int Count) {
    FAnalysedLength = std::max(Count, 0);
    if (Count < MinParamSamples) {
        // Too short for the 40-sample RMS: no measure is defined, and no
        // pulse can be found in so short a stretch anyway.
        for (int I = 0; I < Count; ++I) {
            Deltas[I] = 0;
            Levels[I] = 0;
        }
        return;
    }

    double Ring[EnergyRing];
    for (int K = 0; K < EnergyRing; ++K) {
        double Scaled = Samples[K] * SampleScale;
        Ring[K] = Scaled * Scaled;
    }

    // Start values that make the first delta (32768 - -32768) = 0 in 16 bits.
    int MaxValue = 32768, MaxPosition = 0;
    int MinValue = -32768, MinPosition = 0;
    const int Span = 2 * DeltaHalfWindow;
    for (int I = 16; I < Count - 20; ++I) {
        const int Oldest = I - Span;
        if (MaxPosition < Oldest) {
            MaxValue = Samples[Oldest];
            MaxPosition = Oldest;
            for (int Q = Oldest + 1; Q <= I; ++Q)
                if (Samples[Q] >= MaxValue) {
                    MaxValue = Samples[Q];
                    MaxPosition = Q;
                }
        }
        if (MinPosition < Oldest) {
            MinValue = Samples[Oldest];
            MinPosition = Oldest;
            for (int Q = Oldest + 1; Q <= I; ++Q)
                if (Samples[Q] <= MinValue) {
                    MinValue = Samples[Q];
                    MinPosition = Q;
                }
        }
        if (Samples[I] >= MaxValue) {
            MaxValue = Samples[I];
            MaxPosition = I;
        }
        if (Samples[I] <= MinValue) {
            MinValue = Samples[I];
            MinPosition = I;
        }
        Deltas[I - DeltaHalfWindow] = static_cast<unsigned short>(MaxValue - MinValue);

        double Scaled = Samples[I + 20] * SampleScale;
        Ring[(I + 20) % EnergyRing] = Scaled * Scaled;
        double Sum = 0;
        for (int R = 0; R < EnergyRing; ++R)
            Sum += Ring[R];
        double Rms = std::sqrt(0.025 * Sum);

        if (Rms > StrongRms) {
            FStrongSum += Rms;
            FStrongCount += 1;
        }
        if (QuietRmsLow < Rms && Rms < QuietRmsHigh) {
            FQuietSum += Rms;
            FQuietCount += 1;
        }
        Levels[I] = static_cast<float>(Rms * 100);
    }

    if (FCalibrationCount < CalibrationsThatFreezeQuietGain)
        FQuietGain = QuietRef / (FQuietSum / FQuietCount);
    FStrongGain = StrongRef / (FStrongSum / FStrongCount);
    if (FStrongGain > MaxStrongGain)
        FStrongGain = MaxStrongGain;
    if (FStrongGain < MinStrongGain)
        FStrongGain = MinStrongGain;

    const float HeadLevel = Levels[20];
    for (int I = 0; I <= 20; ++I)
        Levels[I] = HeadLevel;
    const float TailLevel = Levels[Count - 21];
    for (int I = Count - 21; I < Count; ++I)
        Levels[I] = TailLevel;
    const unsigned short TailDelta = Deltas[Count - 29];
    for (int I = Count - 28; I < Count; ++I)
        Deltas[I] = TailDelta;
    for (int I = 0; I < DeltaHalfWindow; ++I)
        Deltas[I] = Deltas[DeltaHalfWindow];

    double Offset = 0;
    for (int J = 0; J < Count; ++J) {
        if (std::abs(static_cast<int>(Samples[J])) < DcAdmission)
            Offset = DcKeep * Offset + DcTake * Samples[J];
        double Dc = Offset * RawToPercent;
        double Level = Levels[J] - std::fabs(Dc);
        Levels[J] = Level < 0 ? 0.0f : static_cast<float>(Level);
    }
}

// ============================================================================
// Start and end of sound
// ============================================================================

// Finds the first click-shaped segment in [Begin, End): the level rises from
// near silence, peaks and falls back under a slowly rising line; the segment
// is short for its loudness and holds a sharp swing. Refine narrows a
// segment of several humps to its strongest sub-segment.
bool TDigitDetector::FindSoundSignal(int& Begin, int& End, int& PeakPosition, int& NextOnset,
                                     float* Levels, unsigned short* Deltas, float Gain,
                                     float SilenceLevel, float OnsetCeiling, float MinRise,
                                     float MinFall, bool Refine, float MinDeltaRatio,
                                     float LevelPerSample, float DropPerSample, int MinLength,
                                     float MinDelta) {
    float* const L = Levels;
    unsigned short* const D = Deltas;
    const int S = End;
    const float Silence = SilenceLevel / Gain;
    const float Ceiling = OnsetCeiling / Gain;
    const float DeltaFloor = MinDelta / Gain;
    const float Rise = MinRise / Gain;
    const float Fall = MinFall / Gain;
    const double Slope = 0.05 / Gain;
    constexpr double RefineTolerance = 1.01;

    auto IsOnset = [&](int P) {
        return (L[P] > Silence || L[P + 1] > Silence) && L[P] <= Ceiling && L[P + 2] - L[P] >= Rise;
    };

    int I = Begin;
    int J = 0;
    int BestPosition = 0;
    bool Found = false;
    while (I < S && !Found) {
        if (!IsOnset(I)) {
            ++I;
            continue;
        }
        float Peak = L[I];
        int BestDelta = 0;
        BestPosition = I;
        int ResumeAt = I + 1;
        for (J = I + 2; J < S; ++J) {
            if (L[J] > Peak)
                Peak = L[J];
            if (D[J] > BestDelta) {
                BestDelta = D[J];
                BestPosition = J;
            }
            double Line = L[I] + (J - I) * Slope;
            if (Line > Ceiling)
                Line = Ceiling;
            if (L[J] > Line)
                continue;
            if (BestDelta < DeltaFloor || BestDelta / L[BestPosition] < MinDeltaRatio) {
                ResumeAt = J + 1;
                break;
            }
            int Length = J - I;
            if (Length > MinLength && Length < Peak * Gain / LevelPerSample &&
                Length < (Peak - L[J]) * Gain / DropPerSample && L[J - 2] - L[J] > Fall) {
                Found = true;
                break;
            }
            if (L[J] < L[I]) {
                ResumeAt = I + 1;
                break;
            }
        }
        if (!Found)
            I = ResumeAt;
    }
    if (!Found) {
        Begin = S;
        NextOnset = -1;
        return false;
    }

    Begin = I;
    End = J;
    PeakPosition = BestPosition;

    if (Refine) {
        const int SegBegin = I, SegEnd = J;
        bool Accepted = false;
        int K = SegBegin + 1;
        while (!Accepted && K < SegEnd) {
            float M = 0;
            int Mp = -1;
            for (int P = K; P < SegEnd - 1; ++P) {
                if (L[P] >= M) {
                    M = L[P];
                    Mp = P;
                } else if (L[P] + (P - Mp) * Slope < M) {
                    break;
                }
            }
            // A pass that examined no position has no sub-peak: done.
            if (Mp < 0)
                break;

            float V = M;
            K = SegEnd;
            for (int P = Mp + 1; P <= SegEnd; ++P) {
                if (L[P] <= V) {
                    V = L[P];
                    K = P;
                } else if (L[P] - (P - Mp) * Slope > V) {
                    break;
                }
            }
            if (V > Ceiling)
                continue;

            double Best = 0;
            bool PassOver = false;
            for (int E = K; !PassOver && E > Mp + 1 && L[E] < Ceiling; --E) {
                if (!(L[E - 2] - L[E] >= Fall))
                    continue;
                int Bd = 0;
                int Bp = E - 1;
                for (int Sx = E - 1; Sx > SegBegin; --Sx) {
                    if (D[Sx] >= Bd) {
                        Bd = D[Sx];
                        Bp = Sx;
                    }
                    if (L[Sx] >= L[E])
                        continue;
                    if (Bd < DeltaFloor || Bd / L[Bp] < MinDeltaRatio) {
                        PassOver = true;
                        break;
                    }
                    int Length = E - Sx;
                    if (Length > MinLength && Length < M * Gain / LevelPerSample &&
                        Length < (M - L[Sx]) * Gain / DropPerSample) {
                        if (Bd > Best) {
                            Best = Bd;
                        } else if (Bd * RefineTolerance < Best) {
                            break;
                        } else {
                            Begin = Sx;
                            End = E;
                            PeakPosition = Bp;
                            Accepted = true;
                        }
                    }
                    double Line = L[E] - (E - Sx) * Slope;
                    if (Line < Silence)
                        Line = Silence;
                    if (L[Sx] < Line)
                        break;
                }
            }
        }
    }

    for (int P = End; P < S; ++P) {
        if ((L[P] > Silence || L[P + 1] > Silence) && L[P] <= Ceiling && L[P + 2] - L[P] > Rise) {
            NextOnset = P;
            return true;
        }
    }
    NextOnset = -1;
    return true;
}

// ============================================================================
// Pulse scanning
// ============================================================================

bool TDigitDetector::IsGranulityValid(short* /*Samples*/, int Value1, int Value2, int Span) {
    return std::abs(Value1 - Value2) > 32 && Span > 1;
}

bool TDigitDetector::IsVibration(short* /*Samples*/, int Value1, int Value2, int Span) {
    // Span 0 cannot come from two distinct extremes; refuse it rather than
    // divide by it.
    if (Span > 10 || Span == 0)
        return false;
    int Difference = std::abs(Value1 - Value2);
    if (Difference <= 1024)
        return false;
    int Slope = Difference / Span;
    return 128 < Slope && Slope < 8192;
}

// Tells a click from other sound: a delta peak above PeakDelta in
// [Begin, End), and a waveform whose slow half-swings (over 12 samples) last
// at least as long as its counted fast ones (vibration of 400 Hz and more,
// as a tone or a voice gives).
bool TDigitDetector::IsPulse(short* Samples, unsigned short* Deltas, int& PeakDelta, int& Begin,
                             int& End, int& PeakPosition, int Extra, bool FixedWindow,
                             bool SeekPeak) {
    if (SeekPeak) {
        if (End - Begin > 600)
            return false;
        if (End - Begin > 240)
            Begin = End - 240;
    }
    if (FixedWindow) {
        End = Begin + 120;
        Extra = 0;
    }
    if (!SeekPeak && !FixedWindow) {
        if (End - Begin > 320)
            return false;
        if (Extra > 100 || Extra < 60)
            Extra = 80;
    }

    struct TExtreme {
        int Value;
        int Position;
    };
    TExtreme Swings[4];
    int SwingCount = 0;
    int Peak = PeakDelta;
    int FirstPeak = -1;
    int VibrationLength = 0, OtherLength = 0;
    bool PreviousWasVibration = false;
    bool Rising = true;
    // Reads stop at the end of the analysed data.
    const int Stop = std::min(End + Extra, FAnalysedLength);
    const int StartExtreme = std::min(Begin + 16, std::max(Stop - 1, Begin));
    TExtreme Current{Samples[StartExtreme], StartExtreme};

    for (int K = Begin; K < Stop; ++K) {
        if (K < End) {
            if (SeekPeak && Deltas[K] > 0.95 * Peak && K - FLastPeakPosition > 8) {
                Peak = Deltas[K];
                FLastPeakPosition = K;
                VibrationLength = 0;
                OtherLength = 0;
                if (FirstPeak < 0)
                    FirstPeak = K;
            }
            if (Deltas[K] > Peak) {
                Peak = Deltas[K];
                FLastPeakPosition = K;
                if (FirstPeak < 0)
                    FirstPeak = K;
            }
        }

        const int S = Samples[K];
        if (Rising) {
            if (S >= Current.Value) {
                Current = {S, K};
            } else {
                Swings[SwingCount++] = Current;
                Rising = false;
                Current = {S, K};
            }
        } else {
            if (S <= Current.Value) {
                Current = {S, K};
            } else {
                Swings[SwingCount++] = Current;
                Rising = true;
                Current = {S, K};
            }
        }

        if (SwingCount >= 3) {
            TExtreme& E0 = Swings[0];
            TExtreme& E1 = Swings[1];
            TExtreme& E2 = Swings[2];
            if (IsGranulityValid(Samples, E1.Value, E2.Value, E2.Position - E1.Position)) {
                const int HalfSwing = E1.Position - E0.Position;
                if (IsVibration(Samples, E0.Value, E1.Value, HalfSwing)) {
                    if (PreviousWasVibration)
                        VibrationLength += HalfSwing;
                    PreviousWasVibration = true;
                } else {
                    if (HalfSwing > 12)
                        OtherLength += HalfSwing;
                    PreviousWasVibration = false;
                }
                if (SeekPeak && End - K > 80) {
                    VibrationLength = 0;
                    PreviousWasVibration = false;
                }
                for (int X = 1; X < SwingCount; ++X)
                    Swings[X - 1] = Swings[X];
                --SwingCount;
            } else if (SwingCount == 4) {
                const TExtreme& E3 = Swings[3];
                if ((!Rising && E3.Value >= E1.Value) || (Rising && E3.Value <= E1.Value))
                    E1 = E3;
                SwingCount = 2;
            }
        }
    }

    PeakDelta = Peak;
    if (FirstPeak >= 0 && OtherLength >= VibrationLength) {
        if (SeekPeak)
            PeakPosition = FLastPeakPosition;
        return true;
    }
    return false;
}

namespace {

// Mean of the level at Peak and of every level in [From, To) above it.
float MeanAboveLevel(const float* Levels, int Peak, int From, int To) {
    double Sum = Levels[Peak];
    int Count = 1;
    for (int K = From; K < To; ++K)
        if (Levels[K] > Levels[Peak]) {
            Sum += Levels[K];
            ++Count;
        }
    return static_cast<float>(Sum / Count);
}

// Mean of the quiet levels among Count positions walking back from From,
// or Fallback when fewer than 21 (counting from one) were quiet.
double QuietMeanBefore(const float* Levels, int From, int Count, double Fallback) {
    double Sum = 0;
    int Quiet = 1;
    for (int K = From; K > From - Count && K >= 0; --K)
        if (Levels[K] < QuietLevel) {
            Sum += Levels[K];
            ++Quiet;
        }
    return Quiet > 20 ? Sum / Quiet : Fallback;
}

} // namespace

// Finds one pulse train in [Begin, End): the first main click (a strong delta
// with quiet after it), the end of the train (a 900-sample window that turns
// all quiet or mostly loud), the following main clicks one by one, and the
// weak second click after each. Fills Pulses and PulseCount.
bool TDigitDetector::ScanPulses(short* Samples, unsigned short* Deltas, float* Levels, int& Begin,
                                int& End, int MinPeakDelta, int FirstPeakDelta, int MaxGap,
                                TPulse** Pulses, int& PulseCount) {
    const double G = FStrongGain;
    const int Limit = End;
    const int DataEnd = std::min(FAnalysedLength, Limit);
    int Q = Begin;
    bool Tail = false;
    auto IsQuiet = [Levels](int K) { return Levels[K] < QuietLevel; };

    int P = -1, M = -1, N = 0, S = 0, E = 0, V = 0;
    for (;;) {
        P = -1;
        M = -1;
        N = 0;
        V = static_cast<int>(FirstPeakDelta / G);
        double QuietSum = 0;
        int QuietCount = 0;
        int K;
        for (K = Q; K < End; ++K) {
            int Threshold = P < 0 ? V : V * 160 / ((K - P) + 160);
            if (Deltas[K] > Threshold && Levels[K] > ClickLevel / G) {
                V = Deltas[K];
                if (N < 60) {
                    P = K;
                    M = -1;
                    N = 0;
                    QuietSum = 0;
                    QuietCount = 0;
                }
            }
            if (P > 0) {
                if (K - P < 320) {
                    if (Levels[K] < QuietLevel) {
                        ++N;
                        if (K - P > 120) {
                            QuietSum += Levels[K];
                            ++QuietCount;
                        }
                    }
                    if (N > 60 && M < 0)
                        M = K;
                    if (M >= 0 && K - P > 280)
                        break;
                } else if (N < 60) {
                    P = -1;
                    M = -1;
                    V = static_cast<int>(FirstPeakDelta / G);
                }
            }
        }
        if (P < 0) {
            PulseCount = 0;
            return true;
        }
        if (N < 60) {
            PulseCount = 0;
            Begin = P - 240;
            return false;
        }
        if (M < 0)
            M = K;
        Q = M;
        if (QuietCount < 20 || QuietSum / QuietCount > 0.2 * Levels[P])
            continue;
        S = std::max(std::min(M - 200, P - 20), Begin);
        E = M - 60;
        int Loud = 0;
        for (int X = E; X >= 0 && Loud <= 600 && Levels[X] > DeepQuietLevel; --X)
            ++Loud;
        if (Loud > 600)
            continue;
        if (Loud > 240) {
            double Thirds[3] = {0, 0, 0};
            for (int X = 0; X < Loud; ++X)
                Thirds[3 * X / Loud] += Levels[E - X];
            if (Thirds[1] > Thirds[0] && Thirds[1] > Thirds[2])
                continue;
        }
        V = static_cast<int>(FirstPeakDelta / G);
        if (IsPulse(Samples, Deltas, V, S, E, P, N, false, true))
            break;
    }

    TPulse* First = Pulses[0];
    *First = TPulse{};
    First->Start = S;
    First->Peak = P;
    First->End = E;
    First->MinorPosition = -2;
    First->PeakDelta = V;
    First->MeanLevel = MeanAboveLevel(Levels, P, S, E);
    PulseCount = 1;
    int LastPeak = P;
    Begin = P;
    if (P + 900 > End)
        return false;

    int QuietInWindow = 0, LoudRun = 0;
    for (int K = P; K < P + 900; ++K) {
        if (IsQuiet(K)) {
            ++QuietInWindow;
            LoudRun = 0;
        } else {
            ++LoudRun;
        }
    }
    int K = P;
    while (QuietInWindow > 240 && LoudRun < 320 && QuietInWindow < 900 && K + 901 < Limit) {
        if (IsQuiet(K))
            --QuietInWindow;
        if (IsQuiet(K + 901)) {
            ++QuietInWindow;
            LoudRun = 0;
        } else {
            ++LoudRun;
        }
        ++K;
    }
    if (LoudRun > 320) {
        End = K + 1000 - LoudRun;
    } else if (K + 901 < Limit) {
        End = K + 900;
    } else {
        Begin = P - 240;
        return false;
    }
    int Saved = Q;

    while (PulseCount < PulseListSize) {
        TPulse* Last = Pulses[PulseCount - 1];
        if (End - Last->End < 200)
            break;
        if (Q == -1) {
            if (Tail)
                break;
            Q = Last->End + 80;
            Tail = true;
        }
        if (Q - LastPeak > MaxGap) {
            if (Tail)
                break;
            Q = Last->End + 80;
            Tail = true;
        }

        V = MinPeakDelta;
        S = Q;
        E = End;
        bool Found;
        if (Tail) {
            Found = FindSoundSignal(S, E, P, Q, Levels, Deltas, static_cast<float>(G), 3, 27, 0.5f,
                                    0.25f, true, 500, 0.05f, 0.02f, 40, 10000);
        } else {
            Found = FindSoundSignal(S, E, P, Q, Levels, Deltas, static_cast<float>(G), 3, 12, 0.5f,
                                    0.25f, true, 500, 0.1f, 0.1f, 40, 10000);
            if (P - LastPeak > MaxGap) {
                Tail = true;
                S = Saved;
                E = End;
                Found = FindSoundSignal(S, E, P, Q, Levels, Deltas, static_cast<float>(G), 3, 27,
                                        0.5f, 0.25f, true, 500, 0.05f, 0.02f, 40, 10000);
            }
        }

        bool Accepted = false;
        if (Found) {
            if (E == -1 || E - S > 560) {
                Tail = true;
                E = End;
            }
            int Gap = (Q != -1 ? Q : End) - E;
            Accepted = IsPulse(Samples, Deltas, V, S, E, P, Gap, Tail, false);
        }
        float Mean = MeanAboveLevel(Levels, P, S, std::min(E, DataEnd));
        if (Mean < ClickLevel / G)
            Accepted = false;

        double After = 0;
        if (Accepted && !Tail) {
            double Sum = 0;
            int Quiet = 1;
            for (int X = P + 120; X < std::min(P + 280, End); ++X)
                if (IsQuiet(X)) {
                    Sum += Levels[X];
                    ++Quiet;
                }
            After = Quiet > 20 ? Sum / Quiet : Mean;
        }
        double Before = Accepted ? QuietMeanBefore(Levels, S, 160, Mean) : 0;
        if ((0.2 * Mean < After && 0.2 * Mean < Before) || (Tail && 0.2 * Mean < Before))
            Accepted = false;
        if (!Accepted)
            continue;

        Saved = Q;
        TPulse* New = Pulses[PulseCount];
        *New = TPulse{};
        New->Start = S;
        New->Peak = P;
        New->End = E;
        New->MinorPosition = -2;
        New->PeakDelta = V;
        New->MeanLevel = Mean;
        ++PulseCount;
        TPulse* Prev = Pulses[PulseCount - 2];

        if (P + 800 > Limit && P - Prev->Peak < 1000)
            return false;
        if (Tail) {
            if (P - Prev->Peak > 1000) {
                --PulseCount;
                break;
            }
            int DeepQuiet = 0;
            for (int X = S; X > S - 200 && X >= 0; --X)
                if (Levels[X] < DeepQuietLevel)
                    ++DeepQuiet;
            if (DeepQuiet < 80) {
                --PulseCount;
                break;
            }
        }
        if (P - Prev->Peak > 700) {
            double Sum = 1.0;
            int Quiet = 1;
            for (int X = Prev->End + 80; X < S; ++X)
                if (Levels[X] < DeepQuietLevel) {
                    Sum += Levels[X];
                    ++Quiet;
                }
            FQuietGain = std::min(5.0 / (Sum / Quiet), 50.0) * G;
            FCalibrationCount += 1;
            int From = Prev->Peak + 280, To = S - 8, Onset;
            if (!FindSoundSignal(From, To, Prev->MinorPosition, Onset, Levels, Deltas,
                                 static_cast<float>(FQuietGain), 10, 100, 0.1f, 0.05f, true, 500,
                                 0.1f, 0.1f, 20, 2000)) {
                Prev->MinorPosition = -1;
                --PulseCount;
                End = Prev->End;
                break;
            }
        }
        LastPeak = P;
    }

    TPulse* Last = Pulses[PulseCount - 1];
    {
        int From = Last->Peak + 280, To = std::min(Last->Peak + 800, FAnalysedLength), Onset;
        if (!FindSoundSignal(From, To, Last->MinorPosition, Onset, Levels, Deltas,
                             static_cast<float>(FQuietGain), 10, 100, 0.1f, 0.05f, true, 500, 0.1f,
                             0.1f, 20, 2000))
            Last->MinorPosition = -1;
    }
    End = Last->End + 160;
    while (PulseCount > 1 && Last->Peak - Pulses[0]->Peak > 700) {
        int BestDelta = 0, BestPosition = -1;
        for (int X = Last->Start; X < Last->Start + 80 && X < FAnalysedLength; ++X)
            if (Deltas[X] > BestDelta) {
                BestDelta = Deltas[X];
                BestPosition = X;
            }
        // With no swing at all among the first 80 positions the peak stays.
        if (BestPosition >= 0) {
            Last->Peak = BestPosition;
            Last->PeakDelta = BestDelta;
        }
        TPulse* Prev = Pulses[PulseCount - 2];
        if (Last->Peak - Prev->Peak < 1000)
            return true;
        End = Prev->End + 160;
        --PulseCount;
        Last = Prev;
    }
    return true;
}

// ============================================================================
// Pulse digit decision
// ============================================================================

// Turns the next pulse train of [Begin, End) into a digit. One to three
// clicks are judged by fixed rules on spacing and loudness; longer trains
// are fitted with a periodic comb (period 690..900 samples) whose phases
// separate main clicks from second clicks, and the pulses are counted along
// the first regular run of clicks.
bool TDigitDetector::DetectPulseDigit(int& Begin, int& End, char& Digit, bool& DoubtSinglePulse,
                                      int& Period, int& PairSpacing, int& PulseCount,
                                      short* Samples, unsigned short* Deltas, float* Levels,
                                      TPulse** Pulses, float* PhaseScores) {
    if (!ScanPulses(Samples, Deltas, Levels, Begin, End, 8000, 12000, 1500, Pulses, PulseCount)) {
        Digit = '+';
        return false;
    }
    return ClassifyPulseTrain(Begin, End, Digit, DoubtSinglePulse, Period, PairSpacing, PulseCount,
                              Pulses, PhaseScores);
}

bool TDigitDetector::ClassifyPulseTrain(int& Begin, int& End, char& Digit, bool& DoubtSinglePulse,
                                        int& Period, int& PairSpacing, int& PulseCount,
                                        TPulse** Pulses, float* PhaseScores) {
    for (int I = 0; I < PulseCount; ++I) {
        Pulses[I]->MarkSize = 3;
        Pulses[I]->OffGrid = false;
    }
    auto Pulse = [Pulses](int I) -> TPulse& { return *Pulses[I]; };

    if (PulseCount > 1) {
        const float M0 = Pulse(0).MeanLevel, M1 = Pulse(1).MeanLevel;
        const int D01 = Pulse(1).Peak - Pulse(0).Peak;
        if ((M0 * 1.1 < M1 && D01 < 250) || (PulseCount < 4 && M1 * 1.2 > M0 && D01 < 280) ||
            (M0 * 1.3 < M1 && D01 < 400) || M0 * 2.0 < M1) {
            PulseCount = 1;
            End = Pulse(0).End;
            Digit = '-';
            return true;
        }
    }
    if (PulseCount > 2 && Pulse(PulseCount - 1).MeanLevel * 1.7 < Pulse(PulseCount - 2).MeanLevel) {
        End = Pulse(PulseCount - 2).End;
        --PulseCount;
    }
    if (PulseCount == 0) {
        Digit = ' ';
        return true;
    }
    TPulse& P0 = Pulse(0);
    if (PulseCount == 1) {
        if (P0.MinorPosition > 0 && P0.MinorPosition - P0.Peak < 700)
            Digit = DoubtSinglePulse ? '!' : '1';
        else
            Digit = '-';
        return true;
    }
    const int D01 = Pulse(1).Peak - P0.Peak;
    const int SpanAll = Pulse(PulseCount - 1).Peak - P0.Peak;
    if (300 < SpanAll && SpanAll < 700) {
        Digit = '1';
        PairSpacing = D01;
        Period = 0;
        return true;
    }
    if (PulseCount == 2) {
        if (700 <= D01 && D01 < 1000) {
            Digit = '2';
            Period = D01;
        } else {
            Digit = '-';
            End = P0.End;
        }
        return true;
    }
    if (PulseCount == 3) {
        const int D12 = Pulse(2).Peak - Pulse(1).Peak;
        const int D02 = Pulse(2).Peak - P0.Peak;
        auto Set = [&](char C, int Pair, int Per) {
            Digit = C;
            PairSpacing = Pair;
            Period = Per;
        };
        if (700 < D02 && D02 < 1000 && D01 > 300 && D12 > 100)
            Set('2', D01, D02);
        else if (D01 > 1200 && 300 < D12 && D12 < 700)
            Set('1', D12, 0);
        else if (700 < D12 && D12 < 1000 && 300 < D01 && D01 < 700)
            Set('2', D01, D12);
        else if (700 < D01 && D01 < 1000 && 300 < D12 && D12 < 700)
            Set('2', D12, D01);
        else if (700 < D12 && D12 < 1000 && D01 > 1200)
            Set('2', 0, D12);
        else if (700 < D01 && D01 < 1000 && 700 < D12 && D12 < 1000) {
            double Ratio = static_cast<double>(D01) / D12;
            if (0.9 <= Ratio && Ratio <= 1.1) {
                Set('3', 0, D02);
            } else {
                Digit = '-';
                End = P0.End;
            }
        } else if (D02 < 700)
            Set('1', D02, 0);
        else if (D01 < 700 && D12 < 300)
            Set('1', D01, 0);
        else {
            Digit = '-';
            End = P0.End;
        }
        return true;
    }

    // --- Comb fit ---------------------------------------------------------
    const int Count = PulseCount;
    auto Score = [&](int Per, int Phase, bool OnGrid) {
        double Sum = 0;
        for (int I = 0; I < Count; ++I) {
            const TPulse& X = Pulse(I);
            int W = CombWeight(CircularDistance(OnGrid ? X.GridPosition : X.Peak, Phase, Per));
            if (W > 0)
                Sum += CombTerm(X, W);
        }
        return Sum;
    };
    auto BestOverPhases = [&](int Per, bool OnGrid, int* BestPhase) {
        int Max = 0, Phase = 0;
        for (int T = 0; T < Per; ++T) {
            double S = Score(Per, T, OnGrid);
            if (S > Max) {
                Max = static_cast<int>(S);
                Phase = T;
            }
        }
        if (BestPhase)
            *BestPhase = Phase;
        return Max;
    };

    int P = 700;
    {
        int Best = 0;
        for (int Per = 700; Per <= 892; Per += 8) {
            int S = BestOverPhases(Per, false, nullptr);
            if (S > Best) {
                Best = S;
                P = Per;
            }
        }
    }
    int T = 0;
    BestOverPhases(P, false, &T);

    {
        int Offset = 0, On = 0, Previous = -1, LastDistance = 0;
        bool FirstInterpolation = true;
        for (int I = 0; I < Count; ++I) {
            TPulse& X = Pulse(I);
            X.GridPosition = X.Peak;
            const int C = CircularDistance(X.Peak, T, P);
            const int Shifted = CircularDistance(X.Peak + Offset, T, P);
            if (!(Shifted < 100 && Count > 6))
                continue;
            ++On;
            X.GridPosition = (X.Peak - C) % P == T ? X.Peak - C : X.Peak + C;
            Offset = static_cast<int>(Offset * 0.2 + (X.GridPosition - X.Peak) * 0.8);
            if (On > 1) {
                TPulse& Prev = Pulse(Previous);
                if (X.GridPosition - Prev.GridPosition > 600) {
                    const int From = FirstInterpolation ? 0 : Previous + 1;
                    FirstInterpolation = false;
                    const std::int64_t GridSpan = X.GridPosition - Prev.GridPosition;
                    const std::int64_t PeakSpan = X.Peak - Prev.Peak;
                    const int PrevGrid = Prev.GridPosition, PrevPeak = Prev.Peak;
                    for (int Kx = From; Kx < Count; ++Kx)
                        Pulse(Kx).GridPosition = static_cast<int>(
                            PrevGrid + (Pulse(Kx).Peak - PrevPeak) * GridSpan / PeakSpan);
                } else {
                    // Two clicks near one grid point: the farther one goes back.
                    if (LastDistance > C)
                        Prev.GridPosition = Prev.Peak;
                    else
                        X.GridPosition = X.Peak;
                    --On;
                }
            }
            LastDistance = C;
            Previous = I;
        }
    }

    {
        int Best = 0, Refined = P;
        for (int Per = P - 10; Per <= P + 8; Per += 2) {
            int S = BestOverPhases(Per, true, nullptr);
            if (S > Best) {
                Best = S;
                Refined = Per;
            }
        }
        if (Best > 0)
            P = Refined;
    }
    for (int Tx = 0; Tx < P; ++Tx)
        PhaseScores[Tx] = static_cast<float>(Score(P, Tx, true));

    struct TPhasePeak {
        int Score = 0;
        int Phase = 0;
        int Count = 0;
    };
    TPhasePeak Table[4];
    int N = 0;
    {
        int Max = 0, Mp = 0;
        for (int Tx = 0; Tx < 100; ++Tx) {
            PhaseScores[P + Tx] = PhaseScores[Tx];
            if (PhaseScores[Tx] > Max) {
                Max = static_cast<int>(PhaseScores[Tx]);
                Mp = Tx;
            }
        }
        for (int Tx = 100; Tx <= P + 99; ++Tx) {
            if (Tx - Mp == 50) {
                for (int E = 0; E < 4; ++E)
                    if (Table[E].Score < Max) {
                        for (int Down = 3; Down > E; --Down)
                            Table[Down] = Table[Down - 1];
                        Table[E] = TPhasePeak{Max, Mp, 0};
                        ++N;
                        break;
                    }
            }
            if (PhaseScores[Tx] > Max) {
                Max = static_cast<int>(PhaseScores[Tx]);
                Mp = Tx;
            }
            if (Tx - Mp == 100) {
                Max = 0;
                for (int Back = Tx - 99; Back <= Tx - 1; ++Back)
                    if (PhaseScores[Back] > Max) {
                        Max = static_cast<int>(PhaseScores[Back]);
                        Mp = Back;
                    }
            }
        }
    }
    N = std::min(N, 4);
    for (TPhasePeak& Entry : Table)
        Entry.Phase %= P;
    for (int I = 0; I < Count; ++I) {
        const int X = Pulse(I).GridPosition % P;
        for (TPhasePeak& Entry : Table)
            if (CircularDistance(X, Entry.Phase, P) < 100) {
                ++Entry.Count;
                break;
            }
    }
    for (int E = 0; E < N;) {
        if (Table[E].Count < 2) {
            for (int Up = E; Up < 3; ++Up)
                Table[Up] = Table[Up + 1];
            Table[3] = TPhasePeak{};
            --N;
        } else {
            ++E;
        }
    }

    int G1 = (Table[1].Phase - Table[0].Phase + P) % P;
    int H1 = P - G1;
    const int D1 = std::min(G1, H1);
    const int G2 = (Table[2].Phase - Table[0].Phase + P) % P;
    const int H2 = P - G2;
    const int D2 = std::min(G2, H2);
    const bool SecondPhaseCloser =
        Table[2].Score != 0 &&
        static_cast<std::int64_t>(D1) * Table[1].Score / Table[2].Score < D2 &&
        Table[1].Score * 2 / 3 < Table[2].Score;
    if (N > 2 && (D1 < 240 || SecondPhaseCloser)) {
        Table[1].Phase = Table[2].Phase;
        Table[1].Score = Table[2].Score;
        G1 = G2;
        H1 = H2;
    }
    if (H1 - 80 > G1 && 2 * Table[1].Score > Table[0].Score) {
        std::swap(Table[0].Phase, Table[1].Phase);
        G1 = (Table[1].Phase - Table[0].Phase + P) % P;
        H1 = P - G1;
    }
    if (H1 < 240)
        N = 1;

    for (int I = 0; I < Count; ++I) {
        TPulse& X = Pulse(I);
        const int Phase = X.GridPosition % P;
        if (CircularDistance(Phase, Table[0].Phase, P) < 100) {
            X.OnPrimary = true;
            X.OffGrid = false;
        } else {
            X.OnPrimary = false;
            X.OffGrid = !(N > 1 && CircularDistance(Phase, Table[1].Phase, P) < 100);
        }
    }

    int First = -1, Last = -1, Length = 0;
    bool Stopped = false, HaveLastPos = false;
    int LastPos = 0;
    for (int I = 0; I < Count && !Stopped; ++I) {
        const TPulse& X = Pulse(I);
        if (X.OffGrid)
            continue;
        if (First < 0)
            First = I;
        if (HaveLastPos && X.GridPosition - LastPos > P + 150) {
            if (Length > 1) {
                Stopped = true;
            } else {
                First = I;
                Length = 0;
            }
        }
        LastPos = X.GridPosition;
        HaveLastPos = true;
        ++Length;
        Last = I;
    }
    // No click on any phase of the grid: nothing to count.
    if (First < 0) {
        Digit = '-';
        return true;
    }

    {
        int OnPrimaryCount = 0, WithoutSecond = 0;
        for (int I = First; I < Last; ++I)
            if (Pulse(I).OnPrimary) {
                ++OnPrimaryCount;
                if (Pulse(I).MinorPosition == -2)
                    ++WithoutSecond;
            }
        if (OnPrimaryCount > 2)
            DoubtSinglePulse = WithoutSecond >= 0.8 * OnPrimaryCount;
    }

    if (Length > 2) {
        int Earliest = -1;
        for (int J = Last - 1;
             J >= First && !Pulse(J).OffGrid && Pulse(J).OnPrimary != Pulse(Last).OnPrimary; --J)
            Earliest = J;
        if (Earliest >= 0 && Pulse(Last).Peak - Pulse(Earliest).Peak < 200) {
            --Last;
            --Length;
            Stopped = true;
        }
    }
    if (Last == Count - 1 && Last >= 1 && DoubtSinglePulse && !Pulse(Last - 1).OffGrid &&
        Pulse(Last).MeanLevel * 1.4 < Pulse(Last - 1).MeanLevel) {
        --Last;
        --Length;
        Stopped = true;
    }
    while (Length > 2 && First < Last && !Pulse(First).OnPrimary) {
        ++First;
        --Length;
    }

    Begin = Pulse(First).Peak;
    if (Stopped)
        End = Pulse(Last).End;
    // A run trimmed to a single click (or none) counts nothing.
    if (Length <= 1) {
        Digit = '-';
        return true;
    }
    int Pulses10 = 1;
    bool Paired = false;
    bool Phase = Pulse(First).OnPrimary;
    int PreviousGrid = Pulse(First).GridPosition;
    for (int I = First + 1; I <= Last; ++I) {
        const TPulse& X = Pulse(I);
        if (X.OffGrid)
            continue;
        if (X.OnPrimary != Phase) {
            if (Paired) {
                ++Pulses10;
                Paired = false;
            } else {
                Paired = true;
            }
            Phase = X.OnPrimary;
        } else if (X.GridPosition - PreviousGrid > P - 150) {
            ++Pulses10;
        }
        PreviousGrid = X.GridPosition;
    }
    Pulses10 = std::min(Pulses10, 10);
    Digit = static_cast<char>('0' + Pulses10 % 10);
    PairSpacing = G1;
    Period = P;
    return true;
}
