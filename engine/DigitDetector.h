// TDigitDetector: recognises the digits dialled on a telephone line in a
// stream of 16-bit signed mono samples at 8000 samples per second.
//
// The detector does not read files or devices. It pulls buffers from its
// owner through DoSupplyBuffer, walks through them in chunks of at most
// 80000 samples (10 s) and alternates two analyses over each chunk:
//
//  - touch-tone (DTMF): 512-point FFT windows every 256 samples, classified
//    by the peaks of the power spectrum (DetectTone, fft);
//  - rotary (pulse) dialling: per-sample delta (peak-to-peak swing) and level
//    (RMS) arrays with gains taken from the recording's own loudness
//    (GetSampleParams), click-shaped sound segments (FindSoundSignal), the
//    clicks of a train collected into a pulse list (ScanPulses, IsPulse) and
//    the train turned into a digit by fixed rules or a periodic comb fit
//    (DetectPulseDigit).
//
// Digits go to OnDigitDetected with their time in ms since the stream's
// start, at once or held until a convincing digit confirms them. A run ends
// with OnDetectionEnd. In blocking mode the owner drives the run by calling
// ContinueDetect; in non-blocking mode a worker thread does, and the events
// reach the main thread through TThread::Synchronize.
//
// The analysis methods are public so that a workbench can run them on its
// own buffers. Positions passed to them are indices into those buffers.
// All working storage is allocated once at construction; a run allocates
// nothing. One lock guards every field; all working variables live in the
// object, so several detectors may run at once on different threads.
#pragma once

#include "rtl/Component.h"
#include "rtl/MultiReadExclusiveWriteSynchronizer.h"
#include "rtl/PublishedProperty.h"
#include "rtl/Thread.h"

#include <atomic>
#include <complex>
#include <functional>

// One held digit.
struct TDigitRecord {
    char Digit = ' ';
    bool IsDTMF = false;
    unsigned TimeTicks = 0;
    int BeginPosition = 0;
    int EndPosition = 0;
};

// One click of a pulse train; positions index the analysed buffer.
struct TPulse {
    int Start = 0;
    int Peak = 0;
    int End = 0;
    int GridPosition = 0;
    // -2: not searched (the next pulse followed within 700 samples);
    // -1: searched, no second click found.
    int MinorPosition = -2;
    int PeakDelta = 0;
    float MeanLevel = 0;
    bool OffGrid = false;
    bool OnPrimary = false;
    // Half size in pixels of the mark a signal view draws for the pulse.
    signed char MarkSize = 0;
};

using TDigitDetectedEvent =
    std::function<void(TComponent* Sender, char Digit, unsigned TimeTicks, bool IsDTMF)>;
using TSupplyBufferEvent = std::function<void(TComponent* Sender, short*& Buffer, int& Length,
                                              bool& IsLastBuffer, int Position)>;

class TDigitDetectorThread;

class TDigitDetector : public TComponent {
    friend class TDigitDetectorThread;

public:
    static constexpr int ChunkSamples = 80000;     // per-sample arrays, 10 s
    static constexpr int MinSupplySamples = 32000; // least non-last buffer, 4 s
    static constexpr int LevelSpareEntries = 2;    // searches read two past a stretch
    static constexpr int PulseListSize = 100;
    static constexpr int DigitRingSize = 100;
    static constexpr int PhaseScoreSize = 1100;
    static constexpr int SpectrumSize = 513; // 1-based, 512 points
    static constexpr unsigned EndMarkerTicks = 4294967295u;

    explicit TDigitDetector(TComponent* AOwner);
    ~TDigitDetector() override;

    static const TPublishedProperties& PublishedProperties();

    // Position accessors.
    void SetCurrentPosition(int Position);
    int GetCurrentPosition();
    unsigned GetCurrentTimeTicks();
    int GetDonePosition();

    // Published properties.
    bool GetBlocking();
    void SetBlocking(bool Value);
    bool GetIgnorePulseDigits();
    void SetIgnorePulseDigits(bool Value);
    TThreadPriority GetPriority();
    void SetPriority(TThreadPriority Value);

    // Events.
    void SetOnDigitDetected(TDigitDetectedEvent Handler);
    TDigitDetectedEvent GetOnDigitDetected();
    void SetDoSupplyBuffer(TSupplyBufferEvent Handler);
    TSupplyBufferEvent GetDoSupplyBuffer();
    void SetOnDetectionEnd(TNotifyEvent Handler);
    TNotifyEvent GetOnDetectionEnd();
    // Binds the three events to methods of an owner, as a stored form
    // binds them to its handlers.
    template <class T>
    void BindEvents(T* Owner, void (T::*DigitDetected)(TComponent*, char, unsigned, bool),
                    void (T::*SupplyBuffer)(TComponent*, short*&, int&, bool&, int),
                    void (T::*DetectionEnd)(TObject*)) {
        SetOnDigitDetected(
            [Owner, DigitDetected](TComponent* Sender, char Digit, unsigned Ticks, bool IsDTMF) {
                (Owner->*DigitDetected)(Sender, Digit, Ticks, IsDTMF);
            });
        SetDoSupplyBuffer([Owner, SupplyBuffer](TComponent* Sender, short*& Buffer, int& Length,
                                                bool& Last, int Position) {
            (Owner->*SupplyBuffer)(Sender, Buffer, Length, Last, Position);
        });
        SetOnDetectionEnd(
            [Owner, DetectionEnd](TObject* Sender) { (Owner->*DetectionEnd)(Sender); });
    }

    // Run control.
    bool BeginDetect(int StartPosition, unsigned StartTimeTicks, bool DoubtSinglePulse,
                     bool HoldDigits, bool ToneReleases);
    void EndDetect();
    bool ContinueDetect();
    int DecodeDialing();

    // Event delivery; the caller holds the write lock.
    void NotifyDigitDetected(char Digit, unsigned TimeTicks, bool IsDTMF);
    void NotifyDetectionEnd();

    // Tone recognition.
    void fft(std::complex<double>* Data, int Order);
    bool DetectTone(int& Begin, int& End, char& Digit, short* Samples,
                    std::complex<double>* Spectrum);

    // Pulse analysis.
    void ResetSampleParams();
    // The segment searches read the level array two entries past a stretch
    // that ends with the data: gives those spare entries the last level.
    static void FillLevelSpares(float* Levels, int Count);
    void GetSampleParams(unsigned short* Deltas, float* Levels, short* Samples, int Count);
    bool FindSoundSignal(int& Begin, int& End, int& PeakPosition, int& NextOnset, float* Levels,
                         unsigned short* Deltas, float Gain, float SilenceLevel, float OnsetCeiling,
                         float MinRise, float MinFall, bool Refine, float MinDeltaRatio,
                         float LevelPerSample, float DropPerSample, int MinLength, float MinDelta);
    bool IsGranulityValid(short* Samples, int Value1, int Value2, int Span);
    bool IsVibration(short* Samples, int Value1, int Value2, int Span);
    bool IsPulse(short* Samples, unsigned short* Deltas, int& PeakDelta, int& Begin, int& End,
                 int& PeakPosition, int Extra, bool FixedWindow, bool SeekPeak);
    bool ScanPulses(short* Samples, unsigned short* Deltas, float* Levels, int& Begin, int& End,
                    int MinPeakDelta, int FirstPeakDelta, int MaxGap, TPulse** Pulses,
                    int& PulseCount);
    bool DetectPulseDigit(int& Begin, int& End, char& Digit, bool& DoubtSinglePulse, int& Period,
                          int& PairSpacing, int& PulseCount, short* Samples, unsigned short* Deltas,
                          float* Levels, TPulse** Pulses, float* PhaseScores);
    // The decision of DetectPulseDigit on a pulse list as ScanPulses left
    // it (PulseCount entries of Pulses, in time order).
    bool ClassifyPulseTrain(int& Begin, int& End, char& Digit, bool& DoubtSinglePulse, int& Period,
                            int& PairSpacing, int& PulseCount, TPulse** Pulses, float* PhaseScores);

    // Read-only views of the working storage and the loudness statistics,
    // for a signal view and for tests.
    const unsigned short* GetDeltas() const { return FDeltas; }
    const float* GetLevels() const { return FLevels; }
    TPulse* const* GetPulses() const { return FPulses; }
    int GetPulseCount() const { return FPulseCount; }
    const float* GetPhaseScores() const { return FPhaseScores; }
    double GetStrongGain() const { return FStrongGain; }
    double GetQuietGain() const { return FQuietGain; }
    int GetCalibrationCount() const { return FCalibrationCount; }
    void SetCalibrationCount(int Value) { FCalibrationCount = Value; }
    double GetQuietSum() const { return FQuietSum; }
    int GetQuietCount() const { return FQuietCount; }
    double GetStrongSum() const { return FStrongSum; }
    int GetStrongCount() const { return FStrongCount; }
    int GetLastPeakPosition() const { return FLastPeakPosition; }
    void SetLastPeakPosition(int Value) { FLastPeakPosition = Value; }

private:
    // Steps of DecodeDialing; each returns false when the step has ended
    // early (a stop seen after a delivery) and the lock is already released.
    bool RunPass(bool IgnorePulse);
    bool HandlePulseDigit();
    bool HandleToneDigit();
    void DeliverThroughWorker(char Digit, unsigned TimeTicks, bool IsDTMF);
    void EndStepAfterStop();
    template <class Visit> void ForEachHeld(Visit&& Visitor);
    void SetDoneAtLeastRunStart(int Position);

    int FDonePosition;
    int FHeldCount;
    int FQuietCount = 1, FStrongCount = 1;
    int FCalibrationCount = 0;
    double FStrongSum = 0.2, FQuietSum = 0.01;
    bool FInDecode = false;
    bool FReleased = true;
    bool FPulseDigitSeen = false;
    bool FDoubtSinglePulse = false;
    // Read without the lock by ContinueDetect, hence atomic.
    std::atomic<bool> FStopped;
    bool FInSynchronize = false;
    bool FEndNotified;
    unsigned short* FDeltas;
    float* FLevels;
    float* FPhaseScores;
    TPulse** FPulses;
    TDigitRecord** FDigitRing;
    int FPulseCount;
    int FLastPeakPosition;
    std::complex<double>* FSpectrum;
    double FQuietGain = 20.0, FStrongGain = 1.5;
    bool FToneReleases = false;
    TDigitDetectorThread* FThread = nullptr;
    TMultiReadExclusiveWriteSynchronizer* FLock;
    unsigned FCurrentTimeTicks;
    int FCurrentPosition;
    bool FIgnorePulseDigits;
    std::atomic<bool> FBlocking;
    TThreadPriority FPriority;
    TDigitDetectedEvent FOnDigitDetected;
    TSupplyBufferEvent FDoSupplyBuffer;
    TNotifyEvent FOnDetectionEnd;

    // Set once destruction has begun: no handler of the owner runs after it.
    bool FDestroying = false;
    // Samples handed to the last GetSampleParams; IsPulse and the scanner
    // never read beyond them.
    int FAnalysedLength;
    // Where the current run started; the done position never lies before it.
    int FRunStartPosition = 0;
    // A click train longer than a chunk is rejected as a whole: while this is
    // set, a train that begins within JammedTrainGap samples of
    // FRejectedTrainEnd (absolute) continues it and is rejected too.
    bool FRejectingTrain = false;
    int FRejectedTrainEnd = 0;

    // Working variables of the driver, kept between steps.
    short* FSupplyBuffer = nullptr;
    int FSupplyLength = 0;
    bool FSupplyIsLast = false;
    bool FFinalChunk = false;
    int FChunkLength = 0;
    int FChunkPosition = 0;
    bool FChunkGoesOn = false;
    int FToneBegin = 0, FToneEnd = 0;
    char FToneDigit = ' ';
    bool FToneFound = false;
    int FPulseLimit = 0;
    int FPulseMargin = 0;
    int FPulseBegin = 0, FPulseEnd = 0;
    char FPulseDigit = ' ';
    bool FPulseFound = false;
    bool FPulseDoubt = false;
    int FPeriodOut = 0, FPairSpacingOut = 0;
};
