#include "rtl/FileStream.h"
#include "rtl/Exception.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>

namespace {

std::string TempPath(const char* Name) {
    return (std::filesystem::temp_directory_path() /
            ("orvane_rtl_" + std::to_string(::getpid()) + Name))
        .string();
}

TEST(FileStream, CreateWriteSeekRead) {
    std::string Path = TempPath("_rw.bin");
    {
        TFileStream Out(Path, fmCreate);
        EXPECT_EQ(Out.Write("0123456789", 10), 10);
        EXPECT_EQ(Out.GetSize(), 10);
    }
    TFileStream In(Path, fmOpenRead);
    char Buffer[16] = {};
    EXPECT_EQ(In.Seek(4, soFromBeginning), 4);
    EXPECT_EQ(In.Read(Buffer, 3), 3);
    EXPECT_EQ(std::string(Buffer, 3), "456");
    EXPECT_EQ(In.GetPosition(), 7);
    EXPECT_EQ(In.Read(Buffer, 16), 3) << "a read stops at the end";
    EXPECT_EQ(In.Seek(100, soFromBeginning), 100);
    EXPECT_EQ(In.Read(Buffer, 16), 0) << "a read past the end gives nothing";
    EXPECT_EQ(In.Seek(-2, soFromEnd), 8);
    std::remove(Path.c_str());
}

TEST(FileStream, FailedOpenThrowsWithNameAndReason) {
    std::string Path = TempPath("_missing.raw");
    try {
        TFileStream In(Path, fmOpenRead);
        FAIL() << "opened a missing file";
    } catch (const EFOpenError& E) {
        EXPECT_NE(E.Message().find(Path), std::string::npos);
        EXPECT_NE(E.Message().find("No such file"), std::string::npos);
    }
    EXPECT_THROW(TFileStream(std::filesystem::temp_directory_path().string(), fmOpenRead),
                 EFOpenError);
}

} // namespace
