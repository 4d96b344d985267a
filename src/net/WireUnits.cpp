#include "net/WireUnits.h"

#include "net/NelqExceptions.h"

namespace Wire {

std::array<char, 4> EncodeInt32(std::int32_t value) {
    const auto bits = static_cast<std::uint32_t>(value);
    return {static_cast<char>(bits >> 24), static_cast<char>(bits >> 16),
            static_cast<char>(bits >> 8), static_cast<char>(bits)};
}

std::int32_t DecodeInt32(const char* bytes) {
    std::uint32_t value = 0;
    for (int i = 0; i < 4; ++i)
        value = (value << 8) | static_cast<std::uint8_t>(bytes[i]);
    return static_cast<std::int32_t>(value);
}

std::string Line(std::string_view text) {
    std::string line;
    AppendLine(line, text);
    return line;
}

void AppendInt32(std::string& message, std::int32_t value) {
    const auto bytes = EncodeInt32(value);
    message.append(bytes.data(), bytes.size());
}

void AppendLine(std::string& message, std::string_view text) {
    message.append(text);
    message.append("\r\n");
}

TLineScan ScanLine(std::string_view pending, std::size_t scanned) {
    const std::size_t lf = pending.find('\n', scanned);
    if (lf != std::string_view::npos) {
        std::size_t length = lf;
        if (length > 0 && pending[length - 1] == '\r')
            --length;
        if (length > MaxLineLength)
            throw ENelqConnectionError("Max line length exceeded.");
        return {true, std::string(pending.substr(0, length)), lf + 1};
    }
    // Room for the longest line plus its CR.
    if (pending.size() > MaxLineLength + 1)
        throw ENelqConnectionError("Max line length exceeded.");
    return {};
}

void CheckBlockCount(std::int32_t count, std::int32_t maxCount) {
    if (count < 0)
        throw ENelqProtocolError("Invalid block size " + std::to_string(count) + ".");
    if (count > maxCount)
        throw ENelqProtocolError("Block of " + std::to_string(count) + " bytes, " +
                                 std::to_string(maxCount) + " allowed.");
}

} // namespace Wire
