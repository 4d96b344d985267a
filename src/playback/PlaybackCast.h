#pragma once

#include "demo/UnitDemoStartList.h"
#include "playback/CastAssembler.h"

#include <cstdint>
#include <string>

// What playback synchronisation reads of the cast being assembled: how far
// it has arrived, where each section ends on the audio and the demo time
// lines, and the rebuilt recordings still to be handed to the game.
class TPlaybackCast {
public:
    virtual ~TPlaybackCast() = default;
    virtual std::int32_t StartSection() const = 0;
    virtual std::int32_t LastCompletedSection() const = 0;
    virtual bool StreamsEnded() const = 0;
    virtual std::int32_t AudioEndTime(std::int32_t section) const = 0;
    virtual std::int32_t DemoEndTime(std::int32_t section) const = 0;
    virtual TListDemoStarts& DemoStarts() = 0;
};

// The cast as the main window's assembly builds it.
class TAssembledCast : public TPlaybackCast {
public:
    explicit TAssembledCast(TCastAssembler& assembler) : FAssembler(assembler) {}
    std::int32_t StartSection() const override { return FAssembler.StartSection(); }
    std::int32_t LastCompletedSection() const override { return FAssembler.LastCompletedSection(); }
    bool StreamsEnded() const override { return FAssembler.StreamsEnded(); }
    std::int32_t AudioEndTime(std::int32_t section) const override {
        return FAssembler.AudioEndTime()[section];
    }
    std::int32_t DemoEndTime(std::int32_t section) const override {
        return FAssembler.DemoEndTime()[section];
    }
    TListDemoStarts& DemoStarts() override { return FAssembler.DemoStarts(); }

private:
    TCastAssembler& FAssembler;
};
