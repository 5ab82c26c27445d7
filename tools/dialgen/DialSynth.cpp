#include "DialSynth.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>

#include <unistd.h>

namespace dialgen {

namespace {

constexpr double TwoPi = 6.283185307179586;
constexpr double NoneBelowDb = -150.0;

double Amplitude(double Db) {
    return std::pow(10.0, Db / 20.0);
}
int MsToSamples(double Ms) {
    return static_cast<int>(std::lround(Ms * SampleRate / 1000.0));
}

} // namespace

bool KeyFrequencies(char Key, double& LowHz, double& HighHz) {
    static const char* const Rows[4] = {"123A", "456B", "789C", "*0#D"};
    static const double Low[4] = {697, 770, 852, 941};
    static const double High[4] = {1209, 1336, 1477, 1633};
    for (int R = 0; R < 4; ++R)
        for (int C = 0; C < 4; ++C)
            if (Rows[R][C] == Key) {
                LowHz = Low[R];
                HighHz = High[C];
                return true;
            }
    return false;
}

Synth::Synth(const LineParams& Line)
    : FLine(Line), FRandomState(0x9E3779B97F4A7C15ull ^ (std::uint64_t(Line.Seed) << 1 | 1)) {
    Grow(MsToSamples(std::max(0, Line.LeadMs)));
}

void Synth::Grow(int Samples) {
    if (Samples > 0)
        FMix.resize(FMix.size() + static_cast<size_t>(Samples), 0.0);
}

// xorshift64*: the same stream of numbers on every platform and library.
double Synth::NextUniform() {
    FRandomState ^= FRandomState >> 12;
    FRandomState ^= FRandomState << 25;
    FRandomState ^= FRandomState >> 27;
    std::uint64_t R = FRandomState * 2685821657736338717ull;
    return (static_cast<double>(R >> 11) + 0.5) * (1.0 / 9007199254740992.0);
}

void Synth::AddSilence(int Ms) {
    Grow(MsToSamples(std::max(0, Ms)));
}

bool Synth::AddToneDigit(char Key, const ToneParams& Params) {
    double LowHz, HighHz;
    if (!KeyFrequencies(Key, LowHz, HighHz))
        return false;
    const double Scale = 1.0 + Params.DeviationPercent / 100.0;
    const double LowAmp = Amplitude(Params.LowLevelDb), HighAmp = Amplitude(Params.HighLevelDb);
    const int Begin = Length();
    const int Samples = MsToSamples(Params.ToneMs);
    Grow(Samples);
    for (int N = 0; N < Samples; ++N) {
        double T = static_cast<double>(N) / SampleRate;
        FMix[Begin + N] += LowAmp * std::sin(TwoPi * LowHz * Scale * T) +
                           HighAmp * std::sin(TwoPi * HighHz * Scale * T);
    }
    FEvents.push_back({Key, true, Begin, Begin + Samples});
    AddSilence(Params.PauseMs);
    return true;
}

void Synth::AddSingleTone(double Hz, int Ms, double LevelDb) {
    const double Amp = Amplitude(LevelDb);
    const int Begin = Length();
    const int Samples = MsToSamples(Ms);
    Grow(Samples);
    for (int N = 0; N < Samples; ++N)
        FMix[Begin + N] += Amp * std::sin(TwoPi * Hz * N / SampleRate);
}

void Synth::AddClickAt(int Sample, double LevelDb, double DecayMs, double SwingHz, int Polarity) {
    const double Amp = Amplitude(LevelDb) * Polarity;
    const double Tau = std::max(DecayMs, 0.05) * SampleRate / 1000.0;
    // Long enough for the decay to fall under a thousandth of the step.
    const int Samples = static_cast<int>(std::ceil(Tau * 7.0)) + 1;
    if (Sample < 0)
        return;
    if (Sample + Samples > Length())
        Grow(Sample + Samples - Length());
    for (int N = 0; N < Samples; ++N)
        FMix[Sample + N] += Amp * std::exp(-N / Tau) * std::cos(TwoPi * SwingHz * N / SampleRate);
}

bool Synth::AddPulseDigit(char Digit, const PulseParams& Params) {
    if (Digit < '0' || Digit > '9' || Params.PulsesPerSecond <= 0)
        return false;
    const int Pulses = Digit == '0' ? 10 : Digit - '0';
    const double Period = SampleRate / Params.PulsesPerSecond;
    const double Break = Period * Params.BreakPercent / 100.0;
    const int Start = Length();
    int FirstClick = -1, LastMake = Start;
    for (int K = 0; K < Pulses; ++K) {
        double Jitter = (NextUniform() * 2.0 - 1.0) * Params.JitterPercent / 100.0 * Period;
        int BreakAt = Start + static_cast<int>(std::lround(K * Period + Jitter));
        int MakeAt = BreakAt + static_cast<int>(std::lround(Break));
        AddClickAt(BreakAt, Params.ClickLevelDb, Params.DecayMs, Params.SwingHz, +1);
        if (Params.SecondClickRatio > 0)
            AddClickAt(MakeAt, Params.ClickLevelDb + 20.0 * std::log10(Params.SecondClickRatio),
                       Params.DecayMs, Params.SwingHz, -1);
        if (FirstClick < 0)
            FirstClick = BreakAt;
        LastMake = MakeAt;
    }
    // The digit ends with the last make; the timeline runs on to the end of
    // its last period before the inter-digit pause.
    const int PeriodEnd = Start + static_cast<int>(std::lround(Pulses * Period));
    if (PeriodEnd > Length())
        Grow(PeriodEnd - Length());
    FEvents.push_back({Digit, false, FirstClick, LastMake});
    AddSilence(Params.InterDigitMs);
    return true;
}

std::vector<std::int16_t> Synth::Render() const {
    std::vector<double> Mix = FMix;
    Mix.resize(Mix.size() + static_cast<size_t>(MsToSamples(std::max(0, FLine.TrailMs))), 0.0);
    Synth Noise(FLine); // a fresh generator: the noise depends on the seed only
    const double NoiseRms = FLine.NoiseDb > NoneBelowDb ? Amplitude(FLine.NoiseDb) : 0.0;
    const double HumAmp = FLine.HumDb > NoneBelowDb ? Amplitude(FLine.HumDb) : 0.0;
    const double Gain = Amplitude(FLine.GainDb);
    std::vector<std::int16_t> Out(Mix.size());
    for (size_t N = 0; N < Mix.size(); ++N) {
        double X = Mix[N];
        if (NoiseRms > 0) {
            // Box-Muller from two uniforms: Gaussian noise of the given RMS.
            double U1 = Noise.NextUniform(), U2 = Noise.NextUniform();
            X += NoiseRms * std::sqrt(-2.0 * std::log(U1)) * std::cos(TwoPi * U2);
        }
        if (HumAmp > 0)
            X += HumAmp * std::sin(TwoPi * FLine.HumHz * static_cast<double>(N) / SampleRate);
        double Scaled = std::round(X * Gain * 32767.0);
        Out[N] = static_cast<std::int16_t>(std::clamp(Scaled, -32768.0, 32767.0));
    }
    return Out;
}

std::vector<std::int16_t> MakeRecording(const RecordingSpec& Spec,
                                        std::vector<DigitEvent>* Events) {
    Synth S(Spec.Line);
    for (size_t I = 0; I < Spec.Digits.size(); ++I) {
        char Kind =
            I < Spec.Kinds.size() ? Spec.Kinds[I] : (Spec.Kinds.empty() ? 'T' : Spec.Kinds.back());
        if (Kind == 'P' || Kind == 'p')
            S.AddPulseDigit(Spec.Digits[I], Spec.Pulse);
        else
            S.AddToneDigit(Spec.Digits[I], Spec.Tone);
    }
    if (Events)
        *Events = S.Events();
    return S.Render();
}

std::string RecordName(const std::string& Prefix, const std::string& Digits,
                       const std::string& Suffix) {
    return Prefix + "_" + Digits + "_" + Suffix + ".raw";
}

bool WriteRaw(const std::string& Path, const std::vector<std::int16_t>& Samples,
              std::string& Error) {
    const std::string Temporary = Path + ".part" + std::to_string(::getpid());
    {
        std::ofstream Out(Temporary, std::ios::binary | std::ios::trunc);
        if (!Out) {
            Error = "cannot create " + Temporary + ": " + std::strerror(errno);
            return false;
        }
        std::vector<unsigned char> Bytes(Samples.size() * 2);
        for (size_t N = 0; N < Samples.size(); ++N) {
            auto U = static_cast<std::uint16_t>(Samples[N]);
            Bytes[2 * N] = static_cast<unsigned char>(U & 0xFF);
            Bytes[2 * N + 1] = static_cast<unsigned char>(U >> 8);
        }
        Out.write(reinterpret_cast<const char*>(Bytes.data()),
                  static_cast<std::streamsize>(Bytes.size()));
        Out.flush();
        if (!Out) {
            Error = "cannot write " + Temporary + ": " + std::strerror(errno);
            Out.close();
            std::remove(Temporary.c_str());
            return false;
        }
    }
    if (std::rename(Temporary.c_str(), Path.c_str()) != 0) {
        Error = "cannot rename " + Temporary + " to " + Path + ": " + std::strerror(errno);
        std::remove(Temporary.c_str());
        return false;
    }
    return true;
}

RecordingSpec RandomSpec(std::uint32_t Seed) {
    LineParams SeedLine;
    SeedLine.Seed = Seed * 2654435761u + 12345u;
    Synth Dice(SeedLine);
    auto Uniform = [&Dice](double Low, double High) {
        return Low + (High - Low) * Dice.NextUniform();
    };
    auto Integer = [&](int Low, int High) {
        return std::min(High, Low + static_cast<int>(Dice.NextUniform() * (High - Low + 1)));
    };
    static const char ToneKeys[] = "0123456789*#";
    RecordingSpec Spec;
    const int Mode = Integer(0, 2); // tone, pulse, mixed
    const int Count = Integer(3, 8);
    for (int I = 0; I < Count; ++I) {
        bool Pulse = Mode == 1 || (Mode == 2 && Integer(0, 1) == 1);
        Spec.Kinds += Pulse ? 'P' : 'T';
        Spec.Digits += Pulse ? static_cast<char>('0' + Integer(0, 9)) : ToneKeys[Integer(0, 11)];
    }
    Spec.Tone.LowLevelDb = Uniform(-16, -6);
    Spec.Tone.HighLevelDb = Spec.Tone.LowLevelDb + Uniform(-2, 4); // twist
    Spec.Tone.DeviationPercent = Uniform(-1.5, 1.5);
    Spec.Tone.ToneMs = Integer(100, 200);
    Spec.Tone.PauseMs = Integer(100, 200);
    Spec.Pulse.PulsesPerSecond = Uniform(9, 11);
    Spec.Pulse.BreakPercent = Uniform(55, 70);
    Spec.Pulse.InterDigitMs = Integer(600, 1000);
    Spec.Pulse.ClickLevelDb = Uniform(-8, -1);
    Spec.Pulse.DecayMs = Uniform(1.0, 2.5);
    Spec.Pulse.SwingHz = Uniform(60, 200);
    Spec.Pulse.SecondClickRatio = Uniform(0.2, 0.5);
    Spec.Pulse.JitterPercent = Uniform(0, 1.5);
    Spec.Line.NoiseDb = Uniform(-75, -55);
    Spec.Line.HumDb = Uniform(-70, -55);
    Spec.Line.HumHz = Integer(0, 1) ? 60 : 50;
    Spec.Line.LeadMs = Integer(200, 1500);
    Spec.Line.TrailMs = Integer(500, 1500);
    Spec.Line.Seed = Seed;
    return Spec;
}

} // namespace dialgen
