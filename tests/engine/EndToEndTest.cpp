#include "Harness.h"

#include <gtest/gtest.h>

namespace {

using harness::Samples;

struct Case {
    const char* Name;
    std::string Digits, Kinds;
    double NoiseDb;
};

// One-pulse digits come out as '!' while in doubt; they count as '1' here.
std::string Plain(std::string S) {
    for (char& C : S)
        if (C == '!')
            C = '1';
    return S;
}

TEST(EndToEnd, SynthesisedLinesThroughEverySupplier) {
    const Case Cases[] = {
        {"tone", "0123456789*#", "T", -70},   {"pulse", "4711", "P", -70},
        {"mixed", "12#3504", "TPTPTPP", -65}, {"noisy pulse", "90", "P", -45},
        {"noisy tone", "5*", "T", -35},
    };
    const harness::Supply Supplies[] = {{harness::Supply::WholeFile},
                                        {harness::Supply::Fixed, 80000},
                                        {harness::Supply::Random, 85000, 5000, 3}};
    for (const Case& C : Cases) {
        dialgen::RecordingSpec Spec;
        Spec.Digits = C.Digits;
        Spec.Kinds = C.Kinds;
        Spec.Tone.ToneMs = 120;
        Spec.Line.NoiseDb = C.NoiseDb;
        std::vector<dialgen::DigitEvent> Events;
        Samples S = harness::FromSynth(dialgen::MakeRecording(Spec, &Events));
        for (const harness::Supply& How : Supplies) {
            TDigitDetector D(nullptr);
            harness::Run R = harness::RunBlocking(D, S, How);
            ASSERT_EQ(Plain(harness::DigitsOf(R.Digits)), C.Digits)
                << C.Name << ", supply " << How.How;
            for (size_t I = 0; I < R.Digits.size(); ++I) {
                // A tone digit begins with the first 64 ms window that hears
                // it, which may start up to a window before the tone does.
                int Start = Events[I].BeginSample / 8, At = static_cast<int>(R.Digits[I].Ticks);
                EXPECT_GE(At, Start - (Events[I].IsTone ? 64 : 40)) << C.Name << " digit " << I;
                EXPECT_LE(At, Start + 40) << C.Name << " digit " << I;
                if (C.Kinds == "P") {
                    EXPECT_FALSE(R.Digits[I].IsDTMF) << C.Name << " digit " << I;
                }
            }
            EXPECT_EQ(R.EndEvents, 1);
        }
    }
}

} // namespace
