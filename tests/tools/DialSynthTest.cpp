#include "DialSynth.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <cstdio>
#include <filesystem>
#include <fstream>

namespace {

namespace fs = std::filesystem;

// Magnitude of the DFT of X[From, To) at Hz, as an amplitude in full scale.
double AmplitudeAt(const std::vector<std::int16_t>& X, int From, int To, double Hz) {
    std::complex<double> Sum = 0;
    for (int N = From; N < To; ++N)
        Sum += (X[N] / 32767.0) * std::polar(1.0, -2 * M_PI * Hz * N / dialgen::SampleRate);
    return 2 * std::abs(Sum) / (To - From);
}

double Rms(const std::vector<std::int16_t>& X, int From, int To) {
    double Sum = 0;
    for (int N = From; N < To; ++N)
        Sum += (X[N] / 32768.0) * (X[N] / 32768.0);
    return std::sqrt(Sum / (To - From));
}

TEST(DialSynth, ToneDigitHasItsTwoFrequenciesAtTheirLevels) {
    dialgen::LineParams Line;
    Line.NoiseDb = -200;
    dialgen::Synth S(Line);
    dialgen::ToneParams Tone;
    Tone.LowLevelDb = -10;
    Tone.HighLevelDb = -6;
    Tone.ToneMs = 200;
    ASSERT_TRUE(S.AddToneDigit('8', Tone));
    std::vector<std::int16_t> X = S.Render();
    const dialgen::DigitEvent& E = S.Events().at(0);
    EXPECT_EQ(E.BeginSample, 4000) << "after 500 ms of lead silence";
    EXPECT_EQ(E.EndSample - E.BeginSample, 1600);
    EXPECT_NEAR(AmplitudeAt(X, E.BeginSample, E.EndSample, 852), std::pow(10, -10 / 20.0), 0.01);
    EXPECT_NEAR(AmplitudeAt(X, E.BeginSample, E.EndSample, 1336), std::pow(10, -6 / 20.0), 0.01);
    EXPECT_LT(AmplitudeAt(X, E.BeginSample, E.EndSample, 941), 0.01);
    EXPECT_EQ(X.size(), 4000u + 1600 + 800 + 8000);

    dialgen::Synth Off(Line);
    Tone.DeviationPercent = 2;
    Off.AddToneDigit('1', Tone);
    X = Off.Render();
    EXPECT_NEAR(AmplitudeAt(X, 4000, 5600, 697 * 1.02), std::pow(10, -10 / 20.0), 0.01);
    EXPECT_FALSE(Off.AddToneDigit('x', Tone));
}

TEST(DialSynth, PulseDigitHasItsBreaksAtTheRateAndRatio) {
    dialgen::LineParams Line;
    Line.NoiseDb = -200;
    dialgen::Synth S(Line);
    dialgen::PulseParams Pulse;
    Pulse.PulsesPerSecond = 10;
    Pulse.BreakPercent = 60;
    ASSERT_TRUE(S.AddPulseDigit('0', Pulse));
    std::vector<std::int16_t> X = S.Render();
    // Break clicks are positive steps, make clicks negative ones.
    std::vector<int> Breaks, Makes;
    for (size_t N = 1; N < X.size(); ++N) {
        if (X[N] > 10000 && X[N - 1] < 1000)
            Breaks.push_back(static_cast<int>(N));
        if (X[N] < -3000 && X[N - 1] > -300)
            Makes.push_back(static_cast<int>(N));
    }
    ASSERT_EQ(Breaks.size(), 10u) << "ten pulses for 0";
    ASSERT_EQ(Makes.size(), 10u);
    for (size_t K = 0; K < 10; ++K) {
        EXPECT_EQ(Breaks[K], 4000 + 800 * static_cast<int>(K));
        EXPECT_EQ(Makes[K] - Breaks[K], 480);
    }
    EXPECT_EQ(S.Events().at(0).Digit, '0');
    EXPECT_FALSE(S.Events().at(0).IsTone);
    EXPECT_LT(std::abs(X[Breaks[0] + 100]), 40) << "a click decays within a few ms";
    EXPECT_FALSE(S.AddPulseDigit('#', Pulse));
}

TEST(DialSynth, LineNoiseHumGainAndClipping) {
    dialgen::LineParams Line;
    Line.NoiseDb = -40;
    Line.LeadMs = 1000;
    Line.TrailMs = 0;
    std::vector<std::int16_t> Noise = dialgen::Synth(Line).Render();
    EXPECT_NEAR(20 * std::log10(Rms(Noise, 0, 8000)), -40, 0.5);

    Line.NoiseDb = -200;
    Line.HumDb = -20;
    Line.HumHz = 60;
    std::vector<std::int16_t> Hum = dialgen::Synth(Line).Render();
    EXPECT_NEAR(AmplitudeAt(Hum, 0, 8000, 60), 0.1, 0.002);

    Line.HumDb = -200;
    Line.GainDb = 20;
    dialgen::Synth Loud(Line);
    Loud.AddSingleTone(425, 500, -6);
    std::vector<std::int16_t> Clipped = Loud.Render();
    EXPECT_EQ(*std::max_element(Clipped.begin(), Clipped.end()), 32767);
    EXPECT_EQ(*std::min_element(Clipped.begin(), Clipped.end()), -32768);
}

TEST(DialSynth, SameSeedSameBytesOtherSeedOtherNoise) {
    dialgen::RecordingSpec A = dialgen::RandomSpec(11), B = dialgen::RandomSpec(11);
    EXPECT_EQ(dialgen::MakeRecording(A), dialgen::MakeRecording(B));
    EXPECT_NE(dialgen::MakeRecording(dialgen::RandomSpec(12)), dialgen::MakeRecording(A));
}

TEST(DialSynth, NamesCarryTheDigitsBetweenTheLastUnderscores) {
    EXPECT_EQ(dialgen::RecordName("pulse", "4711", "a"), "pulse_4711_a.raw");
}

std::string Temp(const std::string& Name) {
    return (fs::temp_directory_path() / ("dialgen_test_" + std::to_string(::getpid()) + "_" + Name))
        .string();
}

int RunDialgen(const std::string& Arguments) {
    std::string Command = std::string(DIALGEN_PATH) + " " + Arguments + " >/dev/null 2>&1";
    int Status = std::system(Command.c_str());
    return WIFEXITED(Status) ? WEXITSTATUS(Status) : -1;
}

TEST(DialgenProgram, WritesLittleEndianRecordingsNamedByTheirDigits) {
    std::string Dir = Temp("dir");
    fs::create_directories(Dir);
    ASSERT_EQ(RunDialgen("--digits 12 --mode pulse --dir " + Dir + " --suffix x"), 0);
    fs::path File = fs::path(Dir) / "pulse_12_x.raw";
    ASSERT_TRUE(fs::exists(File));

    dialgen::RecordingSpec Spec;
    Spec.Digits = "12";
    Spec.Kinds = "PP";
    std::vector<std::int16_t> Expected = dialgen::MakeRecording(Spec);
    std::ifstream In(File, std::ios::binary);
    std::vector<unsigned char> Bytes((std::istreambuf_iterator<char>(In)), {});
    ASSERT_EQ(Bytes.size(), Expected.size() * 2);
    for (size_t N = 0; N < Expected.size(); N += 97)
        ASSERT_EQ(static_cast<std::int16_t>(Bytes[2 * N] | Bytes[2 * N + 1] << 8), Expected[N])
            << N;
    fs::remove_all(Dir);
}

TEST(DialgenProgram, RefusesBadOptionsWithoutWritingAnything) {
    std::string Out = Temp("bad.raw");
    const char* Bad[] = {
        "--digits 12 --rate 50",   "--digits 12 --break abc",    "--digits 1x2",
        "--digits # --mode pulse", "--digits 12 --hum-hz 55",    "--mode tone",
        "--digits 12 --kinds TQ",  "--digits 12 --frobnicate 1", "--digits 12 --tone-ms 1.5",
        "--digits 12 --seed"};
    for (const char* Arguments : Bad) {
        EXPECT_EQ(RunDialgen(std::string(Arguments) + " --out " + Out), 2) << Arguments;
        EXPECT_FALSE(fs::exists(Out)) << Arguments;
    }
    EXPECT_EQ(RunDialgen("--digits 12 --out /nonexistent-folder/x.raw"), 2);
    EXPECT_EQ(RunDialgen("--help"), 0);
}

TEST(DialgenProgram, CorpusOfRandomRecordings) {
    std::string Dir = Temp("corpus");
    ASSERT_EQ(RunDialgen("--corpus " + Dir + " --count 3 --seed 5"), 0);
    int Count = 0;
    for (const auto& Entry : fs::directory_iterator(Dir)) {
        std::string Name = Entry.path().filename().string();
        EXPECT_EQ(Name.rfind("corpus_", 0), 0u) << Name;
        EXPECT_EQ(Entry.path().extension(), ".raw");
        ++Count;
    }
    EXPECT_EQ(Count, 3);
    fs::remove_all(Dir);
}

} // namespace
