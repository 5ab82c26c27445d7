#include "Harness.h"

#include <gtest/gtest.h>

namespace {

TEST(DetectorFrame, FreshDetectorIsStoppedAndBlocking) {
    TDigitDetector D(nullptr);
    EXPECT_EQ(D.GetDonePosition(), 0);
    EXPECT_EQ(D.GetCurrentPosition(), 0);
    EXPECT_EQ(D.GetCurrentTimeTicks(), 0u);
    EXPECT_TRUE(D.GetBlocking());
    EXPECT_FALSE(D.GetIgnorePulseDigits());
    EXPECT_EQ(D.GetPriority(), tpLowest);
    EXPECT_FALSE(D.ContinueDetect()) << "no run is active";
    EXPECT_EQ(D.GetPulseCount(), 0);
    EXPECT_EQ(D.GetLastPeakPosition(), 0);
    EXPECT_EQ(D.DecodeDialing(), 0) << "stopped: returns the done position";
}

TEST(DetectorFrame, SetCurrentPositionAccumulatesTicks) {
    TDigitDetector D(nullptr);
    D.SetCurrentPosition(8);
    EXPECT_EQ(D.GetCurrentTimeTicks(), 1u);
    D.SetCurrentPosition(16008);
    EXPECT_EQ(D.GetCurrentTimeTicks(), 2001u);
    D.SetCurrentPosition(8);
    EXPECT_EQ(D.GetCurrentTimeTicks(), 1u);
    D.SetCurrentPosition(5); // -3 / 8 truncates to 0
    EXPECT_EQ(D.GetCurrentTimeTicks(), 1u);
    EXPECT_EQ(D.GetCurrentPosition(), 5);
}

TEST(DetectorFrame, SetCurrentPositionIsIgnoredWhileAStepRuns) {
    TDigitDetector D(nullptr);
    harness::Samples S = harness::Silence(500);
    int Seen = -1;
    D.SetDoSupplyBuffer([&](TComponent*, short*& B, int& L, bool& Last, int) {
        D.SetCurrentPosition(123456);
        Seen = D.GetCurrentPosition();
        B = S.data();
        L = 500;
        Last = true;
    });
    D.BeginDetect(0, 0, true, true, true);
    D.ContinueDetect();
    EXPECT_EQ(Seen, 0);
    EXPECT_EQ(D.GetCurrentPosition(), 500);
}

TEST(DetectorFrame, PublishedPropertiesWithStoredDefaultsInOrder) {
    const TPublishedProperties& Table = TDigitDetector::PublishedProperties();
    std::vector<std::string> Names, Defaults;
    for (const auto& Row : Table) {
        Names.push_back(Row.Name);
        Defaults.push_back(Row.Default);
    }
    EXPECT_EQ(Names,
              (std::vector<std::string>{"Blocking", "IgnorePulseDigits", "Priority",
                                        "OnDigitDetected", "DoSupplyBuffer", "OnDetectionEnd"}));
    EXPECT_EQ(Defaults, (std::vector<std::string>{"true", "false", "tpLowest", "", "", ""}));

    TDigitDetector D(nullptr);
    for (const auto& Row : Table) {
        if (!Row.Default.empty()) {
            EXPECT_EQ(Row.GetText(&D), Row.Default) << Row.Name;
        }
    }
    // A stored form: Priority first in the file, applied after Blocking.
    EXPECT_TRUE(
        ApplyStoredProperties(&D, Table, {{"Priority", "tpHigher"}, {"Blocking", "false"}}));
    EXPECT_FALSE(D.GetBlocking());
    EXPECT_EQ(D.GetPriority(), tpHigher);
    EXPECT_FALSE(ApplyStoredProperties(&D, Table, {{"Priority", "tpFast"}}));
}

} // namespace
