#include "Harness.h"

#include <gtest/gtest.h>

#include <random>

namespace {

using harness::AddSine;
using harness::Samples;
using harness::Silence;

struct ToneResult {
    bool Found;
    char Digit;
    int Begin;
    int End;
};

ToneResult Detect(Samples& S, int Begin, int End, char Initial = '?') {
    TDigitDetector D(nullptr);
    std::vector<std::complex<double>> Spectrum(TDigitDetector::SpectrumSize);
    ToneResult R{false, Initial, Begin, End};
    R.Found = D.DetectTone(R.Begin, R.End, R.Digit, S.data(), Spectrum.data());
    return R;
}

TEST(Fft, MatchesADirectTransformOnRandomInput) {
    TDigitDetector D(nullptr);
    std::mt19937 Rng(42);
    std::uniform_real_distribution<double> U(-1, 1);
    const int N = 512;
    std::vector<std::complex<double>> Data(N + 1), Input(N);
    for (int I = 0; I < N; ++I)
        Data[I + 1] = Input[I] = {U(Rng), U(Rng)};
    D.fft(Data.data(), 9);
    for (int K = 0; K < N; K += 7) {
        std::complex<double> Sum = 0;
        for (int I = 0; I < N; ++I)
            Sum += Input[I] * std::polar(1.0, -2 * M_PI * K * I / N);
        EXPECT_NEAR(Data[K + 1].real(), Sum.real(), 1e-9) << K;
        EXPECT_NEAR(Data[K + 1].imag(), Sum.imag(), 1e-9) << K;
    }
}

TEST(DetectTone, TooShortStretchExaminesNothing) {
    Samples S = Silence(2000);
    ToneResult R = Detect(S, 0, 1023, 'q');
    EXPECT_FALSE(R.Found);
    EXPECT_EQ(R.Digit, 'q');
    EXPECT_EQ(R.Begin, 0);
    EXPECT_EQ(R.End, 1023);
}

TEST(DetectTone, SilenceIsBlankAndEndsWhereTheSearchStopped) {
    Samples S = Silence(6144);
    // 1024 samples: windows at 0 and 256, stopping at 512.
    for (auto [End, Stop] : {std::pair{1024, 512}, {6144, 5632}, {1100, 768}}) {
        ToneResult R = Detect(S, 0, End);
        EXPECT_TRUE(R.Found);
        EXPECT_EQ(R.Digit, ' ');
        EXPECT_EQ(R.Begin, 0);
        EXPECT_EQ(R.End, Stop) << End;
    }
}

TEST(DetectTone, PairFromTheExampleGivesOneWithItsWindows) {
    Samples S = Silence(6144);
    AddSine(S, 697, 8000, 2048, 4096);
    AddSine(S, 1209, 8000, 2048, 4096);
    ToneResult R = Detect(S, 0, 6144);
    EXPECT_TRUE(R.Found);
    EXPECT_EQ(R.Digit, '1');
    EXPECT_EQ(R.Begin, 1792);
    EXPECT_EQ(R.End, 4096);
}

TEST(DetectTone, EveryKeyAtItsNominalFrequencies) {
    const char* Keys = "123456789*0#";
    const double Low[] = {697, 697, 697, 770, 770, 770, 852, 852, 852, 941, 941, 941};
    const double High[] = {1209, 1336, 1477, 1209, 1336, 1477, 1209, 1336, 1477, 1209, 1336, 1477};
    for (int K = 0; K < 12; ++K) {
        Samples S = Silence(8000);
        AddSine(S, Low[K], 6000, 2000, 3200);
        AddSine(S, High[K], 7000, 2000, 3200);
        ToneResult R = Detect(S, 0, 8000);
        EXPECT_TRUE(R.Found) << Keys[K];
        EXPECT_EQ(R.Digit, Keys[K]);
    }
}

TEST(DetectTone, KeyInOneWindowOnlyGivesNoDigit) {
    Samples S = Silence(4096);
    AddSine(S, 770, 12000, 0, 256); // only the window at 0 hears it
    AddSine(S, 1336, 12000, 0, 256);
    ToneResult R = Detect(S, 0, 4096);
    EXPECT_TRUE(R.Found);
    EXPECT_EQ(R.Digit, ' ');
}

TEST(DetectTone, KeyRunningToTheEndOfTheStretchIsPending) {
    Samples S = Silence(6000);
    AddSine(S, 852, 8000, 3000, 6000);
    AddSine(S, 1477, 8000, 3000, 6000);
    ToneResult R = Detect(S, 0, 6000);
    EXPECT_FALSE(R.Found);
    EXPECT_EQ(R.Digit, '9');
    EXPECT_EQ(R.Begin, 2816) << "the first window that heard it";
    EXPECT_EQ(R.End, 6000);
}

TEST(DetectTone, SingleLowToneAndItsCompanyOfAPair) {
    Samples Alone = Silence(6000);
    AddSine(Alone, 425, 10000, 1000, 4000);
    EXPECT_EQ(Detect(Alone, 0, 6000).Digit, '.');

    Samples WithPair = Silence(6000);
    AddSine(WithPair, 425, 8000, 1000, 4000);
    AddSine(WithPair, 941, 8000, 1000, 4000);
    AddSine(WithPair, 1336, 8000, 1000, 4000);
    char Digit = Detect(WithPair, 0, 6000).Digit;
    EXPECT_NE(Digit, '.');
    EXPECT_TRUE(Digit == '0' || Digit == ' ') << Digit;
}

TEST(DetectTone, RejectedSpectra) {
    struct Case {
        const char* Name;
        std::vector<std::pair<double, double>> Tones; // Hz, amplitude
    };
    const Case Cases[] = {
        {"four peaks", {{500, 6000}, {1000, 6000}, {2000, 6000}, {3000, 6000}}},
        {"fourth column 1633 Hz", {{697, 9000}, {1633, 9000}}},
        // Bin-centred tones whose bin powers stay under the 300.0 floor.
        {"below the floor", {{687.5, 1966}, {1218.75, 1966}}},
    };
    for (const Case& C : Cases) {
        Samples S = Silence(6000);
        for (auto [Hz, Amplitude] : C.Tones)
            AddSine(S, Hz, Amplitude, 1000, 4000);
        ToneResult R = Detect(S, 0, 6000);
        EXPECT_TRUE(R.Found) << C.Name;
        EXPECT_EQ(R.Digit, ' ') << C.Name;
    }
    Samples Louder = Silence(6000);
    AddSine(Louder, 687.5, 2700, 1000, 4000);
    AddSine(Louder, 1218.75, 2700, 1000, 4000);
    EXPECT_EQ(Detect(Louder, 0, 6000).Digit, '1') << "just above the floor";
}

TEST(DetectTone, ChangeFromOneKeyStraightToAnotherEndsTheFirst) {
    Samples S = Silence(8000);
    AddSine(S, 697, 8000, 1000, 3000);
    AddSine(S, 1209, 8000, 1000, 3000);
    AddSine(S, 770, 8000, 3000, 5000);
    AddSine(S, 1336, 8000, 3000, 5000);
    ToneResult R = Detect(S, 0, 8000);
    EXPECT_TRUE(R.Found);
    EXPECT_EQ(R.Digit, '1');
    ToneResult Next = Detect(S, R.End, 8000);
    EXPECT_EQ(Next.Digit, '5');
}

} // namespace
