#include "Harness.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;
using harness::Samples;

Samples Recording(const std::string& Digits, const std::string& Kinds) {
    dialgen::RecordingSpec Spec;
    Spec.Digits = Digits;
    Spec.Kinds = Kinds;
    Spec.Tone.ToneMs = 150;
    Spec.Tone.PauseMs = 300;
    return harness::FromSynth(dialgen::MakeRecording(Spec));
}

// Pumps the main thread's Synchronize queue until Done (or a hang guard).
template <class Pred> bool PumpUntil(Pred Done) {
    auto Deadline = std::chrono::steady_clock::now() + 60s;
    while (!Done()) {
        if (std::chrono::steady_clock::now() > Deadline)
            return false;
        CheckSynchronize(5);
    }
    return true;
}

// A non-blocking detector that feeds a recording in 80000-sample buffers
// from its worker and logs on the main thread.
struct Worker {
    Samples S;
    TDigitDetector* D = new TDigitDetector(nullptr);
    std::string Log;
    std::atomic<int> Ends{0};
    bool WrongThread = false;
    explicit Worker(Samples In) : S(std::move(In)) {
        D->SetBlocking(false);
        D->SetDoSupplyBuffer([this](TComponent*, short*& B, int& L, bool& Last, int P) {
            int Available = static_cast<int>(S.size()) - P;
            B = S.data() + P;
            L = std::min(80000, Available);
            Last = L == Available;
        });
        D->SetOnDigitDetected([this](TComponent*, char Digit, unsigned, bool) {
            WrongThread = WrongThread || !IsMainThread();
            Log += Digit;
        });
        D->SetOnDetectionEnd([this](TObject*) {
            WrongThread = WrongThread || !IsMainThread();
            Log += "|end";
            ++Ends;
        });
    }
    ~Worker() { delete D; }
};

TEST(RunControl, NonBlockingRunDeliversOnTheMainThread) {
    Worker W(Recording("1234", "TPTP"));
    EXPECT_FALSE(W.D->GetBlocking());
    ASSERT_TRUE(W.D->BeginDetect(0, 0, true, true, true));
    EXPECT_FALSE(W.D->ContinueDetect()) << "the worker drives a non-blocking run";
    ASSERT_TRUE(PumpUntil([&] { return W.Ends.load() > 0; }));
    EXPECT_EQ(W.Log, "1234|end") << "the end marker reaches only the end handler";
    EXPECT_FALSE(W.WrongThread);
}

TEST(RunControl, BlockingCannotChangeDuringARunOrADelivery) {
    Worker W(Recording("12", "TT"));
    bool DuringDelivery = true;
    W.D->SetOnDigitDetected([&](TComponent*, char, unsigned, bool) {
        W.D->SetBlocking(true);
        DuringDelivery = W.D->GetBlocking();
    });
    W.D->BeginDetect(0, 0, false, false, true);
    W.D->SetBlocking(true);
    EXPECT_FALSE(W.D->GetBlocking()) << "refused during a run";
    ASSERT_TRUE(PumpUntil([&] { return W.Ends.load() > 0; }));
    EXPECT_FALSE(DuringDelivery);
    // The worker may still be leaving its last delivery; once it has, the
    // change is taken.
    EXPECT_TRUE(PumpUntil([&] {
        W.D->SetBlocking(true);
        return W.D->GetBlocking();
    })) << "taken once stopped";
    W.D->SetBlocking(false);
    EXPECT_FALSE(W.D->GetBlocking());
}

TEST(RunControl, StoredPriorityIsAppliedToTheNewWorker) {
    TDigitDetector D(nullptr);
    D.SetPriority(tpIdle);
    EXPECT_EQ(D.GetPriority(), tpIdle);
    D.SetBlocking(false);
    Samples S = harness::Silence(1000);
    std::atomic<int> Nice{-100};
    std::atomic<bool> Ended{false};
    D.SetDoSupplyBuffer([&](TComponent*, short*& B, int& L, bool& Last, int) {
        Nice = ::getpriority(PRIO_PROCESS, static_cast<id_t>(::syscall(SYS_gettid)));
        B = S.data();
        L = 1000;
        Last = true;
    });
    D.SetOnDetectionEnd([&](TObject*) { Ended = true; });
    D.BeginDetect(0, 0, true, true, true);
    ASSERT_TRUE(PumpUntil([&] { return Ended.load(); }));
    EXPECT_EQ(Nice.load(), 19);
}

TEST(RunControl, NextRunStartsFromTheEndHandlerWithoutBlocking) {
    Worker W(Recording("7", "T"));
    W.D->SetOnDetectionEnd([&](TObject*) {
        W.Log += "|end";
        if (++W.Ends < 3) {
            EXPECT_TRUE(W.D->BeginDetect(0, 0, true, true, true));
        }
    });
    W.D->BeginDetect(0, 0, true, true, true);
    ASSERT_TRUE(PumpUntil([&] { return W.Ends.load() >= 3; }));
    EXPECT_EQ(W.Log, "7|end7|end7|end");
}

TEST(RunControl, RepeatedRunsNeverStall) {
    Samples S = harness::Silence(2000);
    TDigitDetector D(nullptr);
    D.SetBlocking(false);
    std::atomic<int> Ends{0};
    D.SetDoSupplyBuffer([&](TComponent*, short*& B, int& L, bool& Last, int P) {
        B = S.data() + P;
        L = 2000 - P;
        Last = true;
    });
    D.SetOnDetectionEnd([&](TObject*) { ++Ends; });
    for (int Run = 1; Run <= 300; ++Run) {
        ASSERT_TRUE(D.BeginDetect(0, 0, true, true, true));
        ASSERT_TRUE(PumpUntil([&] { return Ends.load() == Run; })) << "run " << Run;
    }
}

TEST(RunControl, DestroyingDuringAStepOrADeliveryCallsNoHandlerAfterwards) {
    for (bool InDelivery : {false, true}) {
        Samples S = Recording("123", "TTT");
        auto* D = new TDigitDetector(nullptr);
        D->SetBlocking(false);
        std::atomic<bool> Supplying{false}, Destroyed{false}, LateCall{false};
        std::atomic<int> Digits{0};
        D->SetDoSupplyBuffer([&](TComponent*, short*& B, int& L, bool& Last, int P) {
            LateCall = LateCall || Destroyed;
            Supplying = true;
            if (!InDelivery)
                std::this_thread::sleep_for(30ms);
            int Available = static_cast<int>(S.size()) - P;
            B = S.data() + P;
            L = Available;
            Last = true;
        });
        D->SetOnDigitDetected([&](TComponent*, char, unsigned, bool) {
            LateCall = LateCall || Destroyed;
            ++Digits;
        });
        D->SetOnDetectionEnd([&](TObject*) { LateCall = LateCall || Destroyed; });
        D->BeginDetect(0, 0, false, false, true);
        while (!Supplying)
            std::this_thread::sleep_for(1ms);
        if (InDelivery)
            std::this_thread::sleep_for(30ms); // the worker now waits in Synchronize
        Destroyed = true;
        delete D; // must return, and run no handler
        EXPECT_FALSE(LateCall) << (InDelivery ? "in delivery" : "in step");
        EXPECT_EQ(Digits.load(), 0);
    }
}

} // namespace
