#pragma once

#include "audio/UnitMemoryBlockList.h"
#include "platform/Thread.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <vector>

class TSectionFile;
class TVorbisSection;

// Turns the queued commentary into one Ogg Vorbis file per demo section,
// "stream_<section>.ogg" in its directory. Marker blocks (complete, create)
// close the running file and open the next one with the next audio block.
class TEncodingThread : public TThread {
public:
    // `directory` ends in a separator; `qualityIndex` selects the encoder set-up
    // (an index outside the table means the first entry).
    TEncodingThread(SyncContext& sync, std::string directory, int32_t qualityIndex);
    ~TEncodingThread() override; // after Stop; an open file is closed unfinished

    // The queue's lock. Producers append between Lock and Unlock (see TBlockQueueLock).
    void Lock() { FLock.lock(); }
    void Unlock() { FLock.unlock(); }
    TListMemoryBlocks& Blocks() { return FBlocks; } // only while locked

    std::string SectionFileName(int32_t section) const;

protected:
    void Execute() override;

private:
    // One pass empties the queue; false when the run is to end.
    bool RunPass();
    // Takes markers and the next audio block off the queue; false when it is empty.
    bool TakeNextAudio();
    // Returns false when the run is to end (a completion without a creation).
    bool ChangeSection();
    void CloseSection();
    void OpenSection();
    void ClearEncoder();

    std::mutex FLock;
    TListMemoryBlocks FBlocks; // guarded by FLock
    const std::string FDirectory;
    int32_t FSection = -1;
    bool FCompleteSection = false;
    bool FCreateSection = false;
    std::unique_ptr<TSectionFile> FStream;
    std::unique_ptr<TVorbisSection> FEncoder; // none when the set-up failed
    const int32_t FQualityIndex;
    std::mt19937 FRandom;
    std::vector<uint8_t> FAudio; // private copy of the audio block being encoded
};

// Holds the encoder's queue lock for one append (or a few adjacent ones).
class TBlockQueueLock {
public:
    explicit TBlockQueueLock(TEncodingThread& encoder) : FEncoder(encoder) { FEncoder.Lock(); }
    ~TBlockQueueLock() { FEncoder.Unlock(); }
    TBlockQueueLock(const TBlockQueueLock&) = delete;
    TBlockQueueLock& operator=(const TBlockQueueLock&) = delete;

    TListMemoryBlocks& Blocks() { return FEncoder.Blocks(); }

private:
    TEncodingThread& FEncoder;
};
