// Assembles one section whose packet stream is large (a whole demo part, as at
// a start point) and compares time and peak memory with the reference pipeline
// on the same demo part: `bunzip2` piped into python3's zlib writing stored
// blocks (level 0) to a file.
//
//   bench_section_assembly [PACKET_MB]      (default 20)

#include "RecordingGenerator.h"
#include "TimedRun.h"

#include "audio/UnitAudioQuality.h"
#include "audio/UnitSectionFile.h"
#include "audio/UnitVorbisSection.h"
#include "demo/UnitCompression.h"
#include "demo/UnitDemoPart.h"
#include "demo/UnitRecording.h"
#include "playback/CastAssembler.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

constexpr int Rounds = 5;
constexpr std::uint32_t InitialBlockLength = 4096;

struct TRun : TTimedRun {
    double AssemblySeconds = 0; // SectionComplete and Finish alone, from the child
};

TRun Spawn(const std::vector<std::string>& argv, const std::string& reportPath = {}) {
    TRun run{RunTimed(argv)};
    if (!reportPath.empty())
        std::ifstream(reportPath) >> run.AssemblySeconds;
    return run;
}

TRun Best(const std::vector<TRun>& runs) {
    return *std::min_element(runs.begin(), runs.end(),
                             [](const TRun& a, const TRun& b) { return a.Seconds < b.Seconds; });
}

std::uint32_t DurationForPacketBytes(std::size_t bytes) {
    constexpr std::uint32_t SampleMs = 64000;
    const std::size_t sample = GeneratePacketStream(SampleMs, 1).size();
    return static_cast<std::uint32_t>(static_cast<double>(bytes) / sample * SampleMs);
}

void WriteAudioPart(const std::string& path) {
    const TAudioQuality& quality = AudioQualities[0];
    const std::vector<std::uint8_t> silence(static_cast<std::size_t>(quality.Rate) * 2);
    TSectionFile file(path);
    TVorbisSection encoder(quality, 1, file);
    encoder.Encode(silence.data(), silence.size());
    encoder.Finish();
}

std::string InflatedBody(const std::string& path, std::int64_t offset) {
    TFileStream file(path, TFileStream::TMode::OpenRead);
    file.SetPosition(offset);
    TMemoryStream plain;
    InflateRecordingBody(file, plain);
    return {reinterpret_cast<const char*>(plain.Memory()), plain.ByteSize()};
}

// One assembly in a process of its own, so that its peak memory is its own.
int Child(const std::string& dir, const std::string& report) {
    TAssemblySettings settings;
    settings.CastDirectory = dir + "/cast/";
    settings.GameDirectory = dir + "/game/";
    TCastAssembler assembler;
    assembler.BeginRun(settings);
    const auto start = std::chrono::steady_clock::now();
    assembler.SectionComplete(0, 1032);
    assembler.Finish();
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    std::ofstream(report) << elapsed.count();
    return 0;
}

// Writes the cast's demo and audio parts and the demo part's body alone.
int Prepare(const std::string& dir, double packetMiB) {
    const std::string rec = dir + "/big.rec";
    const std::string part = dir + "/cast/demo_0.rec";
    const std::string body = dir + "/body.bz2";
    TGeneratorOptions options;
    options.DurationMs = DurationForPacketBytes(static_cast<std::size_t>(packetMiB * 1048576));
    options.InitialBlockLength = InitialBlockLength;
    GenerateRecording(rec, options);
    std::int64_t runningTotal = 0;
    const std::int64_t bodyOffset = BuildSection(rec, part, true, runningTotal);
    WriteAudioPart(dir + "/cast/audio_0.ogg");
    {
        TFileStream whole(part, TFileStream::TMode::OpenRead);
        whole.SetPosition(bodyOffset);
        TFileStream packed(body, TFileStream::TMode::Create);
        std::vector<char> piece(65536);
        for (std::size_t got; (got = whole.Read(piece.data(), piece.size())) > 0;)
            packed.WriteBuffer(piece.data(), got);
    }

    return 0;
}

} // namespace

int main(int argc, char** argv) {
    try {
        if (argc == 4 && std::string(argv[1]) == "--child")
            return Child(argv[2], argv[3]);
        if (argc == 4 && std::string(argv[1]) == "--prepare")
            return Prepare(argv[2], std::atof(argv[3]));
        const double packetMiB = argc > 1 ? std::atof(argv[1]) : 20.0;

        char pattern[] = "/tmp/nelq-bench-XXXXXX";
        if (mkdtemp(pattern) == nullptr)
            throw std::runtime_error("cannot create a temporary directory");
        const std::string dir = pattern;
        std::filesystem::create_directories(dir + "/cast");
        std::filesystem::create_directories(dir + "/game");
        const std::string part = dir + "/cast/demo_0.rec";
        const std::string body = dir + "/body.bz2";
        const std::string reference = dir + "/reference.z";
        const std::string rebuilt = dir + "/game/NELQ/recordings/nelqdemo0.rec";
        const std::string report = dir + "/assembly-seconds";

        // Made in a process of its own: a child started by posix_spawn
        // inherits the parent's peak resident set until it execs.
        Spawn({"/proc/self/exe", "--prepare", dir, std::to_string(packetMiB)});

        const std::string writer = dir + "/deflate0.py";
        std::ofstream(writer) << "import sys, zlib\n"
                                 "c = zlib.compressobj(0); out = open(sys.argv[1], 'wb')\n"
                                 "while True:\n"
                                 "    chunk = sys.stdin.buffer.read(65536)\n"
                                 "    if not chunk: break\n"
                                 "    out.write(c.compress(chunk))\n"
                                 "out.write(c.flush())\n";
        const std::string pipeline =
            "bunzip2 -c '" + body + "' | python3 '" + writer + "' '" + reference + "'";

        std::vector<TRun> ours, theirs;
        for (int round = 0; round < Rounds; ++round) {
            ours.push_back(Spawn({"/proc/self/exe", "--child", dir, report}, report));
            theirs.push_back(Spawn({"/bin/sh", "-c", pipeline}));
        }
        const TRun our = Best(ours);
        const TRun their = Best(theirs);

        const std::int64_t headSize = RecordingHeaderSize + InitialBlockLength;
        const std::string packets = InflatedBody(rebuilt, headSize);
        const bool identical = packets == InflatedBody(reference, 0);
        const double packetMB = static_cast<double>(packets.size()) / 1e6;
        const double timeRatio = our.Seconds / their.Seconds;
        const double memoryRatio = our.PeakKiB * 1024.0 / static_cast<double>(packets.size());

        std::printf("demo part           %.1f MB, packet stream %.1f MB\n",
                    static_cast<double>(std::filesystem::file_size(part)) / 1e6, packetMB);
        std::printf("reference pipeline  bunzip2 | python3 zlib level 0\n");
        std::printf("SectionComplete     %.3f s in the call, %.3f s as a process (best of %d, "
                    "%.3f s CPU), peak memory %.1f MB\n",
                    our.AssemblySeconds, our.Seconds, Rounds, our.CpuSeconds, our.PeakKiB / 1024.0);
        std::printf("pipeline            %.3f s (best of %d, %.3f s CPU in two processes), "
                    "peak memory %.1f MB\n",
                    their.Seconds, Rounds, their.CpuSeconds, their.PeakKiB / 1024.0);
        std::printf("time ratio          %.3f (target at most 1.15): %s\n", timeRatio,
                    timeRatio <= 1.15 ? "met" : "NOT met");
        std::printf("memory / packets    %.2f (target below 4): %s\n", memoryRatio,
                    memoryRatio < 4 ? "met" : "NOT met");
        std::printf("rebuilt body        %s the pipeline's output when inflated\n",
                    identical ? "identical to" : "DIFFERENT from");
        std::filesystem::remove_all(dir);
        return identical ? 0 : 1;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "bench_section_assembly: %s\n", error.what());
        return 1;
    }
}
