#include "FilmerStreamParser.h"

#include <algorithm>
#include <cstdlib>

namespace {

constexpr std::size_t MaxLineLength = 16384; // what the server accepts
constexpr std::size_t TripleBytes = 3 * 4;

} // namespace

std::size_t TFilmerStreamParser::Feed(const char* data, std::size_t size,
                                      std::vector<TAnnounce>& announced) {
    std::size_t payload = 0;
    std::size_t at = 0;
    while (at < size && State != TState::Lost) {
        if (State == TState::BlockData) {
            const auto take = static_cast<std::size_t>(
                std::min<std::int64_t>(DataLeft, static_cast<std::int64_t>(size - at)));
            payload += take;
            at += take;
            DataLeft -= static_cast<std::int64_t>(take);
            if (DataLeft == 0)
                State = TState::Line;
        } else if (State == TState::Line) {
            const char c = data[at++];
            if (c == '\n')
                EndOfLine();
            else if (Line.size() < MaxLineLength)
                Line += c;
            else
                State = TState::Lost;
        } else {
            const std::size_t take = std::min(Wanted - Fields.size(), size - at);
            Fields.append(data + at, take);
            at += take;
            if (Fields.size() == Wanted)
                EndOfFields(announced);
        }
    }
    return payload;
}

void TFilmerStreamParser::EndOfLine() {
    if (!Line.empty() && Line.back() == '\r')
        Line.pop_back();
    if (Line.rfind("TRANSMIT\t", 0) == 0) {
        Section = static_cast<std::int32_t>(
            std::strtol(Line.c_str() + Line.rfind('\t') + 1, nullptr, 10));
        Expect(TState::TransmitTriples, 2 * TripleBytes);
    } else if (Line == "BLOCK") {
        Expect(TState::BlockHead, 8);
    }
    Line.clear();
}

void TFilmerStreamParser::Expect(TState state, std::size_t bytes) {
    State = state;
    Fields.clear();
    Wanted = bytes;
}

std::int32_t TFilmerStreamParser::Field(std::size_t index) const {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < 4; ++i)
        value = value << 8 | static_cast<unsigned char>(Fields[index * 4 + i]);
    return static_cast<std::int32_t>(value);
}

void TFilmerStreamParser::EndOfFields(std::vector<TAnnounce>& announced) {
    switch (State) {
    case TState::TransmitTriples:
        // The triples come in part order: the demo part, then the audio part.
        announced.push_back({Section, Field(1), Field(4)});
        State = TState::Line;
        break;
    case TState::BlockHead:
        // Kind 1 is an end-of-part marker with no data behind it.
        if (Field(1) == 0)
            Expect(TState::BlockCount, 4);
        else
            State = TState::Line;
        break;
    case TState::BlockCount:
        DataLeft = Field(0);
        State = DataLeft > 0 ? TState::BlockData : TState::Line;
        break;
    default:
        break;
    }
}
