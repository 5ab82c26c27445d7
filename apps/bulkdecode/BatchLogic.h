// TBatchLogic: the batch workbench's model and logic, shared by the window
// and the command line. It runs a detector over recordings whose file
// names carry the dialled digits, hands out buffers of pseudo-random
// length, compares detected with dialled digits and logs matches and
// mismatch blocks; after a batch it computes the last recording's deltas
// and levels and offers the detector's analysis methods step by step.
//
// The members below are the workbench's state as its window and signal
// view read it; TBatchDisplay is how the logic shows things.
#pragma once

#include "DigitDetector.h"

#include <complex>
#include <string>
#include <vector>

// What the logic needs from a front end. The window maps these onto its
// widgets; the command line onto standard output.
class TBatchDisplay {
public:
    virtual ~TBatchDisplay() = default;
    virtual void AddLine(const std::string& Line) = 0;
    virtual void ClearLog() = 0;
    virtual void SetDialed(const std::string& Digits) = 0;   // Label1
    virtual void SetDetected(const std::string& Digits) = 0; // Label13
    // Label3, Label4, Label5; all empty to clear.
    virtual void ShowDigit(const std::string& Digit, const std::string& Time,
                           const std::string& Type) = 0;
    virtual int GetScrollPosition() = 0;
    // Clamped to the scroll range; the window repaints and marks the view
    // moved when the position changes.
    virtual void SetScrollPosition(int Position) = 0;
    virtual void SetScrollMax(int Max) = 0;
    virtual void UpdateViewRange() = 0;
    virtual void Repaint() = 0;
    virtual void ProcessDisplay() {}
    virtual void Beep() = 0;
    virtual void ShowMessage(const std::string& Text) = 0;
    virtual bool Confirm(const std::string& Text, const std::string& Caption) = 0;
    // BTOpen, BTStop, GroupBox1.
    virtual void SetControls(bool OpenEnabled, bool StopEnabled, bool StepsEnabled) = 0;
    virtual bool ConfirmEachStep() = 0; // CBConfirm
    virtual void FileStarted(int /*Index*/, int /*Count*/, const std::string& /*FileName*/) {}
};

class TBatchLogic : public TComponent {
public:
    static constexpr int MaxSamples = 6400000; // 800 s
    static constexpr int MaxBytes = 2 * MaxSamples;
    static constexpr int SupplyBase = 85000, SupplySpread = 5000;

    TBatchLogic(TComponent* AOwner, TBatchDisplay* Display);
    ~TBatchLogic() override;

    // Splits the file's own name (after the last '/') into RecordName (no
    // extension) and DialedDigits (between the last two underscores).
    static void ParseRecordName(const std::string& FileName, std::string& RecordName,
                                std::string& DialedDigits);

    // Open Files after the dialog. In blocking mode the whole batch runs
    // before this returns; otherwise it runs through the detector's events.
    void RunBatch(const std::vector<std::string>& Files);
    void Stop();
    bool IsRunning() const { return Running; }
    bool AnyMismatch() const { return Mismatches > 0; }
    bool OpenFailed() const { return FailedToOpen; }

    void SetBlocking(bool Value);
    void SetPriority(TThreadPriority Value);

    // The detector's three events.
    void DigitDetector1DoSupplyBuffer(TComponent* Sender, short*& Buffer, int& Length,
                                      bool& IsLastBuffer, int Position);
    void DigitDetector1DigitDetected(TComponent* Sender, char Digit, unsigned TimeTicks,
                                     bool IsDTMF);
    void DigitDetector1DetectionEnd(TObject* Sender);

    // Stepping commands over the last recording.
    enum TPulseCommand { FirstPulse, NextPulse, NextMinor, LastPulse };
    bool StepPulse(TPulseCommand Command);
    bool NextDigit();
    void AllPulseDigits();
    void AllToneDigits();
    // The coefficient text; false (value unchanged) when it is no number.
    bool SetCoefficientText(const std::string& Text, std::string& Error);
    float Coefficient() const { return Multiply ? AmplitudeCoef : 1.0f; }

    TDigitDetector* DigitDetector1;
    std::vector<std::string> SelectedFiles; // OpenDialog1's list

    // The form's members.
    float* PhaseScores;
    TPulse** Pulses;
    int StepBegin = 0, StepEnd = 0;
    int PulseCount = 0;
    int NextOnset = 0;
    std::complex<double>* Spectrum;
    bool ViewMoved = false;
    float AmplitudeScale = 1.0f;
    float SamplesPerPixel = 8.0f;
    int ViewStart = 0, ViewEnd = 3000;
    int CursorPosition = 0;
    int SelectionStart = -1, SelectionEnd = -1;
    short* Samples;
    unsigned short* Deltas;
    float* Levels;
    int SampleCount = 0;
    std::string RecordName;
    std::string FileName;
    std::string DialedDigits;
    int FileIndex = 0;
    float AmplitudeCoef = 2.0f;
    std::string SupplyLog;

    std::string DetectedDigits; // Label13
    bool Multiply = false;      // CBNormalized

private:
    bool StartFile();
    void CompleteBatch();
    void ScrollTo(int Position);

    TBatchDisplay* FDisplay;
    bool Running = false;
    bool FailedToOpen = false;
    int Mismatches = 0;
};
