#include "Harness.h"

#include <gtest/gtest.h>

namespace {

using harness::Samples;

Samples Tones(const std::string& Keys, int LeadMs = 500, int ToneMs = 150, int PauseMs = 150) {
    dialgen::RecordingSpec Spec;
    Spec.Digits = Keys;
    Spec.Kinds = "T";
    Spec.Tone.ToneMs = ToneMs;
    Spec.Tone.PauseMs = PauseMs;
    Spec.Line.LeadMs = LeadMs;
    return harness::FromSynth(dialgen::MakeRecording(Spec));
}

Samples Mixed(const std::string& Digits, const std::string& Kinds, dialgen::PulseParams Pulse = {},
              int TrailMs = 1000) {
    dialgen::RecordingSpec Spec;
    Spec.Digits = Digits;
    Spec.Kinds = Kinds;
    Spec.Tone.ToneMs = 150;
    Spec.Tone.PauseMs = 300;
    Spec.Pulse = Pulse;
    Spec.Line.TrailMs = TrailMs;
    return harness::FromSynth(dialgen::MakeRecording(Spec));
}

Samples Concat(Samples A, const Samples& B) {
    A.insert(A.end(), B.begin(), B.end());
    return A;
}

// A detector with a scripted supplier: each call takes the next script
// entry (or repeats the last).
struct Scripted {
    struct Answer {
        Samples* Buffer;
        int Length;
        bool Last;
        bool FollowPosition = false; // hand out the stream at Position
    };
    TDigitDetector D{nullptr};
    std::vector<Answer> Script;
    std::vector<int> Asked;
    std::vector<int> LengthOnEntry;
    std::string Log;
    size_t Next = 0;
    Scripted() {
        D.SetDoSupplyBuffer([this](TComponent*, short*& B, int& L, bool& Last, int Position) {
            Asked.push_back(Position);
            LengthOnEntry.push_back(L);
            const Answer& A = Script[std::min(Next++, Script.size() - 1)];
            B = A.Buffer ? A.Buffer->data() : nullptr;
            L = A.Length;
            Last = A.Last;
            if (A.Buffer && A.FollowPosition) {
                int Available = static_cast<int>(A.Buffer->size()) - Position;
                B += Position;
                L = std::min(L, Available);
                Last = L == Available;
            }
        });
        D.SetOnDigitDetected([this](TComponent*, char Digit, unsigned, bool IsDTMF) {
            Log += Digit;
            Log += IsDTMF ? 't' : 'p';
        });
        D.SetOnDetectionEnd([this](TObject*) { Log += "|end"; });
    }
};

TEST(Driver, ShortLastBufferEndsTheRun) {
    Samples S = harness::Silence(500);
    Scripted T;
    T.Script = {{&S, 500, true}};
    T.D.BeginDetect(0, 0, false, false, true);
    EXPECT_EQ(T.D.DecodeDialing(), 500);
    EXPECT_EQ(T.D.GetCurrentPosition(), 500);
    EXPECT_EQ(T.D.GetCurrentTimeTicks(), 62u);
    EXPECT_EQ(T.Log, "|end");
    EXPECT_FALSE(T.D.ContinueDetect());
}

TEST(Driver, NonLastBuffersShorterThanFourSecondsAreNotConsumed) {
    Samples S = harness::Silence(40000);
    Scripted T;
    T.Script = {{&S, 31999, false}, {nullptr, 0, false}, {&S, 32000, false}};
    T.D.BeginDetect(1000, 125, false, false, true);
    EXPECT_EQ(T.D.DecodeDialing(), 1000);
    EXPECT_EQ(T.D.DecodeDialing(), 1000) << "no buffer: the step ends, the run goes on";
    EXPECT_EQ(T.Asked, (std::vector<int>{1000, 1000}));
    EXPECT_EQ(T.D.DecodeDialing(), 33000) << "silence is consumed whole";
    EXPECT_EQ(T.Log, "");
    EXPECT_TRUE(T.D.ContinueDetect());
}

TEST(Driver, LongBufferIsWalkedChunkByChunkWhileFourSecondsRemain) {
    Samples Quiet = harness::Silence(85000);
    Scripted T;
    T.Script = {{&Quiet, 85000, false}};
    T.D.BeginDetect(0, 0, false, false, true);
    T.D.DecodeDialing();
    T.D.DecodeDialing();
    EXPECT_EQ(T.Asked, (std::vector<int>{0, 80000})) << "5000 left is too little for a chunk";

    // A tone pending at the end of the first chunk for over 2 s: the chunk
    // is consumed up to 1 s after the tone began, leaving enough for a
    // second chunk in the same step.
    Samples Tone = harness::Silence(85000);
    harness::AddSine(Tone, 697, 8000, 30000, 85000);
    harness::AddSine(Tone, 1209, 8000, 30000, 85000);
    Scripted U;
    U.Script = {{&Tone, 85000, false}};
    U.D.BeginDetect(0, 0, false, false, true);
    U.D.DecodeDialing();
    EXPECT_EQ(U.Asked.size(), 1u);
    EXPECT_GT(U.D.GetCurrentPosition(), 37000) << "both chunks consumed in one step";
}

TEST(Driver, TicksAccumulatePerStepTruncated) {
    // Jammed click trains cut by the buffer: each step consumes up to 240
    // samples before the train's first click.
    auto Train = [](int First) {
        dialgen::LineParams Line;
        Line.LeadMs = 0;
        Line.TrailMs = 0;
        dialgen::Synth Synth(Line);
        Synth.AddSilence(5000);
        for (int K = 0; K < 45; ++K) {
            Synth.AddClickAt(First + 800 * K, -4, 1.5, 120, 1);
            Synth.AddClickAt(First + 800 * K + 480, -14, 1.5, 120, -1);
        }
        return harness::FromSynth(Synth.Render());
    };
    Samples A = Train(1240), B = Train(1246); // first strong delta one sample on
    Scripted T;
    T.Script = {{&A, 32000, false}, {&B, 32000, false}};
    T.D.BeginDetect(0, 0, false, false, true);
    T.D.DecodeDialing();
    int First = T.D.GetCurrentPosition();
    T.D.DecodeDialing();
    int Second = T.D.GetCurrentPosition() - First;
    ASSERT_GT(First, 0);
    ASSERT_GT(Second, 0);
    EXPECT_EQ(T.D.GetCurrentTimeTicks(), static_cast<unsigned>(First / 8 + Second / 8));
    EXPECT_EQ(First, 1001);
    EXPECT_EQ(Second, 1007);
    EXPECT_EQ(T.D.GetCurrentPosition(), 2008);
    EXPECT_EQ(T.D.GetCurrentTimeTicks(), 250u) << "125 + 125, not 2008 / 8";
}

TEST(Driver, HeldDigitsWaitForAConvincingOneAndTheDoubtDecides) {
    // Regular second clicks in the 5 clear the doubt; at 11.5 pulses a
    // second no second click is searched and the one-pulse digit stays in
    // doubt.
    for (auto [RateOfFive, Expected] : {std::pair{10.0, "215"}, {11.5, "2!5"}}) {
        dialgen::PulseParams Fast;
        Fast.PulsesPerSecond = RateOfFive;
        Samples S =
            Concat(Concat(Mixed("21", "PP"), harness::Silence(90000)), Mixed("5", "P", Fast));
        TDigitDetector D(nullptr);
        harness::Run R = harness::RunBlocking(D, S, {harness::Supply::Fixed, 80000});
        EXPECT_EQ(harness::DigitsOf(R.Digits), Expected);
        ASSERT_EQ(R.Digits.size(), 3u);
        for (const auto& Digit : R.Digits) {
            EXPECT_GE(Digit.StepPosition, 80000) << "nothing is reported before the 5";
            EXPECT_FALSE(Digit.IsDTMF);
        }
        EXPECT_LT(R.Digits[0].Ticks, R.Digits[1].Ticks);
        EXPECT_LT(R.Digits[1].Ticks, 3000u) << "held digits keep their own times";
        EXPECT_GT(R.Digits[2].Ticks, 11250u);
    }
}

TEST(Driver, HeldDigitsAreReportedAtTheEndOfTheStreamBeforeTheEnd) {
    Samples S = Mixed("13", "PP");
    Scripted T;
    T.Script = {{&S, static_cast<int>(S.size()), true}};
    T.D.BeginDetect(0, 0, true, true, true);
    T.D.DecodeDialing();
    EXPECT_EQ(T.Log, "!p3p|end");
}

TEST(Driver, ToneReleasesHeldPulseDigitsAsTone) {
    Samples S = Mixed("25", "PT");
    Scripted T;
    T.Script = {{&S, static_cast<int>(S.size()), true}};
    T.D.BeginDetect(0, 0, true, true, true);
    T.D.DecodeDialing();
    EXPECT_EQ(T.Log, "2t5t|end");
}

TEST(Driver, IgnoringPulseDigitsFlushesHeldTonesAndDropsHeldPulses) {
    Samples S = Concat(Mixed("27", "PT"), harness::Silence(90000));
    Scripted T;
    T.Script = {{&S, 80000, false, true}};
    T.D.BeginDetect(0, 0, true, true, false);
    T.D.DecodeDialing();
    EXPECT_EQ(T.Log, "");
    T.D.SetIgnorePulseDigits(true);
    T.D.DecodeDialing();
    EXPECT_EQ(T.Log, "7t|end");
}

TEST(Driver, OnlyTheLastHundredHeldDigitsSurvive) {
    std::string Keys;
    for (int K = 0; K < 105; ++K)
        Keys += "1234567890*#"[K % 12];
    Samples S = Tones(Keys, 500, 120, 120);
    TDigitDetector D(nullptr);
    harness::Run R = harness::RunBlocking(D, S, {harness::Supply::WholeFile}, true, true, false);
    EXPECT_EQ(harness::DigitsOf(R.Digits), Keys.substr(5));
}

TEST(Driver, ToneAcrossAChunkBoundaryIsRecognisedOnce) {
    Samples S = harness::Silence(160000);
    harness::AddSine(S, 852, 8000, 79000, 81500);
    harness::AddSine(S, 1336, 8000, 79000, 81500);
    TDigitDetector D(nullptr);
    harness::Run R =
        harness::RunBlocking(D, S, {harness::Supply::Fixed, 80000}, false, false, true);
    ASSERT_EQ(harness::DigitsOf(R.Digits), "8");
    EXPECT_NEAR(R.Digits[0].Ticks, 79000 / 8, 40);
}

TEST(Driver, EndDetectInsideADigitHandler) {
    Samples S = Tones("123");
    TDigitDetector D(nullptr);
    std::string Log;
    int Ended = 0;
    D.SetDoSupplyBuffer([&](TComponent*, short*& B, int& L, bool& Last, int P) {
        B = S.data() + P;
        L = static_cast<int>(S.size()) - P;
        Last = true;
    });
    D.SetOnDigitDetected([&](TComponent*, char Digit, unsigned, bool) {
        Log += Digit;
        D.EndDetect();
    });
    D.SetOnDetectionEnd([&](TObject*) { ++Ended; });
    D.BeginDetect(0, 0, false, false, true);
    int Done = D.DecodeDialing();
    EXPECT_EQ(Log, "1");
    EXPECT_EQ(Ended, 1) << "before the step returned";
    EXPECT_EQ(Done, D.GetDonePosition());
    EXPECT_GT(Done, 4000) << "the end of the digit just delivered";
    EXPECT_LT(Done, 4000 + 2 * 1200);
    EXPECT_FALSE(D.ContinueDetect());
}

TEST(Driver, StopBetweenStepsEndsWithoutTheEndEvent) {
    Samples S = harness::Silence(200000);
    Scripted T;
    T.Script = {{&S, 80000, false}};
    T.D.BeginDetect(0, 0, false, false, true);
    T.D.DecodeDialing();
    T.D.EndDetect();
    EXPECT_FALSE(T.D.ContinueDetect());
    EXPECT_EQ(T.Log, "");
    EXPECT_EQ(T.D.DecodeDialing(), 80000) << "a later step only notifies";
    EXPECT_EQ(T.Log, "|end");
}

TEST(Driver, EndEventIsRetriedUntilAHandlerIsAssigned) {
    Samples S = harness::Silence(500);
    Scripted T;
    T.Script = {{&S, 500, true}};
    T.D.SetOnDetectionEnd(nullptr);
    T.D.BeginDetect(0, 0, false, false, true);
    T.D.DecodeDialing();
    T.D.DecodeDialing();
    int Ends = 0;
    T.D.SetOnDetectionEnd([&](TObject*) { ++Ends; });
    T.D.DecodeDialing();
    T.D.DecodeDialing();
    EXPECT_EQ(Ends, 1);
}

TEST(Driver, NextRunStartsFromTheEndHandler) {
    Samples S = Tones("4");
    TDigitDetector D(nullptr);
    int Runs = 0;
    std::string Log;
    D.SetDoSupplyBuffer([&](TComponent*, short*& B, int& L, bool& Last, int P) {
        B = S.data() + P;
        L = static_cast<int>(S.size()) - P;
        Last = true;
    });
    D.SetOnDigitDetected([&](TComponent*, char Digit, unsigned, bool) { Log += Digit; });
    D.SetOnDetectionEnd([&](TObject*) {
        if (++Runs < 3) {
            EXPECT_TRUE(D.BeginDetect(0, 0, true, true, true));
        }
    });
    D.BeginDetect(0, 0, true, true, true);
    EXPECT_FALSE(D.BeginDetect(5, 5, true, true, true)) << "a run is active";
    int Steps = 0;
    while (D.ContinueDetect() && ++Steps < 50) {
    }
    EXPECT_EQ(Runs, 3);
    EXPECT_EQ(Log, "444");
}

TEST(Driver, BeginDetectSeedsTheRun) {
    TDigitDetector D(nullptr);
    EXPECT_TRUE(D.BeginDetect(1000, 125, true, true, true));
    EXPECT_EQ(D.GetCurrentPosition(), 1000);
    EXPECT_EQ(D.GetCurrentTimeTicks(), 125u);
    EXPECT_EQ(D.GetDonePosition(), 1000);
    EXPECT_FALSE(D.BeginDetect(0, 0, true, true, true));
    EXPECT_EQ(D.GetCurrentPosition(), 1000);
    EXPECT_EQ(D.DecodeDialing(), -1) << "no supplier";
}

} // namespace
