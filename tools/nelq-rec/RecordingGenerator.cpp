#include "RecordingGenerator.h"

#include "demo/UnitCompression.h"
#include "demo/UnitRecording.h"
#include "demo/UnitStreams.h"

#include <cstring>
#include <filesystem>

namespace {

// splitmix64: the same sequence on every platform for a given seed.
class TRandom {
public:
    explicit TRandom(std::uint64_t seed) : FState(seed) {}
    std::uint64_t Next() {
        std::uint64_t z = (FState += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    unsigned Below(unsigned limit) { return static_cast<unsigned>(Next() % limit); }

private:
    std::uint64_t FState;
};

void AppendBlock(std::vector<std::uint8_t>& out, std::uint16_t header, TRandom& random) {
    out.push_back(static_cast<std::uint8_t>(header & 0xFF));
    out.push_back(static_cast<std::uint8_t>(header >> 8));
    // Game-like data: a narrow alphabet with runs, so it compresses moderately.
    const std::size_t length = PacketPayloadLength(header);
    std::uint8_t value = 0;
    for (std::size_t i = 0; i < length; ++i) {
        if (random.Below(4) == 0)
            value = static_cast<std::uint8_t>(random.Below(24) * 7);
        out.push_back(value);
    }
}

std::uint16_t PayloadHeader(TRandom& random) {
    if (random.Below(2) == 0) {
        // Short rule: bits 8 to 11 clear, the low byte is the length.
        std::uint8_t high;
        do
            high = static_cast<std::uint8_t>(random.Below(16) << 4);
        while (high == 0x20);
        return static_cast<std::uint16_t>(high << 8 | random.Below(256));
    }
    // Long rule: some of bits 8 to 11 set, the whole word is the length.
    return static_cast<std::uint16_t>((random.Below(7) + 1) << 8 | random.Below(256));
}

void PutLittleEndian32(std::uint8_t* p, std::uint32_t value) {
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

std::string InfoFileText(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n' || (text[i] == '\\' && i + 1 < text.size() && text[i + 1] == 'n')) {
            out += "\r\n";
            i += text[i] == '\\' ? 1 : 0;
        } else {
            out += text[i];
        }
    }
    return out + "\r\n";
}

} // namespace

std::vector<std::uint8_t> GeneratePacketStream(std::uint32_t durationMs, std::uint64_t seed) {
    TRandom random(seed);
    std::vector<std::uint8_t> packets;
    for (std::uint32_t tick = 0; tick < durationMs / DemoTickMs; ++tick) {
        for (unsigned blocks = random.Below(4); blocks > 0; --blocks)
            AppendBlock(packets, PayloadHeader(random), random);
        AppendBlock(packets, static_cast<std::uint16_t>(0x2000 | random.Below(16)), random);
    }
    return packets;
}

TGeneratedRecording GenerateRecordingBytes(const TGeneratorOptions& options) {
    TRandom random(options.Seed ^ 0xA5A5A5A5u);
    TGeneratedRecording recording;
    std::vector<std::uint8_t>& head = recording.Head;
    head.resize(RecordingHeaderSize + options.InitialBlockLength);
    std::memcpy(head.data(), "synthetic t2 demo 0001", RecordingDurationOffset);
    PutLittleEndian32(head.data() + RecordingDurationOffset, options.DurationMs);
    PutLittleEndian32(head.data() + RecordingInitialBlockLengthOffset, options.InitialBlockLength);
    for (std::size_t i = RecordingHeaderSize; i < head.size(); ++i)
        head[i] = static_cast<std::uint8_t>(random.Next());

    const std::vector<std::uint8_t> packets =
        GeneratePacketStream(options.DurationMs, options.Seed);
    TMemoryStream body;
    {
        TRecordingWriter writer(body, 2);
        writer.AppendPacketStream(packets.data(), packets.size());
        writer.Finish();
    }
    // Half way through the body lies inside a deflate block: the zlib header
    // comes before it and the checksum after it.
    const std::size_t bodySize = options.Cut ? body.ByteSize() / 2 : body.ByteSize();
    recording.Body.assign(body.Memory(), body.Memory() + bodySize);
    return recording;
}

void WriteInfoFile(const std::string& recordingPath, const std::string& text) {
    // Whole or not at all: whoever waits for the info file reads it as soon
    // as its name appears.
    const std::string lines = InfoFileText(text);
    const std::string infoPath = recordingPath + ".log";
    const std::string partPath = infoPath + ".part";
    {
        TFileStream info(partPath, TFileStream::TMode::Create);
        info.WriteBuffer(lines.data(), lines.size());
    }
    std::filesystem::rename(partPath, infoPath);
}

void GenerateRecording(const std::string& path, const TGeneratorOptions& options) {
    const TGeneratedRecording recording = GenerateRecordingBytes(options);
    TFileStream file(path, TFileStream::TMode::Create);
    file.WriteBuffer(recording.Head.data(), recording.Head.size());
    file.WriteBuffer(recording.Body.data(), recording.Body.size());
    if (options.InfoText)
        WriteInfoFile(path, *options.InfoText);
}
