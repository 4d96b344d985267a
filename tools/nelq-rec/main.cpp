// nelq-rec: looks into recordings and demo parts, and makes them, the way the
// client does. For developers, testers and the curious.

#include "DemoPartReader.h"
#include "OutputFile.h"
#include "RecordingGenerator.h"

#include "demo/UnitDemoPart.h"
#include "demo/UnitRecording.h"
#include "demo/UnitRecordingInfo.h"
#include "demo/UnitStreams.h"

#include <charconv>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

const char* const Usage =
    "usage: nelq-rec info REC\n"
    "       nelq-rec section REC OUT [--start-point] [--running-total MS]\n"
    "       nelq-rec unpack PART DIR\n"
    "       nelq-rec generate OUT --duration-ms N [--initial-block BYTES] [--seed S] [--cut]"
    " [--info TEXT]\n"
    "       nelq-rec join OUT PART...\n"
    "(generate: time ticks are 32 ms each, so they cover the duration rounded down to 32 ms)\n";

class EUsage : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Arguments after the command: positional ones first, then options.
class TArguments {
public:
    TArguments(int argc, char** argv) : FArgs(argv + 2, argv + argc) {}

    std::string Positional(std::size_t index) const {
        if (index >= FArgs.size() || FArgs[index].rfind("--", 0) == 0)
            throw EUsage("missing argument");
        return FArgs[index];
    }
    std::vector<std::string> PositionalFrom(std::size_t index) const {
        std::vector<std::string> rest;
        for (std::size_t i = index; i < FArgs.size(); ++i)
            rest.push_back(Positional(i));
        return rest;
    }
    bool Flag(const std::string& name) {
        for (std::size_t i = 0; i < FArgs.size(); ++i)
            if (FArgs[i] == name) {
                FArgs.erase(FArgs.begin() + static_cast<std::ptrdiff_t>(i));
                return true;
            }
        return false;
    }
    std::optional<std::string> Value(const std::string& name) {
        for (std::size_t i = 0; i < FArgs.size(); ++i)
            if (FArgs[i] == name) {
                if (i + 1 >= FArgs.size())
                    throw EUsage(name + " needs a value");
                std::string value = FArgs[i + 1];
                FArgs.erase(FArgs.begin() + static_cast<std::ptrdiff_t>(i),
                            FArgs.begin() + static_cast<std::ptrdiff_t>(i) + 2);
                return value;
            }
        return std::nullopt;
    }
    template <typename T> std::optional<T> Number(const std::string& name) {
        const std::optional<std::string> text = Value(name);
        if (!text)
            return std::nullopt;
        T value{};
        const auto [end, error] = std::from_chars(text->data(), text->data() + text->size(), value);
        if (error != std::errc() || end != text->data() + text->size())
            throw EUsage(name + " needs a number in range, not \"" + *text + "\"");
        return value;
    }
    // Every option must have been taken, and exactly `count` positionals remain.
    void ExpectPositionals(std::size_t count) const {
        if (FArgs.size() != count)
            throw EUsage("unexpected or missing arguments");
    }

private:
    std::vector<std::string> FArgs;
};

void Print(const std::string& key, const std::string& value) {
    std::cout << key << '=' << value << '\n';
}
void Print(const std::string& key, std::int64_t value) {
    Print(key, std::to_string(value));
}

void PrintPackets(TMemoryStream& packets) {
    Print("packet_bytes", static_cast<std::int64_t>(packets.ByteSize()));
    Print("demo_time_ms", MeasureDemoTime(packets.Memory(), packets.ByteSize()));
}

// A demo part given where a recording is expected would read as a recording
// with a nonsense initial block; describe it as what it is.
void InfoOfDemoPart(TFileStream& part, const std::string& path) {
    const TPacketStreamLocation location = LocatePacketStream(part, path);
    if (location.WholePart) {
        const TDemoPartHeader header = ReadDemoPartHeader(part);
        Print("kind", "demo_part");
        Print("duration_ms", header.DurationMs);
        Print("head_length", header.HeadLength);
        Print("body_offset", header.BodyOffset);
        Print("info", header.InfoText);
    } else {
        Print("kind", "demo_part_body");
    }
    TMemoryStream packets;
    UnpackPackets(part, location, packets);
    PrintPackets(packets);
}

void Info(TArguments& args) {
    args.ExpectPositionals(1);
    const std::string path = args.Positional(0);
    TFileStream file(path, TFileStream::TMode::OpenRead);
    if (file.Size() == 0 || IsWholeDemoPart(file) || IsBareDemoPartBody(file)) {
        InfoOfDemoPart(file, path);
        return;
    }
    const TRecordingHead head = ReadRecordingHead(file);
    TMemoryStream body;
    InflateRecordingBody(file, body);
    Print("kind", "recording");
    Print("duration_ms", head.DurationMs);
    Print("initial_block_length", head.InitialBlockLength);
    Print("head_bytes", static_cast<std::int64_t>(head.Bytes.size()));
    Print("body_bytes", static_cast<std::int64_t>(body.ByteSize()));
    Print("demo_time_ms", MeasureDemoTime(body.Memory(), body.ByteSize()));
    Print("info", ReadRecordingInfo(path, 0).CommaText);
}

void Section(TArguments& args) {
    const bool startPoint = args.Flag("--start-point");
    std::int64_t runningTotalMs = args.Number<std::int64_t>("--running-total").value_or(0);
    args.ExpectPositionals(2);
    const std::string recording = args.Positional(0);
    TOutputFile out(args.Positional(1), {recording, recording + ".log"});
    const std::int64_t bodyOffset =
        BuildSection(recording, out.TemporaryPath(), startPoint, runningTotalMs);
    out.Commit();
    Print("body_offset", bodyOffset);
}

void Unpack(TArguments& args) {
    args.ExpectPositionals(2);
    const std::string partPath = args.Positional(0);
    const std::filesystem::path directory = args.Positional(1);
    TFileStream part(partPath, TFileStream::TMode::OpenRead);
    const TDemoPartHeader header = ReadDemoPartHeader(part);
    std::filesystem::create_directories(directory);

    TOutputFile packetsFile((directory / "packets.bin").string(), {partPath});
    std::optional<TOutputFile> headFile;
    {
        TFileStream packets(packetsFile.TemporaryPath(), TFileStream::TMode::Create);
        if (header.Size > 0) {
            const TPacketStreamLocation location{true, header.HeadLength, header.BodyOffset};
            if (header.HeadLength > 0) {
                const std::vector<std::uint8_t> head = UnpackHead(part, location, partPath);
                headFile.emplace((directory / "head.rec").string(),
                                 std::vector<std::string>{partPath});
                TFileStream(headFile->TemporaryPath(), TFileStream::TMode::Create)
                    .WriteBuffer(head.data(), head.size());
            }
            UnpackPackets(part, location, packets);
        }
    }
    packetsFile.Commit();
    if (headFile)
        headFile->Commit();
    Print("duration_ms", header.DurationMs);
    Print("head_length", header.HeadLength);
    Print("info", header.InfoText);
}

void Generate(TArguments& args) {
    TGeneratorOptions options;
    const auto duration = args.Number<std::uint32_t>("--duration-ms");
    if (!duration)
        throw EUsage("--duration-ms is required");
    options.DurationMs = *duration;
    options.InitialBlockLength =
        args.Number<std::uint32_t>("--initial-block").value_or(options.InitialBlockLength);
    // An initial block is held in memory whole; keep it to a sane size.
    if (options.InitialBlockLength > 64u << 20)
        throw EUsage("--initial-block is limited to 64 MiB");
    options.Seed = args.Number<std::uint64_t>("--seed").value_or(options.Seed);
    options.Cut = args.Flag("--cut");
    options.InfoText = args.Value("--info");
    args.ExpectPositionals(1);
    GenerateRecording(args.Positional(0), options);
}

void Join(TArguments& args) {
    const std::string outPath = args.Positional(0);
    const std::vector<std::string> partPaths = args.PositionalFrom(1);
    if (partPaths.empty())
        throw EUsage("join needs at least one part");

    TOutputFile out(outPath, partPaths);
    {
        TFileStream first(partPaths.front(), TFileStream::TMode::OpenRead);
        const std::vector<std::uint8_t> head =
            UnpackHead(first, LocatePacketStream(first, partPaths.front()), partPaths.front());
        TFileStream recording(out.TemporaryPath(), TFileStream::TMode::Create);
        recording.WriteBuffer(head.data(), head.size());
        TRecordingWriter body(recording);
        for (const std::string& path : partPaths) {
            TFileStream part(path, TFileStream::TMode::OpenRead);
            TMemoryStream packets;
            UnpackPackets(part, LocatePacketStream(part, path), packets);
            body.AppendPacketStream(packets.Memory(), packets.ByteSize());
        }
        body.Finish();
    }
    out.Commit();
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::cerr << "nelq-rec: missing command\n" << Usage;
        return 1;
    }
    const std::string command = argv[1];
    try {
        TArguments args(argc, argv);
        if (command == "info")
            Info(args);
        else if (command == "section")
            Section(args);
        else if (command == "unpack")
            Unpack(args);
        else if (command == "generate")
            Generate(args);
        else if (command == "join")
            Join(args);
        else
            throw EUsage("unknown command \"" + command + "\"");
        return 0;
    } catch (const EUsage& error) {
        std::cerr << "nelq-rec: " << error.what() << '\n' << Usage;
    } catch (const std::exception& error) {
        std::cerr << "nelq-rec " << command << ": " << error.what() << '\n';
    }
    return 1;
}
