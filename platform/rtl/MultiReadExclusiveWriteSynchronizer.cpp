#include "MultiReadExclusiveWriteSynchronizer.h"

void TMultiReadExclusiveWriteSynchronizer::BeginRead() {
    std::unique_lock Lock(FMutex);
    if (FWriteDepth > 0 && FWriter == std::this_thread::get_id()) {
        ++FWriterReads;
        return;
    }
    FChanged.wait(Lock, [this] { return FWriteDepth == 0 && FWaitingWriters == 0; });
    ++FReaders;
}

void TMultiReadExclusiveWriteSynchronizer::EndRead() {
    std::unique_lock Lock(FMutex);
    if (FWriteDepth > 0 && FWriter == std::this_thread::get_id() && FWriterReads > 0) {
        --FWriterReads;
        return;
    }
    if (FReaders > 0 && --FReaders == 0) {
        Lock.unlock();
        FChanged.notify_all();
    }
}

void TMultiReadExclusiveWriteSynchronizer::BeginWrite() {
    std::unique_lock Lock(FMutex);
    if (FWriteDepth > 0 && FWriter == std::this_thread::get_id()) {
        ++FWriteDepth;
        return;
    }
    ++FWaitingWriters;
    FChanged.wait(Lock, [this] { return FWriteDepth == 0 && FReaders == 0; });
    --FWaitingWriters;
    FWriter = std::this_thread::get_id();
    FWriteDepth = 1;
}

void TMultiReadExclusiveWriteSynchronizer::EndWrite() {
    std::unique_lock Lock(FMutex);
    if (FWriteDepth == 0 || FWriter != std::this_thread::get_id())
        return;
    if (--FWriteDepth == 0) {
        FWriter = std::thread::id();
        FWriterReads = 0;
        Lock.unlock();
        FChanged.notify_all();
    }
}
