// TFileStream: a file opened for reading (fmOpenRead) or created for writing
// (fmCreate), read and written at a movable position. An open that fails
// throws EFOpenError with the file name and the system's reason.
#pragma once

#include "Object.h"

#include <cstdint>
#include <string>

enum : unsigned {
    fmOpenRead = 0x0000,
    fmOpenWrite = 0x0001,
    fmOpenReadWrite = 0x0002,
    fmCreate = 0xFF00,
};

enum : int { soFromBeginning = 0, soFromCurrent = 1, soFromEnd = 2 };

class TFileStream : public TObject {
public:
    TFileStream(const std::string& FileName, unsigned Mode);
    ~TFileStream() override;

    // Returns the new position, or -1 if the system refused the move.
    std::int64_t Seek(std::int64_t Offset, int Origin);
    // Reads up to Count bytes; returns how many were read (0 at the end).
    int Read(void* Buffer, int Count);
    // Writes Count bytes; throws EStreamError if the system refuses any.
    int Write(const void* Buffer, int Count);
    std::int64_t GetSize() const;
    std::int64_t GetPosition() const;
    const std::string& GetFileName() const { return FFileName; }

private:
    std::string FFileName;
    int FHandle = -1;
};
