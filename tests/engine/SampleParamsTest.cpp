#include "Harness.h"

#include <gtest/gtest.h>

#include <random>

namespace {

using harness::Samples;

struct Params {
    std::vector<unsigned short> Deltas;
    std::vector<float> Levels;
};

Params Compute(TDigitDetector& D, Samples& S) {
    Params P{std::vector<unsigned short>(S.size(), 7), std::vector<float>(S.size(), -1)};
    D.GetSampleParams(P.Deltas.data(), P.Levels.data(), S.data(), static_cast<int>(S.size()));
    return P;
}

TEST(SampleParams, ZerosLeaveStatisticsAndGiveSeedGains) {
    TDigitDetector D(nullptr);
    D.ResetSampleParams();
    Samples S(2000, 0);
    Params P = Compute(D, S);
    for (size_t I = 0; I < S.size(); ++I) {
        ASSERT_EQ(P.Deltas[I], 0) << I;
        ASSERT_EQ(P.Levels[I], 0.0f) << I;
    }
    EXPECT_EQ(D.GetQuietCount(), 1);
    EXPECT_EQ(D.GetStrongCount(), 1);
    EXPECT_DOUBLE_EQ(D.GetStrongGain(), 1.0);
    EXPECT_DOUBLE_EQ(D.GetQuietGain(), 5.0);
}

TEST(SampleParams, ResetRestoresSeedsButNotTheCalibrationCount) {
    TDigitDetector D(nullptr);
    D.SetCalibrationCount(3);
    D.ResetSampleParams();
    EXPECT_DOUBLE_EQ(D.GetQuietSum(), 0.01);
    EXPECT_DOUBLE_EQ(D.GetStrongSum(), 0.2);
    EXPECT_DOUBLE_EQ(D.GetQuietGain(), 20.0);
    EXPECT_DOUBLE_EQ(D.GetStrongGain(), 1.5);
    EXPECT_EQ(D.GetCalibrationCount(), 3);
}

TEST(SampleParams, EdgesOfTheArrays) {
    TDigitDetector D(nullptr);
    std::mt19937 Rng(3);
    std::uniform_int_distribution<int> U(-20000, 20000);
    Samples S(1000);
    for (auto& X : S)
        X = static_cast<short>(U(Rng));
    Params P = Compute(D, S);
    const int N = static_cast<int>(S.size());
    for (int I = 0; I <= 8; ++I)
        EXPECT_EQ(P.Deltas[I], 0) << "the first delta is the start values' 0";
    for (int I = N - 29; I < N; ++I)
        EXPECT_EQ(P.Deltas[I], P.Deltas[N - 29]) << I;
    // The interior is the exact 17-sample swing.
    for (int J = 9; J <= N - 29; J += 37) {
        int Max = -40000, Min = 40000;
        for (int K = J - 8; K <= J + 8; ++K) {
            Max = std::max<int>(Max, S[K]);
            Min = std::min<int>(Min, S[K]);
        }
        EXPECT_EQ(P.Deltas[J], static_cast<unsigned short>(Max - Min)) << J;
    }
}

TEST(SampleParams, ConstantOffsetsAndTheDcAdmission) {
    TDigitDetector D(nullptr);
    Samples Small(4000, 1000);
    Params P = Compute(D, Small);
    EXPECT_EQ(P.Deltas[2000], 0);
    EXPECT_NEAR(P.Levels[25], 3.05f - 1000 * 0.0030517578125 * (1 - std::pow(0.995, 26)), 0.01);
    EXPECT_LT(P.Levels[3000], 0.01f) << "the estimate has converged on the offset";
    EXPECT_GT(P.Levels[100], P.Levels[1000]);

    Samples Large(4000, 9000);
    P = Compute(D, Large);
    EXPECT_NEAR(P.Levels[2000], 27.466f, 0.01) << "beyond +-8192 nothing is estimated";
    EXPECT_NEAR(P.Levels[3990], 27.466f, 0.01);
}

TEST(SampleParams, FullScaleSquareWave) {
    TDigitDetector D(nullptr);
    Samples S(2000);
    for (size_t I = 0; I < S.size(); ++I)
        S[I] = I % 2 ? -32768 : 32767;
    Params P = Compute(D, S);
    EXPECT_EQ(P.Deltas[1000], 65535);
    EXPECT_NEAR(P.Levels[1000], 100.0f, 0.01);
}

TEST(SampleParams, SineReadsItsRmsInPercent) {
    TDigitDetector D(nullptr);
    Samples S = harness::Silence(4000);
    harness::AddSine(S, 400, 32767, 0, 4000); // 20 samples a period: 40 is two
    Params P = Compute(D, S);
    EXPECT_NEAR(P.Levels[2000], 70.7f, 0.1);
}

TEST(SampleParams, StrongGainIsClampedAndQuietGainFreezesAfterFiveCalibrations) {
    TDigitDetector D(nullptr);
    D.ResetSampleParams();
    Samples Loud = harness::Silence(8000);
    harness::AddSine(Loud, 400, 0.5 * 32768 * std::sqrt(2.0), 0, 8000); // RMS 0.5
    Compute(D, Loud);
    EXPECT_DOUBLE_EQ(D.GetStrongGain(), 1.0) << "0.2 / 0.5 = 0.4 is raised to 1.0";

    D.ResetSampleParams();
    D.SetCalibrationCount(5);
    Samples Quiet = harness::Silence(8000);
    harness::AddSine(Quiet, 400, 0.01 * 32768 * std::sqrt(2.0), 0, 8000); // RMS 0.01
    Compute(D, Quiet);
    EXPECT_DOUBLE_EQ(D.GetQuietGain(), 20.0) << "frozen";
    EXPECT_GT(D.GetQuietCount(), 7000) << "the statistics still grow";

    D.SetCalibrationCount(4);
    Compute(D, Quiet);
    EXPECT_NEAR(D.GetQuietGain(), 0.05 / 0.01, 0.1);

    std::mt19937 Rng(9);
    for (int Trial = 0; Trial < 20; ++Trial) {
        D.ResetSampleParams();
        Samples S(3000);
        std::uniform_int_distribution<int> U(-32768 >> (Trial % 10), 32767 >> (Trial % 10));
        for (auto& X : S)
            X = static_cast<short>(U(Rng));
        Compute(D, S);
        EXPECT_GE(D.GetStrongGain(), 1.0);
        EXPECT_LE(D.GetStrongGain(), 3.0);
    }
}

TEST(SampleParams, StretchTooShortForTheMeasuresGivesZeros) {
    TDigitDetector D(nullptr);
    for (int Count : {0, 1, 39, 40}) {
        Samples S(static_cast<size_t>(Count), 12000);
        std::vector<unsigned short> Deltas(Count + 1, 7);
        std::vector<float> Levels(Count + 1, 7);
        D.GetSampleParams(Deltas.data(), Levels.data(), S.data(), Count);
        for (int I = 0; I < Count; ++I) {
            EXPECT_EQ(Deltas[I], 0);
            EXPECT_EQ(Levels[I], 0.0f);
        }
        EXPECT_EQ(Deltas[Count], 7) << "nothing written past Count";
    }
}

} // namespace
