#include "platform/PeVersionReader.h"

#include <cstdint>
#include <fstream>
#include <optional>
#include <vector>

namespace {

// Upper bounds that keep a hostile file from making us read or allocate much.
constexpr std::uint32_t MaxSections = 96;
constexpr std::uint32_t MaxVersionResource = 64 * 1024;
constexpr int MaxResourceDepth = 3;
constexpr std::uint16_t ResourceTypeVersion = 16;

class FileReader {
public:
    explicit FileReader(const std::string& path) : In(path, std::ios::binary) {
        if (In) {
            In.seekg(0, std::ios::end);
            Size = static_cast<std::uint64_t>(In.tellg());
        }
    }

    bool ReadAt(std::uint64_t offset, void* out, std::uint64_t count) {
        if (!In || offset > Size || count > Size - offset)
            return false;
        In.seekg(static_cast<std::streamoff>(offset));
        In.read(static_cast<char*>(out), static_cast<std::streamsize>(count));
        return static_cast<std::uint64_t>(In.gcount()) == count;
    }

    std::optional<std::uint16_t> U16(std::uint64_t offset) {
        unsigned char b[2];
        if (!ReadAt(offset, b, 2))
            return std::nullopt;
        return static_cast<std::uint16_t>(b[0] | b[1] << 8);
    }

    std::optional<std::uint32_t> U32(std::uint64_t offset) {
        unsigned char b[4];
        if (!ReadAt(offset, b, 4))
            return std::nullopt;
        return static_cast<std::uint32_t>(b[0] | b[1] << 8 | b[2] << 16) |
               static_cast<std::uint32_t>(b[3]) << 24;
    }

private:
    std::ifstream In;
    std::uint64_t Size = 0;
};

struct Section {
    std::uint32_t VirtualAddress, RawOffset, RawSize;
};

class PeImage {
public:
    explicit PeImage(FileReader& file) : File(file) {}

    // Locates the section table and the resource directory.
    bool Load() {
        if (File.U16(0) != 0x5A4D) // "MZ"
            return false;
        const auto peOffset = File.U32(0x3C);
        if (!peOffset || File.U32(*peOffset) != 0x00004550) // "PE\0\0"
            return false;
        const std::uint64_t coff = *peOffset + 4ull;
        const auto sectionCount = File.U16(coff + 2);
        const auto optionalSize = File.U16(coff + 16);
        if (!sectionCount || !optionalSize || *sectionCount > MaxSections)
            return false;
        const std::uint64_t optional = coff + 20;
        const auto magic = File.U16(optional);
        std::uint64_t directories;
        if (magic == 0x10B)
            directories = optional + 96;
        else if (magic == 0x20B)
            directories = optional + 112;
        else
            return false;
        const std::uint64_t resourceEntry = directories + 2 * 8;
        if (resourceEntry + 8 > optional + *optionalSize)
            return false;
        const auto resourceRva = File.U32(resourceEntry);
        if (!resourceRva || *resourceRva == 0)
            return false;
        const std::uint64_t table = optional + *optionalSize;
        for (std::uint32_t i = 0; i < *sectionCount; ++i) {
            const std::uint64_t at = table + i * 40ull;
            const auto va = File.U32(at + 12);
            const auto rawSize = File.U32(at + 16), rawOffset = File.U32(at + 20);
            if (!va || !rawSize || !rawOffset)
                return false;
            Sections.push_back({*va, *rawOffset, *rawSize});
        }
        const auto root = FileOffset(*resourceRva);
        if (!root)
            return false;
        ResourceRoot = *root;
        return true;
    }

    // The file offset of an address of the loaded image.
    std::optional<std::uint64_t> FileOffset(std::uint32_t rva) const {
        for (const Section& s : Sections) {
            if (rva >= s.VirtualAddress && rva - s.VirtualAddress < s.RawSize)
                return std::uint64_t{s.RawOffset} + (rva - s.VirtualAddress);
        }
        return std::nullopt;
    }

    // The bytes of the first version resource (any name, any language).
    std::optional<std::vector<unsigned char>> VersionResource() {
        auto entry = FindEntry(ResourceRoot, ResourceTypeVersion, 0);
        if (!entry)
            return std::nullopt;
        const auto rva = File.U32(*entry), size = File.U32(*entry + 4);
        if (!rva || !size || *size == 0 || *size > MaxVersionResource)
            return std::nullopt;
        const auto at = FileOffset(*rva);
        std::vector<unsigned char> bytes(*size);
        if (!at || !File.ReadAt(*at, bytes.data(), bytes.size()))
            return std::nullopt;
        return bytes;
    }

private:
    // Walks down the resource tree: at the top level the entry with id `type`,
    // below it the first entry, until a data entry is reached.
    std::optional<std::uint64_t> FindEntry(std::uint64_t directory, std::uint16_t type, int depth) {
        if (depth >= MaxResourceDepth)
            return std::nullopt;
        const auto named = File.U16(directory + 12), ids = File.U16(directory + 14);
        if (!named || !ids)
            return std::nullopt;
        const std::uint32_t count = std::uint32_t{*named} + *ids;
        for (std::uint32_t i = 0; i < count; ++i) {
            const std::uint64_t entry = directory + 16 + i * 8ull;
            const auto name = File.U32(entry), target = File.U32(entry + 4);
            if (!name || !target)
                return std::nullopt;
            if (depth == 0 && *name != type)
                continue;
            const std::uint64_t child = ResourceRoot + (*target & 0x7FFFFFFF);
            if (*target & 0x80000000)
                return FindEntry(child, type, depth + 1);
            return child;
        }
        return std::nullopt;
    }

    FileReader& File;
    std::vector<Section> Sections;
    std::uint64_t ResourceRoot = 0;
};

// A node of the version resource tree: length, value length, type, a UTF-16
// key, padding to 4 bytes, the value, padding, then child nodes.
struct VersionNode {
    std::size_t Begin, End; // the node's bytes within the resource
    std::u16string Key;
    std::size_t ValueBegin;          // first byte after the key and its padding
    std::uint16_t ValueLength, Type; // value length in bytes (binary) or characters (text)
};

class VersionBlock {
public:
    explicit VersionBlock(const std::vector<unsigned char>& bytes) : Bytes(bytes) {}

    std::optional<VersionNode> NodeAt(std::size_t at, std::size_t limit) const {
        if (at + 6 > limit)
            return std::nullopt;
        const std::uint16_t length = U16(at);
        if (length < 6 || at + length > limit)
            return std::nullopt;
        VersionNode node{at, at + length, {}, 0, U16(at + 2), U16(at + 4)};
        std::size_t p = at + 6;
        for (;; p += 2) {
            if (p + 2 > node.End)
                return std::nullopt;
            const char16_t c = U16(p);
            if (c == 0)
                break;
            node.Key.push_back(c);
        }
        node.ValueBegin = Align(p + 2);
        return node;
    }

    // Children start after the value; a text value's length counts UTF-16 units.
    std::size_t ChildrenBegin(const VersionNode& node) const {
        const std::size_t valueBytes = node.Type == 1 ? node.ValueLength * 2u : node.ValueLength;
        return Align(node.ValueBegin + valueBytes);
    }

    std::u16string Text(const VersionNode& node) const {
        std::u16string text;
        for (std::size_t p = node.ValueBegin, n = 0; n < node.ValueLength && p + 2 <= node.End;
             p += 2, ++n) {
            const char16_t c = U16(p);
            if (c == 0)
                break;
            text.push_back(c);
        }
        return text;
    }

    template <typename Visit> void ForEachChild(const VersionNode& parent, Visit visit) const {
        std::size_t at = ChildrenBegin(parent);
        while (at < parent.End) {
            const auto child = NodeAt(at, parent.End);
            if (!child || visit(*child))
                return;
            at = Align(child->End);
        }
    }

private:
    std::uint16_t U16(std::size_t at) const {
        return static_cast<std::uint16_t>(Bytes[at] | Bytes[at + 1] << 8);
    }
    static std::size_t Align(std::size_t at) { return (at + 3) & ~std::size_t{3}; }

    const std::vector<unsigned char>& Bytes;
};

std::string ToUtf8(const std::u16string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        std::uint32_t c = text[i];
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] < 0xE000)
            c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
        } else if (c < 0x800) {
            out.push_back(static_cast<char>(0xC0 | c >> 6));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else if (c < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | c >> 12));
            out.push_back(static_cast<char>(0x80 | (c >> 6 & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | c >> 18));
            out.push_back(static_cast<char>(0x80 | (c >> 12 & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c >> 6 & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
    return out;
}

std::u16string ToUtf16Ascii(const std::string& text) {
    return std::u16string(text.begin(), text.end());
}

} // namespace

std::string ReadPeVersionString(const std::string& path, const std::string& key) {
    FileReader file(path);
    PeImage image(file);
    if (!image.Load())
        return {};
    const auto resource = image.VersionResource();
    if (!resource)
        return {};
    const VersionBlock block(*resource);
    const auto root = block.NodeAt(0, resource->size());
    if (!root || root->Key != u"VS_VERSION_INFO")
        return {};

    const std::u16string wanted = ToUtf16Ascii(key);
    std::optional<std::u16string> found;
    block.ForEachChild(*root, [&](const VersionNode& info) {
        if (info.Key != u"StringFileInfo")
            return false;
        block.ForEachChild(info, [&](const VersionNode& table) {
            block.ForEachChild(table, [&](const VersionNode& entry) {
                if (entry.Key == wanted)
                    found = block.Text(entry);
                return found.has_value();
            });
            return found.has_value();
        });
        return found.has_value();
    });
    return found ? ToUtf8(*found) : std::string{};
}
