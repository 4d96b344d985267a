#include "ViewerStreamMarks.h"

#include <cstdint>

namespace {

// Reads the downstream units one by one; stops where the bytes run out.
class TDownstreamReader {
public:
    explicit TDownstreamReader(const std::string& bytes) : Bytes(bytes) {}

    std::vector<TViewerMarkAt> Marks() {
        for (int line = 0; line < 3; ++line)
            if (!SkipLine())
                return FMarks;
        std::int32_t games = 0;
        if (!Int(games))
            return FMarks;
        for (std::int32_t game = 0; game < games; ++game)
            if (!SkipLine())
                return FMarks;
        while (Section()) {
        }
        return FMarks;
    }

private:
    // One section header (or a keep-alive in its place) and the blocks up to
    // the section's last end; false when the bytes run out or the cast ends.
    bool Section() {
        const std::size_t begin = At;
        std::int32_t count = 0;
        if (!Int(count))
            return false;
        if (count == 0) {
            FMarks.push_back({TViewerMark::KeepAlive, begin});
            return true;
        }
        if (count < 0)
            return false;
        FMarks.push_back({TViewerMark::SectionHeader, begin});
        if (!Skip(12 * static_cast<std::size_t>(count)))
            return false;
        for (std::int32_t open = count; open > 0;)
            if (!Block(open))
                return false;
        return true;
    }

    bool Block(std::int32_t& open) {
        const std::size_t begin = At;
        std::int32_t slot = 0, kind = 0, size = 0;
        if (!Int(slot))
            return false;
        if (slot < 0) {
            FMarks.push_back({TViewerMark::KeepAlive, begin});
            return true;
        }
        if (!Int(kind))
            return false;
        if (kind == 1) {
            FMarks.push_back({TViewerMark::StreamEnd, begin});
            --open;
            return true;
        }
        FMarks.push_back({TViewerMark::DataBlock, begin});
        return Int(size) && Skip(static_cast<std::size_t>(size));
    }

    bool SkipLine() {
        const std::size_t lf = Bytes.find('\n', At);
        if (lf == std::string::npos)
            return false;
        At = lf + 1;
        return true;
    }

    bool Skip(std::size_t count) {
        if (Bytes.size() - At < count)
            return false;
        At += count;
        return true;
    }

    bool Int(std::int32_t& value) {
        if (Bytes.size() - At < 4)
            return false;
        std::uint32_t bits = 0;
        for (int i = 0; i < 4; ++i)
            bits = (bits << 8) | static_cast<unsigned char>(Bytes[At + i]);
        value = static_cast<std::int32_t>(bits);
        At += 4;
        return true;
    }

    const std::string& Bytes;
    std::size_t At = 0;
    std::vector<TViewerMarkAt> FMarks;
};

} // namespace

std::vector<TViewerMarkAt> ViewerMarks(const std::string& downstream) {
    return TDownstreamReader(downstream).Marks();
}

TFault::TLocator AtViewerMark(TViewerMark kind, int occurrence, std::size_t offset) {
    return [kind, occurrence, offset](const std::string& seen) {
        int found = 0;
        for (const TViewerMarkAt& mark : ViewerMarks(seen))
            if (mark.Kind == kind && ++found == occurrence)
                return mark.Begin + offset;
        return std::string::npos;
    };
}
