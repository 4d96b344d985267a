#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Follows the filmer's side of the casting protocol as it passes a relay:
// CR LF lines; "TRANSMIT" followed by three (kind, size, body offset) triples;
// "BLOCK" followed by part and kind, and for data (kind 0) a counted block.
class TFilmerStreamParser {
public:
    struct TAnnounce {
        std::int32_t Section = 0;
        std::int32_t DemoSize = 0; // 0 for a fake section
        std::int32_t AudioSize = 0;
    };

    // Takes the next bytes of the stream; returns how many of them are block
    // data (the upload's payload) and appends the sections announced in them.
    std::size_t Feed(const char* data, std::size_t size, std::vector<TAnnounce>& announced);

    // A line longer than the protocol allows: the stream is no longer followed.
    bool Lost() const { return State == TState::Lost; }

private:
    enum class TState { Line, TransmitTriples, BlockHead, BlockCount, BlockData, Lost };

    void EndOfLine();
    void EndOfFields(std::vector<TAnnounce>& announced);
    std::int32_t Field(std::size_t index) const;
    void Expect(TState state, std::size_t bytes);

    TState State = TState::Line;
    std::string Line;
    std::string Fields;        // big-endian integers being collected
    std::size_t Wanted = 0;    // bytes of Fields the state needs
    std::int64_t DataLeft = 0; // of the counted block
    std::int32_t Section = 0;
};
