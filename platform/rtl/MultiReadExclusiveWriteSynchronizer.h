// TMultiReadExclusiveWriteSynchronizer: many readers or one writer.
//
// The thread that holds the write side may take the write side and the read
// side again (nested); every Begin must be paired with its End. A writer that
// waits keeps new readers out, so a steady stream of readers cannot starve
// it. A thread holding only the read side must not ask for the write side:
// promotion is not supported and would wait for itself.
#pragma once

#include <condition_variable>
#include <mutex>
#include <thread>

class TMultiReadExclusiveWriteSynchronizer {
public:
    void BeginRead();
    void EndRead();
    void BeginWrite();
    void EndWrite();

private:
    std::mutex FMutex;
    std::condition_variable FChanged;
    int FReaders = 0;
    int FWaitingWriters = 0;
    std::thread::id FWriter;
    int FWriteDepth = 0;
    int FWriterReads = 0;
};
