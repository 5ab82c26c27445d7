#include "Harness.h"

#include <gtest/gtest.h>

#include <random>

namespace {

using harness::Samples;

// Tone digits, then a jammed dial (120 clicks at 10 per second from
// TrainAt), then more tone digits.
Samples JammedLine(int TrainAt, std::string& Before, std::string& After) {
    dialgen::LineParams Line;
    Line.LeadMs = 0;
    Line.TrailMs = 1000;
    dialgen::Synth Synth(Line);
    dialgen::ToneParams Tone;
    Tone.ToneMs = 150;
    Tone.PauseMs = 300;
    Before.clear();
    if (TrainAt > 20000) {
        Synth.AddSilence(500);
        for (char K : std::string("12")) {
            Synth.AddToneDigit(K, Tone);
            Before += K;
        }
    }
    Synth.AddSilence((TrainAt - Synth.Length()) / 8);
    int Start = Synth.Length();
    for (int K = 0; K < 120; ++K) {
        Synth.AddClickAt(Start + 800 * K, -4, 1.5, 120, 1);
        Synth.AddClickAt(Start + 800 * K + 480, -14, 1.5, 120, -1);
    }
    Synth.AddSilence(1000);
    After = "#9";
    for (char K : After)
        Synth.AddToneDigit(K, Tone);
    return harness::FromSynth(Synth.Render());
}

TEST(Robustness, TrainLongerThanAChunkNeitherHangsNorGoesBackwards) {
    for (int TrainAt : {3000, 100, 30000})
        for (harness::Supply How : {harness::Supply{harness::Supply::WholeFile},
                                    harness::Supply{harness::Supply::Fixed, 80000},
                                    harness::Supply{harness::Supply::Random, 85000, 5000, 7}}) {
            std::string Before, After;
            Samples S = JammedLine(TrainAt, Before, After);
            TDigitDetector D(nullptr);
            harness::Run R = harness::RunBlocking(D, S, How, true, true, true, 200);
            EXPECT_TRUE(R.Ended) << "train at " << TrainAt << ", supply " << How.How;
            EXPECT_EQ(R.FinalPosition, static_cast<int>(S.size()));
            for (int P : R.AskedPositions) {
                EXPECT_GE(P, 0);
                EXPECT_LE(P, static_cast<int>(S.size()));
            }
            EXPECT_EQ(harness::DigitsOf(R.Digits), Before + After)
                << "train at " << TrainAt << ", supply " << How.How << ": no digit from the train";
            EXPECT_GE(D.GetDonePosition(), 0);
        }
}

TEST(Robustness, PulseAnalysisNeverRunsOnStaleArrays) {
    dialgen::RecordingSpec Pulses;
    Pulses.Digits = "34";
    Pulses.Kinds = "P";
    Samples First = harness::FromSynth(dialgen::MakeRecording(Pulses));
    First.resize(80000, 0);
    dialgen::RecordingSpec Tone;
    Tone.Digits = "5";
    Tone.Kinds = "T";
    Tone.Tone.ToneMs = 150;
    Samples Second = harness::FromSynth(dialgen::MakeRecording(Tone));
    Second.resize(80000, 0);
    Samples S = First;
    S.insert(S.end(), Second.begin(), Second.end());

    TDigitDetector D(nullptr);
    std::string Log;
    D.SetDoSupplyBuffer([&](TComponent*, short*& B, int& L, bool& Last, int P) {
        int Available = static_cast<int>(S.size()) - P;
        B = S.data() + P;
        L = std::min(80000, Available);
        Last = L == Available;
    });
    D.SetOnDigitDetected([&](TComponent*, char Digit, unsigned, bool) {
        Log += Digit;
        if (Digit == '5')
            D.SetIgnorePulseDigits(false); // mid-chunk: takes effect next step
    });
    D.BeginDetect(0, 0, false, false, true);
    D.ContinueDetect();
    EXPECT_EQ(Log, "34");
    D.SetIgnorePulseDigits(true);
    while (D.ContinueDetect()) {
    }
    EXPECT_EQ(Log, "345") << "no ghost digits from the first chunk's arrays";
}

TEST(Robustness, LengthArrivesZeroAndNegativeLengthsAreNoBuffer) {
    Samples S = harness::Silence(200000);
    TDigitDetector D(nullptr);
    std::vector<int> LengthOnEntry;
    int Call = 0;
    D.SetDoSupplyBuffer([&](TComponent*, short*& B, int& L, bool& Last, int P) {
        LengthOnEntry.push_back(L);
        B = S.data() + P;
        if (Call == 0)
            L = 80000;
        else if (Call == 1)
            L = -5;
        else
            Last = true; // a buffer but no length
        ++Call;
    });
    D.BeginDetect(0, 0, false, false, true);
    D.DecodeDialing();
    EXPECT_EQ(D.GetCurrentPosition(), 80000);
    D.DecodeDialing();
    EXPECT_EQ(D.GetCurrentPosition(), 80000) << "negative: nothing consumed";
    EXPECT_TRUE(D.ContinueDetect());
    EXPECT_EQ(D.GetCurrentPosition(), 80000) << "no length: nothing more of the stream";
    EXPECT_FALSE(D.ContinueDetect()) << "the empty last buffer ended the run";
    EXPECT_EQ(LengthOnEntry, (std::vector<int>{0, 0, 0}));
}

TEST(Robustness, RandomLinesAlwaysEndInsideTheStream) {
    std::mt19937 Rng(2024);
    for (int Trial = 0; Trial < 12; ++Trial) {
        dialgen::LineParams Line;
        Line.Seed = static_cast<std::uint32_t>(Trial + 1);
        Line.NoiseDb = std::uniform_real_distribution<double>(-70, -30)(Rng);
        Line.LeadMs = std::uniform_int_distribution<int>(0, 3000)(Rng);
        dialgen::Synth Synth(Line);
        int Events = std::uniform_int_distribution<int>(1, 6)(Rng);
        for (int E = 0; E < Events; ++E) {
            int Kind = std::uniform_int_distribution<int>(0, 3)(Rng);
            if (Kind == 0) {
                int Clicks = std::uniform_int_distribution<int>(1, 160)(Rng);
                int Start = Synth.Length();
                int Period = std::uniform_int_distribution<int>(500, 1200)(Rng);
                for (int K = 0; K < Clicks; ++K)
                    Synth.AddClickAt(Start + Period * K, -3, 1.5, 100, 1);
            } else if (Kind == 1) {
                dialgen::ToneParams T;
                T.ToneMs = std::uniform_int_distribution<int>(50, 20000)(Rng);
                Synth.AddToneDigit("0123456789*#"[Trial % 12], T);
            } else if (Kind == 2) {
                dialgen::PulseParams P;
                Synth.AddPulseDigit(static_cast<char>('0' + E), P);
            } else {
                Synth.AddSilence(std::uniform_int_distribution<int>(0, 15000)(Rng));
            }
        }
        Samples S = harness::FromSynth(Synth.Render());
        harness::Supply How{harness::Supply::Random, 32000 + Trial * 5000, 60000,
                            static_cast<std::uint32_t>(Trial)};
        TDigitDetector D(nullptr);
        harness::Run R = harness::RunBlocking(D, S, How, Trial % 2 == 0, Trial % 3 != 0, true, 400);
        EXPECT_TRUE(R.Ended) << "trial " << Trial;
        EXPECT_EQ(R.FinalPosition, static_cast<int>(S.size())) << "trial " << Trial;
        for (int P : R.AskedPositions) {
            EXPECT_GE(P, 0) << "trial " << Trial;
            EXPECT_LE(P, static_cast<int>(S.size())) << "trial " << Trial;
        }
        EXPECT_GE(D.GetDonePosition(), 0);
        EXPECT_LE(D.GetDonePosition(), static_cast<int>(S.size()));
        EXPECT_EQ(R.EndEvents, 1);
    }
}

} // namespace
