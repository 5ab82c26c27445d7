// dialgen: writes synthetic telephone-line recordings (headerless 16-bit
// little-endian mono PCM at 8000 samples per second) for tests and demos.
#include "DialSynth.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <iostream>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace {

struct NumericOption {
    const char* Name;
    const char* Unit;
    double Low, High;
    std::function<double&(dialgen::RecordingSpec&)> Field;
    bool Integer;
};

dialgen::RecordingSpec Defaults() {
    dialgen::RecordingSpec Spec;
    return Spec;
}

// Integer fields are kept as doubles while parsing and copied back.
struct ParseState {
    dialgen::RecordingSpec Spec = Defaults();
    double ToneMs = 100, PauseMs = 100, InterDigitMs = 700, HumHz = 50, LeadMs = 500,
           TrailMs = 1000;
    double Seed = 1, Count = 10, DialToneMs = 0, DialToneDb = -13;
};

std::vector<NumericOption> Options(ParseState& S) {
    using dialgen::RecordingSpec;
    auto Ref = [](double& X) { return [&X](RecordingSpec&) -> double& { return X; }; };
    return {
        {"low-db", "dBFS", -60, 0, [](RecordingSpec& R) -> double& { return R.Tone.LowLevelDb; },
         false},
        {"high-db", "dBFS", -60, 0, [](RecordingSpec& R) -> double& { return R.Tone.HighLevelDb; },
         false},
        {"deviation", "%", -10, 10,
         [](RecordingSpec& R) -> double& { return R.Tone.DeviationPercent; }, false},
        {"tone-ms", "ms", 10, 60000, Ref(S.ToneMs), true},
        {"pause-ms", "ms", 0, 60000, Ref(S.PauseMs), true},
        {"rate", "pulses/s", 5, 20,
         [](RecordingSpec& R) -> double& { return R.Pulse.PulsesPerSecond; }, false},
        {"break", "%", 30, 90, [](RecordingSpec& R) -> double& { return R.Pulse.BreakPercent; },
         false},
        {"interdigit-ms", "ms", 0, 60000, Ref(S.InterDigitMs), true},
        {"click-db", "dBFS", -60, 0,
         [](RecordingSpec& R) -> double& { return R.Pulse.ClickLevelDb; }, false},
        {"decay-ms", "ms", 0.1, 20, [](RecordingSpec& R) -> double& { return R.Pulse.DecayMs; },
         false},
        {"swing-hz", "Hz", 1, 399, [](RecordingSpec& R) -> double& { return R.Pulse.SwingHz; },
         false},
        {"second-ratio", "x", 0, 1,
         [](RecordingSpec& R) -> double& { return R.Pulse.SecondClickRatio; }, false},
        {"jitter", "% of a period", 0, 20,
         [](RecordingSpec& R) -> double& { return R.Pulse.JitterPercent; }, false},
        {"noise-db", "dBFS RMS, -200 = none", -200, 0,
         [](RecordingSpec& R) -> double& { return R.Line.NoiseDb; }, false},
        {"hum-db", "dBFS, -200 = none", -200, 0,
         [](RecordingSpec& R) -> double& { return R.Line.HumDb; }, false},
        {"hum-hz", "Hz, 50 or 60", 50, 60, Ref(S.HumHz), true},
        {"gain-db", "dB", -60, 40, [](RecordingSpec& R) -> double& { return R.Line.GainDb; },
         false},
        {"lead-ms", "ms", 0, 60000, Ref(S.LeadMs), true},
        {"trail-ms", "ms", 0, 60000, Ref(S.TrailMs), true},
        {"dial-tone-ms", "ms of 425 Hz before the digits", 0, 60000, Ref(S.DialToneMs), true},
        {"dial-tone-db", "dBFS", -60, 0, Ref(S.DialToneDb), false},
        {"seed", "", 0, 4294967295.0, Ref(S.Seed), true},
        {"count", "recordings", 1, 100000, Ref(S.Count), true},
    };
}

void PrintHelp() {
    ParseState S;
    std::cout << "Usage: dialgen --digits DIGITS [options]\n"
                 "       dialgen --corpus DIR [--count N] [--seed S]\n"
                 "\n"
                 "Writes a headerless 16-bit signed little-endian mono recording at 8000\n"
                 "samples per second, named PREFIX_DIGITS_SUFFIX.raw in --dir unless --out\n"
                 "names the file.\n"
                 "\n"
                 "  --digits DIGITS     digits to dial: 0-9 * # (A-D for tone rejection tests)\n"
                 "  --mode MODE         tone, pulse or mix (default tone)\n"
                 "  --kinds KINDS       per digit T (tone) or P (pulse); implies --mode mix\n"
                 "                      (mix without --kinds alternates T and P)\n"
                 "  --prefix TEXT       name prefix (default: the mode)\n"
                 "  --suffix TEXT       name suffix (default a)\n"
                 "  --dir DIR           folder of the recording (default .)\n"
                 "  --out FILE          write exactly this file instead\n"
                 "  --corpus DIR        write --count recordings with random digits and line\n"
                 "                      conditions (see README) into DIR, from --seed\n"
                 "  --help              this text\n"
                 "\n"
                 "Numeric options (default, unit, range):\n";
    for (const auto& O : Options(S)) {
        double Value = O.Field(S.Spec);
        char Line[160];
        std::snprintf(Line, sizeof Line, "  --%-16s %-9g %s [%g .. %g]\n", O.Name, Value, O.Unit,
                      O.Low, O.High);
        std::cout << Line;
    }
    std::cout << "\nExit status: 0 written, 2 bad option or the file could not be written.\n";
}

int Fail(const std::string& Message) {
    std::cerr << "dialgen: " << Message << "\n";
    return 2;
}

bool ValidDigits(const std::string& Digits, const std::string& Kinds, std::string& Why) {
    if (Digits.empty()) {
        Why = "--digits is empty";
        return false;
    }
    for (size_t I = 0; I < Digits.size(); ++I) {
        char D = Digits[I];
        char Kind = Kinds[I];
        double Low, High;
        bool Ok = Kind == 'P' ? (D >= '0' && D <= '9') : dialgen::KeyFrequencies(D, Low, High);
        if (!Ok) {
            Why = std::string("cannot dial '") + D + "' as a " + (Kind == 'P' ? "pulse" : "tone") +
                  " digit";
            return false;
        }
    }
    return true;
}

void ApplyIntegers(ParseState& S) {
    S.Spec.Tone.ToneMs = static_cast<int>(S.ToneMs);
    S.Spec.Tone.PauseMs = static_cast<int>(S.PauseMs);
    S.Spec.Pulse.InterDigitMs = static_cast<int>(S.InterDigitMs);
    S.Spec.Line.HumHz = static_cast<int>(S.HumHz);
    S.Spec.Line.LeadMs = static_cast<int>(S.LeadMs);
    S.Spec.Line.TrailMs = static_cast<int>(S.TrailMs);
    S.Spec.Line.Seed = static_cast<std::uint32_t>(S.Seed);
}

std::vector<std::int16_t> Render(const ParseState& S) {
    dialgen::Synth Synth(S.Spec.Line);
    if (S.DialToneMs > 0) {
        Synth.AddSingleTone(425.0, static_cast<int>(S.DialToneMs), S.DialToneDb);
        Synth.AddSilence(300);
    }
    for (size_t I = 0; I < S.Spec.Digits.size(); ++I) {
        if (S.Spec.Kinds[I] == 'P')
            Synth.AddPulseDigit(S.Spec.Digits[I], S.Spec.Pulse);
        else
            Synth.AddToneDigit(S.Spec.Digits[I], S.Spec.Tone);
    }
    return Synth.Render();
}

} // namespace

int main(int argc, char** argv) {
    ParseState S;
    std::string Mode = "tone", Prefix, Suffix = "a", Dir = ".", Out, Corpus;
    bool HaveDigits = false, HaveKinds = false;
    std::vector<NumericOption> Numeric = Options(S);

    for (int I = 1; I < argc; ++I) {
        std::string Arg = argv[I];
        if (Arg == "--help" || Arg == "-h") {
            PrintHelp();
            return 0;
        }
        if (Arg.rfind("--", 0) != 0)
            return Fail("unexpected argument '" + Arg + "' (see --help)");
        std::string Name = Arg.substr(2), Value;
        size_t Equals = Name.find('=');
        if (Equals != std::string::npos) {
            Value = Name.substr(Equals + 1);
            Name = Name.substr(0, Equals);
        } else if (I + 1 < argc) {
            Value = argv[++I];
        } else {
            return Fail("--" + Name + " needs a value");
        }
        if (Name == "digits") {
            S.Spec.Digits = Value;
            HaveDigits = true;
        } else if (Name == "mode") {
            if (Value != "tone" && Value != "pulse" && Value != "mix")
                return Fail("--mode must be tone, pulse or mix, not '" + Value + "'");
            Mode = Value;
        } else if (Name == "kinds") {
            for (char& C : Value) {
                C = static_cast<char>(std::toupper(static_cast<unsigned char>(C)));
                if (C != 'T' && C != 'P')
                    return Fail("--kinds takes only T and P");
            }
            S.Spec.Kinds = Value;
            HaveKinds = true;
        } else if (Name == "prefix") {
            Prefix = Value;
        } else if (Name == "suffix") {
            Suffix = Value;
        } else if (Name == "dir") {
            Dir = Value;
        } else if (Name == "out") {
            Out = Value;
        } else if (Name == "corpus") {
            Corpus = Value;
        } else {
            const NumericOption* Found = nullptr;
            for (const auto& O : Numeric)
                if (Name == O.Name)
                    Found = &O;
            if (!Found)
                return Fail("unknown option --" + Name + " (see --help)");
            char* End = nullptr;
            errno = 0;
            double X = std::strtod(Value.c_str(), &End);
            if (Value.empty() || *End != '\0' || errno == ERANGE ||
                !(X >= Found->Low && X <= Found->High))
                return Fail("--" + Name + " must be a number from " + std::to_string(Found->Low) +
                            " to " + std::to_string(Found->High) + ", not '" + Value + "'");
            if (Found->Integer && X != static_cast<double>(static_cast<long long>(X)))
                return Fail("--" + Name + " must be a whole number, not '" + Value + "'");
            if (Name == "hum-hz" && X != 50 && X != 60)
                return Fail("--hum-hz must be 50 or 60");
            Found->Field(S.Spec) = X;
        }
    }
    ApplyIntegers(S);

    if (!Corpus.empty()) {
        if (HaveDigits)
            return Fail("--corpus makes its own digits; leave out --digits");
        struct stat Info {};
        if (::stat(Corpus.c_str(), &Info) != 0 && ::mkdir(Corpus.c_str(), 0777) != 0)
            return Fail("cannot create folder " + Corpus + ": " + std::strerror(errno));
        for (int N = 0; N < static_cast<int>(S.Count); ++N) {
            std::uint32_t Seed = static_cast<std::uint32_t>(S.Seed) + static_cast<std::uint32_t>(N);
            dialgen::RecordingSpec Spec = dialgen::RandomSpec(Seed);
            char Index[16];
            std::snprintf(Index, sizeof Index, "%05d", N);
            std::string Path = Corpus + "/" + dialgen::RecordName("corpus", Spec.Digits, Index);
            std::string Error;
            if (!dialgen::WriteRaw(Path, dialgen::MakeRecording(Spec), Error))
                return Fail(Error);
        }
        std::cout << "wrote " << static_cast<int>(S.Count) << " recordings to " << Corpus << "\n";
        return 0;
    }

    if (!HaveDigits)
        return Fail("--digits is required (see --help)");
    if (HaveKinds)
        Mode = "mix";
    if (!HaveKinds) {
        S.Spec.Kinds.clear();
        for (size_t I = 0; I < S.Spec.Digits.size(); ++I)
            S.Spec.Kinds += Mode == "pulse" ? 'P' : Mode == "tone" ? 'T' : (I % 2 ? 'P' : 'T');
    }
    if (S.Spec.Kinds.size() != S.Spec.Digits.size())
        return Fail("--kinds needs one letter per digit");
    std::string Why;
    if (!ValidDigits(S.Spec.Digits, S.Spec.Kinds, Why))
        return Fail(Why);

    std::string Path =
        Out.empty()
            ? Dir + "/" + dialgen::RecordName(Prefix.empty() ? Mode : Prefix, S.Spec.Digits, Suffix)
            : Out;
    std::string Error;
    if (!dialgen::WriteRaw(Path, Render(S), Error))
        return Fail(Error);
    std::cout << Path << "\n";
    return 0;
}
