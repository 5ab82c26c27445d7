// Throughput of the detector's analyses and of whole blocking runs.
#include "DialSynth.h"
#include "DigitDetector.h"

#include <benchmark/benchmark.h>

#include <vector>

namespace {

std::vector<short> Synthesise(const std::string& Digits, const std::string& Kinds,
                              double NoiseDb = -60) {
    dialgen::RecordingSpec Spec;
    Spec.Digits = Digits;
    Spec.Kinds = Kinds;
    Spec.Line.NoiseDb = NoiseDb;
    auto Raw = dialgen::MakeRecording(Spec);
    return std::vector<short>(Raw.begin(), Raw.end());
}

void BM_DetectTone(benchmark::State& State) {
    std::vector<short> S = Synthesise("1234567890*#1234567890*#", "T");
    S.resize(80000, 0);
    TDigitDetector D(nullptr);
    std::vector<std::complex<double>> Spectrum(TDigitDetector::SpectrumSize);
    for (auto _ : State) {
        int Begin = 0;
        long Examined = 0;
        while (Begin < 80000 - 1024) {
            int End = 80000;
            char Digit = ' ';
            D.DetectTone(Begin, End, Digit, S.data(), Spectrum.data());
            Examined += End - Begin;
            Begin = End;
        }
        benchmark::DoNotOptimize(Examined);
    }
    State.SetItemsProcessed(State.iterations() * 80000);
    State.SetLabel("items = samples");
}
BENCHMARK(BM_DetectTone)->Unit(benchmark::kMillisecond);

void BM_GetSampleParams(benchmark::State& State) {
    std::vector<short> S = Synthesise("4711", "P", -40);
    S.resize(80000, 0);
    std::vector<unsigned short> Deltas(80000);
    std::vector<float> Levels(80002);
    TDigitDetector D(nullptr);
    for (auto _ : State) {
        D.ResetSampleParams();
        D.GetSampleParams(Deltas.data(), Levels.data(), S.data(), 80000);
        benchmark::DoNotOptimize(Levels.data());
    }
    State.SetItemsProcessed(State.iterations() * 80000);
    State.SetLabel("items = samples");
}
BENCHMARK(BM_GetSampleParams)->Unit(benchmark::kMillisecond);

// One call per train: a 0 (ten pulses, the comb fit) or a 3 (the rules).
void BM_DetectPulseDigit(benchmark::State& State) {
    std::vector<short> S = Synthesise(State.range(0) == 10 ? "0" : "3", "P");
    std::vector<unsigned short> Deltas(S.size());
    std::vector<float> Levels(S.size() + 2);
    TDigitDetector D(nullptr);
    D.ResetSampleParams();
    D.GetSampleParams(Deltas.data(), Levels.data(), S.data(), static_cast<int>(S.size()));
    std::vector<TPulse> Store(100);
    std::vector<TPulse*> Pulses;
    for (auto& P : Store)
        Pulses.push_back(&P);
    std::vector<float> Scores(1100);
    for (auto _ : State) {
        int Begin = 0, End = static_cast<int>(S.size()), Period = 0, Pair = 0, Count = 0;
        char Digit = ' ';
        bool Doubt = true;
        D.DetectPulseDigit(Begin, End, Digit, Doubt, Period, Pair, Count, S.data(), Deltas.data(),
                           Levels.data(), Pulses.data(), Scores.data());
        benchmark::DoNotOptimize(Digit);
    }
    State.SetItemsProcessed(State.iterations());
    State.SetLabel("items = trains");
}
BENCHMARK(BM_DetectPulseDigit)->Arg(3)->Arg(10)->Unit(benchmark::kMicrosecond);

// A blocking run over ten minutes of mixed dialling and silence, fed in
// 80000-sample buffers; the counter is how many times faster than real
// time it runs on one core.
void BM_BlockingRunTenMinutes(benchmark::State& State) {
    dialgen::LineParams Line;
    Line.NoiseDb = -60;
    dialgen::Synth Synth(Line);
    dialgen::ToneParams Tone;
    dialgen::PulseParams Pulse;
    for (int Digit = 0; Synth.Length() < 600 * 8000; ++Digit) {
        char C = static_cast<char>('0' + Digit % 10);
        if (Digit % 2)
            Synth.AddPulseDigit(C, Pulse);
        else
            Synth.AddToneDigit(C, Tone);
        if (Digit % 7 == 6)
            Synth.AddSilence(8000);
    }
    auto Raw = Synth.Render();
    std::vector<short> S(Raw.begin(), Raw.end());
    long Digits = 0;
    for (auto _ : State) {
        TDigitDetector D(nullptr);
        D.SetDoSupplyBuffer([&](TComponent*, short*& B, int& L, bool& Last, int P) {
            int Available = static_cast<int>(S.size()) - P;
            B = S.data() + P;
            L = std::min(80000, Available);
            Last = L == Available;
        });
        D.SetOnDigitDetected([&](TComponent*, char, unsigned, bool) { ++Digits; });
        D.BeginDetect(0, 0, true, true, true);
        while (D.ContinueDetect()) {
        }
    }
    double Seconds = static_cast<double>(S.size()) / 8000.0;
    State.counters["x_real_time"] = benchmark::Counter(
        Seconds * static_cast<double>(State.iterations()), benchmark::Counter::kIsRate);
    State.counters["digits"] =
        static_cast<double>(Digits) / static_cast<double>(State.iterations());
}
BENCHMARK(BM_BlockingRunTenMinutes)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace

BENCHMARK_MAIN();
