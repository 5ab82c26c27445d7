#include "rtl/MultiReadExclusiveWriteSynchronizer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;

TEST(Synchronizer, WritersAreExclusiveReadersShared) {
    TMultiReadExclusiveWriteSynchronizer Lock;
    std::atomic<int> Inside{0}, MaxReaders{0};
    std::atomic<bool> WriterOverlap{false};
    long Counter = 0;
    std::vector<std::thread> Threads;
    for (int T = 0; T < 4; ++T)
        Threads.emplace_back([&, T] {
            for (int I = 0; I < 2000; ++I) {
                if ((I + T) % 3 == 0) {
                    Lock.BeginWrite();
                    if (Inside.fetch_add(1) != 0)
                        WriterOverlap = true;
                    ++Counter;
                    Inside.fetch_sub(1);
                    Lock.EndWrite();
                } else {
                    Lock.BeginRead();
                    int Now = Inside.fetch_add(1) + 1;
                    int Seen = MaxReaders.load();
                    while (Now > Seen && !MaxReaders.compare_exchange_weak(Seen, Now)) {
                    }
                    std::this_thread::yield();
                    Inside.fetch_sub(1);
                    Lock.EndRead();
                }
            }
        });
    for (auto& T : Threads)
        T.join();
    EXPECT_FALSE(WriterOverlap);
    Lock.BeginRead();
    long Expected = 0;
    for (int T = 0; T < 4; ++T)
        for (int I = 0; I < 2000; ++I)
            Expected += (I + T) % 3 == 0;
    EXPECT_EQ(Counter, Expected);
    Lock.EndRead();
}

TEST(Synchronizer, TwoReadersHoldTheLockAtOnce) {
    TMultiReadExclusiveWriteSynchronizer Lock;
    Lock.BeginRead();
    std::atomic<bool> OtherGotIn{false};
    std::thread Other([&] {
        Lock.BeginRead();
        OtherGotIn = true;
        Lock.EndRead();
    });
    Other.join(); // would hang if readers excluded each other
    EXPECT_TRUE(OtherGotIn);
    Lock.EndRead();
}

TEST(Synchronizer, WriterReentersWriteAndReadSides) {
    TMultiReadExclusiveWriteSynchronizer Lock;
    Lock.BeginWrite();
    Lock.BeginWrite();
    Lock.BeginRead();
    Lock.EndRead();
    Lock.EndWrite();
    std::atomic<bool> OtherGotIn{false};
    std::thread Other([&] {
        Lock.BeginRead();
        OtherGotIn = true;
        Lock.EndRead();
    });
    std::this_thread::sleep_for(20ms);
    EXPECT_FALSE(OtherGotIn) << "still held once";
    Lock.EndWrite();
    Other.join();
    EXPECT_TRUE(OtherGotIn);
}

TEST(Synchronizer, SteadyReadersDoNotStarveAWriter) {
    TMultiReadExclusiveWriteSynchronizer Lock;
    std::atomic<bool> Stop{false}, Wrote{false};
    std::vector<std::thread> Readers;
    for (int T = 0; T < 3; ++T)
        Readers.emplace_back([&] {
            while (!Stop) {
                Lock.BeginRead();
                std::this_thread::sleep_for(1ms);
                Lock.EndRead();
            }
        });
    std::this_thread::sleep_for(10ms);
    std::thread Writer([&] {
        Lock.BeginWrite();
        Wrote = true;
        Lock.EndWrite();
    });
    auto Deadline = std::chrono::steady_clock::now() + 20s;
    while (!Wrote && std::chrono::steady_clock::now() < Deadline)
        std::this_thread::sleep_for(1ms);
    Stop = true;
    for (auto& T : Readers)
        T.join();
    Writer.join();
    EXPECT_TRUE(Wrote);
}

} // namespace
