#include "FileStream.h"

#include "Exception.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

TFileStream::TFileStream(const std::string& FileName, unsigned Mode) : FFileName(FileName) {
    int Flags;
    if (Mode == fmCreate)
        Flags = O_RDWR | O_CREAT | O_TRUNC;
    else if ((Mode & 3) == fmOpenWrite)
        Flags = O_WRONLY;
    else if ((Mode & 3) == fmOpenReadWrite)
        Flags = O_RDWR;
    else
        Flags = O_RDONLY;
    FHandle = ::open(FileName.c_str(), Flags | O_CLOEXEC, 0666);
    if (FHandle < 0) {
        int Reason = errno;
        throw EFOpenError("Cannot " + std::string(Mode == fmCreate ? "create" : "open") +
                          " file \"" + FileName + "\". " + std::strerror(Reason));
    }
    struct stat Info {};
    if (::fstat(FHandle, &Info) == 0 && S_ISDIR(Info.st_mode)) {
        ::close(FHandle);
        FHandle = -1;
        throw EFOpenError("Cannot open file \"" + FileName + "\". " + std::strerror(EISDIR));
    }
}

TFileStream::~TFileStream() {
    if (FHandle >= 0)
        ::close(FHandle);
}

std::int64_t TFileStream::Seek(std::int64_t Offset, int Origin) {
    int Whence = Origin == soFromCurrent ? SEEK_CUR : Origin == soFromEnd ? SEEK_END : SEEK_SET;
    return ::lseek(FHandle, static_cast<off_t>(Offset), Whence);
}

int TFileStream::Read(void* Buffer, int Count) {
    int Total = 0;
    auto* Bytes = static_cast<char*>(Buffer);
    while (Total < Count) {
        ssize_t Got = ::read(FHandle, Bytes + Total, static_cast<size_t>(Count - Total));
        if (Got < 0 && errno == EINTR)
            continue;
        if (Got <= 0)
            break;
        Total += static_cast<int>(Got);
    }
    return Total;
}

int TFileStream::Write(const void* Buffer, int Count) {
    int Total = 0;
    const auto* Bytes = static_cast<const char*>(Buffer);
    while (Total < Count) {
        ssize_t Put = ::write(FHandle, Bytes + Total, static_cast<size_t>(Count - Total));
        if (Put < 0 && errno == EINTR)
            continue;
        if (Put <= 0)
            throw EStreamError("Stream write error on \"" + FFileName + "\". " +
                               std::strerror(errno));
        Total += static_cast<int>(Put);
    }
    return Total;
}

std::int64_t TFileStream::GetSize() const {
    struct stat Info {};
    return ::fstat(FHandle, &Info) == 0 ? static_cast<std::int64_t>(Info.st_size) : -1;
}

std::int64_t TFileStream::GetPosition() const {
    return ::lseek(FHandle, 0, SEEK_CUR);
}
