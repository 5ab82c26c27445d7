// TDetectLogic: what "Digit Detector" does with one recording, shared by the
// window and the command line: it opens the raw file, feeds it to a
// non-blocking detector in 10-second buffers, and writes one log line per
// digit, then the end line and the dialled number. The log lines go to a
// sink of the caller's: the window's memo, or standard output.
#pragma once

#include "DigitDetector.h"
#include "rtl/FileStream.h"

#include <functional>
#include <string>

class TDetectLogic : public TComponent {
public:
    using TLineSink = std::function<void(const std::string& Line)>;
    using TClearSink = std::function<void()>;

    static constexpr int SampleBufferBytes = 160000; // 80000 samples, 10 s

    TDetectLogic(TComponent* AOwner, TLineSink AddLine, TClearSink ClearLog);
    ~TDetectLogic() override;

    // The Open command after the dialog: opens FileName read-only, clears
    // the log and starts the run. Returns false with the system's reason
    // when the file cannot be opened; then nothing has changed.
    bool Open(const std::string& FileName, std::string& Reason);
    bool IsDetecting() const { return Detecting; }
    const std::string& GetDialedNumber() const { return DialedNumber; }

    // The detector's three events.
    void DigitDetector1DoSupplyBuffer(TComponent* Sender, short*& Buffer, int& Length,
                                      bool& IsLastBuffer, int Position);
    void DigitDetector1DigitDetected(TComponent* Sender, char Digit, unsigned TimeTicks,
                                     bool IsDTMF);
    void DigitDetector1DetectionEnd(TObject* Sender);

    // "5,  at:1234, type=Tone".
    static std::string DigitLine(char Digit, unsigned TimeTicks, bool IsDTMF);

    static constexpr const char* BeginLine = "-------- Begin Detecting -------";
    static constexpr const char* EndLine = "------------ End -------------";
    static constexpr const char* NumberLinePrefix = " Dialed Numer = ";
    static constexpr const char* OpenFailedMessage = "The file cannot be opened!";

    TDigitDetector* DigitDetector1;

private:
    TFileStream* FileStream = nullptr;
    char* SampleBuffer;
    bool Detecting = false;
    std::string DialedNumber;

    TLineSink FAddLine;
    TClearSink FClearLog;
};
