#include "DetectLogic.h"

#include "rtl/Exception.h"

TDetectLogic::TDetectLogic(TComponent* AOwner, TLineSink AddLine, TClearSink ClearLog)
    : TComponent(AOwner), FAddLine(std::move(AddLine)), FClearLog(std::move(ClearLog)) {
    SampleBuffer = new char[SampleBufferBytes];
    DigitDetector1 = new TDigitDetector(this);
    DigitDetector1->SetName("DigitDetector1");
    DigitDetector1->SetBlocking(false);
    DigitDetector1->BindEvents(this, &TDetectLogic::DigitDetector1DigitDetected,
                               &TDetectLogic::DigitDetector1DoSupplyBuffer,
                               &TDetectLogic::DigitDetector1DetectionEnd);
}

TDetectLogic::~TDetectLogic() {
    // The detector goes first, so that no supply call can reach a stream
    // that is already gone.
    delete DigitDetector1;
    DigitDetector1 = nullptr;
    delete FileStream;
    delete[] SampleBuffer;
}

bool TDetectLogic::Open(const std::string& FileName, std::string& Reason) {
    if (Detecting) {
        Reason = "a recording is being analysed";
        return false;
    }
    try {
        FileStream = new TFileStream(FileName, fmOpenRead);
        if (FClearLog)
            FClearLog();
        DialedNumber.clear();
        Detecting = true;
        FAddLine(BeginLine);
        DigitDetector1->BeginDetect(0, 0, true, true, true);
    } catch (const Exception& Error) {
        Reason = Error.Message();
        return false;
    }
    return true;
}

// Worker thread: only the stream and the buffer are touched here. The file
// is little-endian, as is every host this suite is built for.
void TDetectLogic::DigitDetector1DoSupplyBuffer(TComponent*, short*& Buffer, int& Length,
                                                bool& IsLastBuffer, int Position) {
    FileStream->Seek(static_cast<std::int64_t>(Position) * 2, soFromBeginning);
    int Bytes = FileStream->Read(SampleBuffer, SampleBufferBytes);
    Length = Bytes / 2;
    Buffer = reinterpret_cast<short*>(SampleBuffer);
    if (Length < SampleBufferBytes / 2)
        IsLastBuffer = true;
}

std::string TDetectLogic::DigitLine(char Digit, unsigned TimeTicks, bool IsDTMF) {
    return std::string(1, Digit) + ",  at:" + std::to_string(TimeTicks) +
           (IsDTMF ? ", type=Tone" : ", type=Pulse");
}

void TDetectLogic::DigitDetector1DigitDetected(TComponent*, char Digit, unsigned TimeTicks,
                                               bool IsDTMF) {
    FAddLine(DigitLine(Digit, TimeTicks, IsDTMF));
    DialedNumber += Digit;
}

void TDetectLogic::DigitDetector1DetectionEnd(TObject*) {
    delete FileStream;
    FileStream = nullptr;
    FAddLine(EndLine);
    FAddLine(NumberLinePrefix + DialedNumber);
    Detecting = false;
}
