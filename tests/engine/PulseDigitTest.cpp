#include "Harness.h"

#include <gtest/gtest.h>

namespace {

using harness::PulseList;

struct Decision {
    bool Ok;
    char Digit;
    int Begin, End, Period, PairSpacing, Count;
    bool Doubt;
};

Decision Classify(PulseList& List, bool Doubt = true) {
    TDigitDetector D(nullptr);
    Decision R{false, '?', List.Store[0].Peak, 99999, -5, -5, List.Count, Doubt};
    R.Ok = D.ClassifyPulseTrain(R.Begin, R.End, R.Digit, R.Doubt, R.Period, R.PairSpacing, R.Count,
                                List.Pointers.data(), List.PhaseScores.data());
    return R;
}

TEST(PulseDigit, ShortTrainRules) {
    struct Case {
        const char* Name;
        std::vector<std::pair<int, float>> Clicks; // peak, mean level
        char Digit;
        int Period, PairSpacing, Count;
    };
    const Case Cases[] = {
        {"two clicks 500 apart, second weaker", {{1000, 20}, {1500, 10}}, '1', 0, 500, 2},
        {"two clicks 800 apart", {{1000, 20}, {1800, 20}}, '2', 800, -5, 2},
        {"two clicks 1000 apart", {{1000, 20}, {2000, 20}}, '-', -5, -5, 2},
        {"close second click nearly as loud", {{1000, 20}, {1200, 18}}, '-', -5, -5, 1},
        {"second click twice as loud", {{1000, 20}, {1800, 41}}, '-', -5, -5, 1},
        {"three clicks 800 and 820 apart", {{1000, 20}, {1800, 20}, {2620, 20}}, '3', 1620, 0, 3},
        {"three clicks 800 and 950 apart", {{1000, 20}, {1800, 20}, {2750, 20}}, '-', -5, -5, 3},
        {"three: a pair after a lone click", {{1000, 20}, {2300, 20}, {2800, 15}}, '1', 0, 500, 3},
        {"three: pulse, second click, pulse",
         {{1000, 20}, {1480, 12}, {1800, 20}},
         '2',
         800,
         480,
         3},
    };
    for (const Case& C : Cases) {
        PulseList List;
        for (auto [Peak, Mean] : C.Clicks)
            List.Add(Peak, -2, Mean);
        Decision R = Classify(List);
        EXPECT_TRUE(R.Ok) << C.Name;
        EXPECT_EQ(R.Digit, C.Digit) << C.Name;
        EXPECT_EQ(R.Period, C.Period) << C.Name;
        EXPECT_EQ(R.PairSpacing, C.PairSpacing) << C.Name;
        EXPECT_EQ(R.Count, C.Count) << C.Name;
        if (C.Digit == '-' && C.Name[0] == 't' && C.Name[1] == 'w') {
            EXPECT_EQ(R.End, List.Store[0].End) << C.Name << ": the rest is examined again";
        }
    }
}

TEST(PulseDigit, SingleClickNeedsItsSecondClick) {
    struct Case {
        int Minor;
        bool Doubt;
        char Digit;
    };
    const Case Cases[] = {{1480, false, '1'}, {1480, true, '!'},  {-1, false, '-'},
                          {-2, false, '-'},   {1700, false, '-'}, {1699, false, '1'}};
    for (const Case& C : Cases) {
        PulseList List;
        List.Add(1000, C.Minor);
        EXPECT_EQ(Classify(List, C.Doubt).Digit, C.Digit) << C.Minor << " " << C.Doubt;
    }
    PulseList Empty;
    Empty.Count = 0;
    EXPECT_EQ(Classify(Empty).Digit, ' ');
}

TEST(PulseDigit, CombFitCountsRegularTrains) {
    struct Case {
        int Clicks;
        char Digit;
        int Period;
    };
    // Ten: the coarse search ties 796 and 804 and keeps the shorter; the
    // snapping stretches the grid onto it and the refinement keeps it.
    const Case Cases[] = {{4, '4', -1}, {5, '5', 800},  {6, '6', -1},
                          {7, '7', -1}, {10, '0', 796}, {12, '0', -1}};
    for (const Case& C : Cases) {
        PulseList List;
        for (int K = 0; K < C.Clicks; ++K)
            List.Add(1000 + 800 * K, 1000 + 800 * K + 480);
        Decision R = Classify(List, true);
        EXPECT_TRUE(R.Ok);
        EXPECT_EQ(R.Digit, C.Digit) << C.Clicks << " clicks";
        if (C.Period > 0) {
            EXPECT_EQ(R.Period, C.Period) << C.Clicks << " clicks";
        }
        EXPECT_FALSE(R.Doubt) << "regular second clicks clear the doubt";
        EXPECT_EQ(R.Begin, 1000);
    }
}

TEST(PulseDigit, TrainWithoutSecondClicksKeepsOneClickDigitsInDoubt) {
    PulseList List;
    for (int K = 0; K < 6; ++K)
        List.Add(1000 + 800 * K, -2);
    Decision R = Classify(List, false);
    EXPECT_EQ(R.Digit, '6');
    EXPECT_TRUE(R.Doubt);
}

TEST(PulseDigit, ShortRegularTrainsAreNotSnapped) {
    PulseList List;
    for (int K = 0; K < 5; ++K)
        List.Add(1000 + 790 * K + (K % 2) * 30, 1480 + 790 * K);
    Classify(List);
    for (int K = 0; K < 5; ++K)
        EXPECT_EQ(List.Store[K].GridPosition, List.Store[K].Peak);
}

} // namespace
