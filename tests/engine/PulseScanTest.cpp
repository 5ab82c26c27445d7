#include "Harness.h"

#include <gtest/gtest.h>

namespace {

using harness::Samples;

// The analysis of one stretch as the driver runs it: arrays first, then scan
// or digit decision.
struct Analysed {
    TDigitDetector D{nullptr};
    Samples S;
    std::vector<unsigned short> Deltas;
    std::vector<float> Levels;
    explicit Analysed(Samples In) : S(std::move(In)), Deltas(S.size()), Levels(S.size() + 2) {
        D.ResetSampleParams();
        D.GetSampleParams(Deltas.data(), Levels.data(), S.data(), static_cast<int>(S.size()));
    }
    harness::PulseList List;
    bool Scan(int& Begin, int& End, int& Count) {
        return D.ScanPulses(S.data(), Deltas.data(), Levels.data(), Begin, End, 8000, 12000, 1500,
                            List.Pointers.data(), Count);
    }
    bool Digit(int& Begin, int& End, char& Digit, bool& Doubt) {
        int Period = 0, Pair = 0, Count = 0;
        return D.DetectPulseDigit(Begin, End, Digit, Doubt, Period, Pair, Count, S.data(),
                                  Deltas.data(), Levels.data(), List.Pointers.data(),
                                  List.PhaseScores.data());
    }
};

Samples Clicks(const std::vector<int>& At, double SecondRatio, int Length, double LevelDb = -4) {
    dialgen::LineParams Line;
    Line.LeadMs = 0;
    Line.TrailMs = 0;
    Line.NoiseDb = -70;
    dialgen::Synth Synth(Line);
    Synth.AddSilence(Length * 1000 / 8000);
    for (int Sample : At) {
        Synth.AddClickAt(Sample, LevelDb, 1.5, 120, +1);
        if (SecondRatio > 0)
            Synth.AddClickAt(Sample + 480, LevelDb + 20 * std::log10(SecondRatio), 1.5, 120, -1);
    }
    return harness::FromSynth(Synth.Render());
}

Samples PulseDigits(const std::string& Digits, dialgen::PulseParams Pulse = {},
                    double NoiseDb = -70, std::uint32_t Seed = 1) {
    dialgen::RecordingSpec Spec;
    Spec.Digits = Digits;
    Spec.Kinds = "P";
    Spec.Pulse = Pulse;
    Spec.Line.NoiseDb = NoiseDb;
    Spec.Line.Seed = Seed;
    return harness::FromSynth(dialgen::MakeRecording(Spec));
}

TEST(ScanPulses, SilenceHoldsNoTrain) {
    Analysed A(harness::Silence(20000));
    int Begin = 100, End = 20000, Count = -1;
    EXPECT_TRUE(A.Scan(Begin, End, Count));
    EXPECT_EQ(Count, 0);
    EXPECT_EQ(Begin, 100);
    EXPECT_EQ(End, 20000);
}

TEST(ScanPulses, ClickWhoseQuietIsCutByTheEndAsksForMoreData) {
    Analysed A(Clicks({5000}, 0.3, 20000));
    int Begin = 0, End = 5030, Count = -1;
    EXPECT_FALSE(A.Scan(Begin, End, Count));
    EXPECT_EQ(Count, 0);
    EXPECT_NEAR(Begin, 5000 - 240, 20) << "restart 240 samples before the click";
}

TEST(ScanPulses, LoneClickWithItsSecondClick) {
    Analysed A(Clicks({5000}, 0.3, 20000));
    int Begin = 0, End = 20000, Count = -1;
    EXPECT_TRUE(A.Scan(Begin, End, Count));
    ASSERT_EQ(Count, 1);
    const TPulse& P = A.List.Store[0];
    EXPECT_NEAR(P.Peak, 5000, 130);
    EXPECT_EQ(Begin, P.Peak);
    EXPECT_EQ(End, P.End + 160);
    EXPECT_NEAR(P.MinorPosition, 5480, 20) << "the second click";

    Analysed Bare(Clicks({5000}, 0, 20000));
    Begin = 0, End = 20000;
    EXPECT_TRUE(Bare.Scan(Begin, End, Count));
    ASSERT_EQ(Count, 1);
    EXPECT_EQ(Bare.List.Store[0].MinorPosition, -1);
}

TEST(ScanPulses, ClicksWithoutSecondClicksEndTheTrainAfterTheFirst) {
    Analysed A(Clicks({5000, 5800, 6600}, 0, 20000));
    int Begin = 0, End = 20000, Count = -1;
    EXPECT_TRUE(A.Scan(Begin, End, Count));
    ASSERT_EQ(Count, 1);
    EXPECT_EQ(A.List.Store[0].MinorPosition, -1);
    EXPECT_EQ(End, A.List.Store[0].End + 160);
}

TEST(ScanPulses, TrainOfPulsesWithSecondClicks) {
    Analysed A(PulseDigits("5"));
    int Begin = 0, End = static_cast<int>(A.S.size()), Count = -1;
    EXPECT_TRUE(A.Scan(Begin, End, Count));
    ASSERT_EQ(Count, 5);
    for (int K = 1; K < Count; ++K) {
        EXPECT_NEAR(A.List.Store[K].Peak - A.List.Store[K - 1].Peak, 800, 130);
        EXPECT_NEAR(A.List.Store[K - 1].MinorPosition - A.List.Store[K - 1].Peak, 480, 130);
    }
    EXPECT_GT(A.D.GetCalibrationCount(), 0) << "gaps between pulses calibrate the quiet gain";
}

TEST(DetectPulseDigit, TrainCutByTheEndOfTheDataNeedsMore) {
    Samples S = PulseDigits("8");
    Analysed A(S);
    int Begin = 0, End = 4000 + 3000; // the train runs on past here
    char Digit = '?';
    bool Doubt = true;
    EXPECT_FALSE(A.Digit(Begin, End, Digit, Doubt));
    EXPECT_EQ(Digit, '+');
    EXPECT_LT(Begin, 4000 + 100);
}

TEST(DetectPulseDigit, EveryDigitAtTheRatesAndBreaksOfRealDials) {
    for (double Rate : {9.0, 10.0, 11.0})
        for (double Break : {55.0, 60.0, 66.0, 70.0})
            for (double Noise : {-70.0, -50.0}) {
                dialgen::PulseParams P;
                P.PulsesPerSecond = Rate;
                P.BreakPercent = Break;
                P.JitterPercent = 1;
                for (std::string Digits : {"12345", "67890"}) {
                    Samples S = PulseDigits(Digits, P, Noise,
                                            static_cast<std::uint32_t>(Rate * 100 + Break));
                    ASSERT_LT(S.size(), 80000u);
                    Analysed A(S);
                    std::string Got;
                    int Begin = 0;
                    bool Doubt = false;
                    for (int Guard = 0; Guard < 40; ++Guard) {
                        int End = static_cast<int>(S.size());
                        char Digit = '?';
                        ASSERT_TRUE(A.Digit(Begin, End, Digit, Doubt));
                        if (Digit == ' ')
                            break;
                        if (Digit != '-')
                            Got += Digit;
                        Begin = End;
                    }
                    EXPECT_EQ(Got, Digits)
                        << Rate << " pps, " << Break << " % break, noise " << Noise;
                }
            }
}

} // namespace
