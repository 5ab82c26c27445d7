#include "Harness.h"

#include <gtest/gtest.h>

namespace {

// Level and delta arrays with a triangular hump: silent at 100, rising by 4
// a sample to 20 at 105, falling by 0.5 a sample; one delta at 120.
struct Stretch {
    std::vector<float> L = std::vector<float>(602, 0.0f);
    std::vector<unsigned short> D = std::vector<unsigned short>(602, 0);
    void Hump(int At, unsigned short Delta) {
        for (int K = 1; K <= 5; ++K)
            L[At + K] = 4.0f * K;
        for (int K = 1; K <= 40; ++K)
            L[At + 5 + K] = 20.0f - 0.5f * K;
        D[At + 20] = Delta;
    }
};

struct Found {
    bool Ok;
    int Begin, End, Peak, Next;
};

Found Search(Stretch& S, int Begin, int End, float MinRise = 0.5f, bool Refine = false,
             int MinLength = 40, float MinDelta = 10000) {
    TDigitDetector D(nullptr);
    Found F{false, Begin, End, -7, -7};
    F.Ok = D.FindSoundSignal(F.Begin, F.End, F.Peak, F.Next, S.L.data(), S.D.data(), 1.0f, 3, 12,
                             MinRise, 0.25f, Refine, 500, 0.1f, 0.1f, MinLength, MinDelta);
    return F;
}

TEST(FindSoundSignal, SilentAndLoudStretchesHoldNoSegment) {
    Stretch Silent;
    Found F = Search(Silent, 10, 600);
    EXPECT_FALSE(F.Ok);
    EXPECT_EQ(F.Begin, 600);
    EXPECT_EQ(F.End, 600);
    EXPECT_EQ(F.Peak, -7) << "not written";
    EXPECT_EQ(F.Next, -1);

    Stretch Loud;
    std::fill(Loud.L.begin(), Loud.L.end(), 50.0f);
    std::fill(Loud.D.begin(), Loud.D.end(), 30000);
    EXPECT_FALSE(Search(Loud, 10, 600).Ok);
}

TEST(FindSoundSignal, ClickSegmentAndItsBoundaries) {
    Stretch S;
    S.Hump(100, 12000);
    Found F = Search(S, 0, 600);
    ASSERT_TRUE(F.Ok);
    EXPECT_EQ(F.Begin, 100);
    EXPECT_EQ(F.End, 141) << "first position back under the rising line";
    EXPECT_EQ(F.Peak, 120);
    EXPECT_EQ(F.Next, -1);

    // A segment of exactly MinLength samples is not taken at that length.
    Found Longer = Search(S, 0, 600, 0.5f, false, 41);
    ASSERT_TRUE(Longer.Ok);
    EXPECT_EQ(Longer.End, 142);

    // The delta floor: 9999 is below 10000 and the onset is given up.
    Stretch Weak;
    Weak.Hump(100, 9999);
    EXPECT_FALSE(Search(Weak, 0, 600).Ok);
    Weak.D[120] = 10000;
    EXPECT_TRUE(Search(Weak, 0, 600).Ok);
}

TEST(FindSoundSignal, NextOnsetNeedsAStrictlyGreaterRise) {
    Stretch S;
    S.Hump(100, 12000);
    S.Hump(300, 12000);
    // Rises of exactly 8 over two samples: enough for the segment...
    Found AtRise = Search(S, 0, 600, 8.0f);
    ASSERT_TRUE(AtRise.Ok);
    EXPECT_EQ(AtRise.Begin, 100);
    EXPECT_EQ(AtRise.Next, -1) << "...but not for the next onset";
    Found BelowRise = Search(S, 0, 600, 7.5f);
    EXPECT_EQ(BelowRise.Next, 300);
}

TEST(FindSoundSignal, RefinementStaysInsideTheGrownSegment) {
    Stretch S;
    S.Hump(100, 12000);
    Found F = Search(S, 0, 600, 0.5f, true);
    ASSERT_TRUE(F.Ok);
    EXPECT_GE(F.Begin, 100);
    EXPECT_LE(F.End, 141);
    EXPECT_EQ(F.Peak, 120);
}

TEST(PulseTests, GranularityAndVibrationBoundaries) {
    TDigitDetector D(nullptr);
    struct Case {
        int V1, V2, Span;
        bool Granular, Vibration;
    };
    const Case Cases[] = {
        {100, 132, 5, false, false}, {100, 133, 1, false, false}, {100, 133, 2, true, false},
        {0, 1025, 8, true, false},   {0, 1032, 8, true, true},    {0, 1032, 11, true, false},
        {0, 1024, 2, true, false},   {0, 40000, 4, true, false},  {0, 5000, 0, false, false},
    };
    for (const Case& C : Cases) {
        EXPECT_EQ(D.IsGranulityValid(nullptr, C.V1, C.V2, C.Span), C.Granular)
            << C.V1 << " " << C.V2 << " " << C.Span;
        EXPECT_EQ(D.IsVibration(nullptr, C.V1, C.V2, C.Span), C.Vibration)
            << C.V1 << " " << C.V2 << " " << C.Span;
    }
}

// A click at 20 that falls slowly until Vibrate - 1, then a fast +-5000
// oscillation of 4-sample half-swings: slow swing 'Vibrate - 21' samples.
struct Waveform {
    std::vector<short> S = std::vector<short>(600, 0);
    std::vector<unsigned short> D = std::vector<unsigned short>(600, 0);
    explicit Waveform(int Vibrate) {
        for (int K = 20; K <= 60; ++K)
            S[K] = static_cast<short>(8000 - 200 * (K - 20));
        for (int K = Vibrate; K < 600; ++K)
            S[K] = ((K - Vibrate) / 4) % 2 == 0 ? 5000 : -5000;
        D[50] = 20000;
    }
};

TEST(IsPulse, ExtraOutsideSixtyToHundredBecomesEighty) {
    struct Case {
        int Vibrate, Extra;
        bool Pulse;
    };
    // Slow swing 120 beats 108 samples of vibration (Extra 60) but not 128
    // (Extra 80); slow swing 129 beats 120 (80) but not 140 (100).
    const Case Cases[] = {{141, 60, true},   {141, 50, false}, {141, 80, false},
                          {150, 100, false}, {150, 120, true}, {150, 80, true}};
    for (const Case& C : Cases) {
        TDigitDetector Detector(nullptr);
        Waveform W(C.Vibrate);
        int Peak = 10000, Begin = 0, End = 200, Position = -9;
        EXPECT_EQ(Detector.IsPulse(W.S.data(), W.D.data(), Peak, Begin, End, Position, C.Extra,
                                   false, false),
                  C.Pulse)
            << "vibrate " << C.Vibrate << " extra " << C.Extra;
        EXPECT_EQ(Peak, 20000);
        EXPECT_EQ(Position, -9) << "written only with SeekPeak";
    }
}

TEST(IsPulse, WindowRules) {
    TDigitDetector D(nullptr);
    Waveform W(400);
    int Peak = 10000, Begin = 0, End = 601, Position = -9;
    EXPECT_FALSE(D.IsPulse(W.S.data(), W.D.data(), Peak, Begin, End, Position, 80, false, true));
    EXPECT_EQ(Begin, 0);
    EXPECT_EQ(Peak, 10000) << "nothing written";

    Begin = 0, End = 241;
    D.IsPulse(W.S.data(), W.D.data(), Peak, Begin, End, Position, 80, false, true);
    EXPECT_EQ(Begin, 1) << "SeekPeak keeps the last 240 samples";

    Begin = 0, End = 321, Peak = 10000;
    EXPECT_FALSE(D.IsPulse(W.S.data(), W.D.data(), Peak, Begin, End, Position, 80, false, false));

    Begin = 10, End = 500, Peak = 10000;
    D.IsPulse(W.S.data(), W.D.data(), Peak, Begin, End, Position, 80, true, false);
    EXPECT_EQ(End, 130) << "a fixed window is 120 samples";

    Begin = 0, End = 200, Peak = 10000;
    D.SetLastPeakPosition(0);
    EXPECT_TRUE(D.IsPulse(W.S.data(), W.D.data(), Peak, Begin, End, Position, 80, false, true));
    EXPECT_EQ(Position, 50);
    EXPECT_EQ(D.GetLastPeakPosition(), 50) << "kept for the next call";
}

TEST(IsPulse, ReadsStopAtTheEndOfTheAnalysedData) {
    TDigitDetector D(nullptr);
    std::vector<short> S(300, 0);
    std::vector<unsigned short> Deltas(300, 0);
    std::vector<float> Levels(302, 0);
    D.GetSampleParams(Deltas.data(), Levels.data(), S.data(), 300);
    Deltas[250] = 20000;
    int Peak = 10000, Begin = 200, End = 290, Position = 0;
    // Extra would read up to 370; under AddressSanitizer this would fail.
    std::vector<short> Exact(S.begin(), S.end());
    EXPECT_TRUE(
        D.IsPulse(Exact.data(), Deltas.data(), Peak, Begin, End, Position, 80, false, false));
}

} // namespace
