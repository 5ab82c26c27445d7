// Synthesiser of telephone-line recordings for tests, benchmarks and samples.
//
// A recording is built as a sequence of events on a timeline of 8000
// samples per second: touch-tone digits (two sines, each at its own level),
// single tones (dial tone), rotary pulse digits, and silence. Rendering adds
// the line: seeded white noise, mains hum, an overall gain and clipping at
// full scale, and returns 16-bit samples.
//
// A rotary digit is a train of loop breaks. Each break leaves a strong click
// on the line, each make (the end of the break) a weaker one: a sharp step
// that decays within a few milliseconds, with a slow swing (far below
// 400 Hz) instead of a ringing tone, as a line recording shows them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace dialgen {

constexpr int SampleRate = 8000;

struct ToneParams {
    double LowLevelDb = -10.0;   // dBFS of the row tone (sine peak)
    double HighLevelDb = -8.0;   // dBFS of the column tone
    double DeviationPercent = 0; // both frequencies off by this much
    int ToneMs = 100;
    int PauseMs = 100; // silence after the digit
};

struct PulseParams {
    double PulsesPerSecond = 10.0;
    double BreakPercent = 60.0;    // part of each period the loop is open
    int InterDigitMs = 700;        // silence after the digit
    double ClickLevelDb = -6.0;    // dBFS of the break click's step
    double DecayMs = 1.5;          // time constant of a click's decay
    double SwingHz = 120.0;        // slow swing of a click
    double SecondClickRatio = 0.3; // make click relative to the break click
    double JitterPercent = 0.0;    // random timing error of each pulse, of a period
};

struct LineParams {
    double NoiseDb = -70.0; // dBFS RMS of white noise; below -150 means none
    double HumDb = -200.0;  // dBFS peak of mains hum; below -150 means none
    int HumHz = 50;
    double GainDb = 0.0; // applied to everything before clipping
    int LeadMs = 500;    // silence before the first event
    int TrailMs = 1000;  // silence after the last event
    std::uint32_t Seed = 1;
};

// What the synthesiser put where: one entry per digit.
struct DigitEvent {
    char Digit;
    bool IsTone;
    int BeginSample; // first sample of the tone, or of the first break click
    int EndSample;
};

class Synth {
public:
    explicit Synth(const LineParams& Line);

    // Each returns false (and adds nothing) for a character it cannot make.
    bool AddToneDigit(char Key, const ToneParams& Params);
    bool AddPulseDigit(char Digit, const PulseParams& Params);
    void AddSingleTone(double Hz, int Ms, double LevelDb);
    void AddSilence(int Ms);
    // A click at the current end of the timeline, without advancing it.
    void AddClickAt(int Sample, double LevelDb, double DecayMs, double SwingHz, int Polarity);

    int Length() const { return static_cast<int>(FMix.size()); }
    const std::vector<DigitEvent>& Events() const { return FEvents; }
    // Adds lead and trail silence and the line, clips, quantises.
    std::vector<std::int16_t> Render() const;

    // The synthesiser's own seeded generator: uniform in (0, 1).
    double NextUniform();

private:
    void Grow(int Samples);

    LineParams FLine;
    std::vector<double> FMix; // in full-scale units, after the lead silence
    std::vector<DigitEvent> FEvents;
    std::uint64_t FRandomState;
};

// Frequencies of a touch-tone key (0-9, *, #, A-D); false for others.
bool KeyFrequencies(char Key, double& LowHz, double& HighHz);

// Builds a whole recording: Digits dialled as Kinds says per digit ('T'
// tone, 'P' pulse; empty: all Mode), with the given parameters.
struct RecordingSpec {
    std::string Digits;
    std::string Kinds;
    ToneParams Tone;
    PulseParams Pulse;
    LineParams Line;
};
std::vector<std::int16_t> MakeRecording(const RecordingSpec& Spec,
                                        std::vector<DigitEvent>* Events = nullptr);

// "prefix_digits_suffix.raw".
std::string RecordName(const std::string& Prefix, const std::string& Digits,
                       const std::string& Suffix);

// Writes little-endian 16-bit samples to Path through a temporary file in the
// same folder, so that a failure never leaves a partial recording. Returns
// false with a reason in Error.
bool WriteRaw(const std::string& Path, const std::vector<std::int16_t>& Samples,
              std::string& Error);

// Random digits and parameters over the documented corpus ranges.
RecordingSpec RandomSpec(std::uint32_t Seed);

} // namespace dialgen
