// Test helpers: signals built by code, and a blocking-mode run of a detector
// over a recording through a supplier of chosen buffer lengths.
#pragma once

#include "DialSynth.h"
#include "DigitDetector.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

namespace harness {

using Samples = std::vector<short>;

inline Samples Silence(int Count) {
    return Samples(static_cast<size_t>(Count), 0);
}

// Adds a sine of Amplitude (raw units) at Hz over [From, To).
inline void AddSine(Samples& S, double Hz, double Amplitude, int From, int To) {
    for (int N = From; N < To && N < static_cast<int>(S.size()); ++N) {
        double V = S[N] + Amplitude * std::sin(2 * M_PI * Hz * (N - From) / 8000.0);
        S[N] = static_cast<short>(std::clamp(std::lround(V), -32768L, 32767L));
    }
}

inline Samples FromSynth(const std::vector<std::int16_t>& In) {
    return Samples(In.begin(), In.end());
}

struct Reported {
    char Digit;
    unsigned Ticks;
    bool IsDTMF;
    int StepPosition; // the detector's position when it was reported
};

inline std::string DigitsOf(const std::vector<Reported>& R) {
    std::string S;
    for (const auto& D : R)
        S += D.Digit;
    return S;
}

// How a supplier cuts the stream: WholeFile hands out everything from the
// position asked for; Fixed hands out at most Length; Random hands out
// Length + rand(0 .. Spread-1), as the batch workbench does.
struct Supply {
    enum Kind { WholeFile, Fixed, Random } How = Fixed;
    int Length = 80000;
    int Spread = 5000;
    std::uint32_t Seed = 1;
};

struct Run {
    std::vector<Reported> Digits;
    int EndEvents = 0;
    int Steps = 0;
    std::vector<int> AskedPositions;
    int FinalPosition = 0;
    bool Ended = false;
};

// Runs a detector in blocking mode until the run stops or MaxSteps pass.
inline Run RunBlocking(TDigitDetector& D, const Samples& S, Supply How = {}, bool Doubt = true,
                       bool Hold = true, bool ToneReleases = true, int MaxSteps = 2000) {
    Run R;
    std::uint32_t Rng = How.Seed;
    D.SetDoSupplyBuffer([&](TComponent*, short*& Buffer, int& Length, bool& Last, int Position) {
        R.AskedPositions.push_back(Position);
        int Available = std::max(0, static_cast<int>(S.size()) - std::max(Position, 0));
        int Want = Available;
        if (How.How == Supply::Fixed)
            Want = How.Length;
        if (How.How == Supply::Random) {
            Rng = Rng * 1103515245u + 12345u;
            Want = How.Length + static_cast<int>((Rng >> 16) % static_cast<unsigned>(How.Spread));
        }
        Length = std::min(Available, Want);
        Buffer = const_cast<short*>(S.data()) + std::min<size_t>(std::max(Position, 0), S.size());
        if (Length == Available)
            Last = true;
    });
    D.SetOnDigitDetected([&](TComponent*, char Digit, unsigned Ticks, bool IsDTMF) {
        R.Digits.push_back({Digit, Ticks, IsDTMF, D.GetCurrentPosition()});
    });
    D.SetOnDetectionEnd([&](TObject*) { ++R.EndEvents; });
    D.BeginDetect(0, 0, Doubt, Hold, ToneReleases);
    while (R.Steps < MaxSteps && D.ContinueDetect())
        ++R.Steps;
    R.Ended = !D.ContinueDetect();
    R.FinalPosition = D.GetCurrentPosition();
    return R;
}

// A pulse list as a scan would leave it, for the decision rules.
struct PulseList {
    std::vector<TPulse> Store = std::vector<TPulse>(TDigitDetector::PulseListSize);
    std::vector<TPulse*> Pointers;
    std::vector<float> PhaseScores = std::vector<float>(TDigitDetector::PhaseScoreSize);
    int Count = 0;
    PulseList() {
        for (auto& P : Store)
            Pointers.push_back(&P);
    }
    // Adds a click at Peak with a segment of 40 samples around it.
    TPulse& Add(int Peak, int Minor = -2, float Mean = 20.0f, int Delta = 20000) {
        TPulse& P = Store[Count++];
        P = TPulse{};
        P.Start = Peak - 10;
        P.Peak = Peak;
        P.End = Peak + 30;
        P.MinorPosition = Minor;
        P.PeakDelta = Delta;
        P.MeanLevel = Mean;
        return P;
    }
};

} // namespace harness
