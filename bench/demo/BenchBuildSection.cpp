// Builds the demo part of a large synthetic recording and compares time and
// peak memory with the reference pipeline on the same file: another zlib
// (python3's, or zlib-flate) inflating the body, piped into `bzip2 -9`.
//
//   bench_build_section [PACKET_MB]      (default 20)

#include "RecordingGenerator.h"
#include "TimedRun.h"

#include "demo/UnitDemoPart.h"
#include "demo/UnitRecording.h"
#include "demo/UnitStreams.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

constexpr int Rounds = 3;

TTimedRun Best(const std::vector<TTimedRun>& runs) {
    return *std::min_element(runs.begin(), runs.end(),
                             [](const TTimedRun& a, const TTimedRun& b) { return a.Seconds < b.Seconds; });
}

std::string ReadAll(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

bool HasCommand(const std::string& name) {
    return std::system(("command -v " + name + " >/dev/null 2>&1").c_str()) == 0;
}

// The shell command of the reference pipeline for the body at `offset`.
std::string ReferencePipeline(const std::string& dir, const std::string& rec, std::int64_t offset,
                              const std::string& out, std::string& inflater) {
    if (HasCommand("python3")) {
        inflater = "python3 zlib";
        const std::string script = dir + "/inflate.py";
        std::ofstream(script) << "import sys, zlib\n"
                                 "f = open(sys.argv[1], 'rb'); f.seek(int(sys.argv[2]))\n"
                                 "d = zlib.decompressobj(); w = sys.stdout.buffer.write\n"
                                 "while True:\n"
                                 "    chunk = f.read(65536)\n"
                                 "    if not chunk: break\n"
                                 "    w(d.decompress(chunk))\n"
                                 "w(d.flush())\n";
        return "python3 '" + script + "' '" + rec + "' " + std::to_string(offset) +
               " | bzip2 -9 > '" + out + "'";
    }
    if (HasCommand("zlib-flate")) {
        inflater = "zlib-flate";
        return "tail -c +" + std::to_string(offset + 1) + " '" + rec +
               "' | zlib-flate -uncompress | bzip2 -9 > '" + out + "'";
    }
    throw std::runtime_error("neither python3 nor zlib-flate is installed");
}

std::uint32_t DurationForPacketBytes(std::size_t bytes) {
    constexpr std::uint32_t SampleMs = 64000;
    const std::size_t sample = GeneratePacketStream(SampleMs, 1).size();
    return static_cast<std::uint32_t>(static_cast<double>(bytes) / sample * SampleMs);
}

int Child(const std::string& rec, const std::string& out) {
    std::int64_t runningTotal = 0;
    BuildSection(rec, out, true, runningTotal);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    try {
        if (argc == 4 && std::string(argv[1]) == "--child")
            return Child(argv[2], argv[3]);
        const double packetMiB = argc > 1 ? std::atof(argv[1]) : 20.0;

        char pattern[] = "/tmp/nelq-bench-XXXXXX";
        if (mkdtemp(pattern) == nullptr)
            throw std::runtime_error("cannot create a temporary directory");
        const std::string dir = pattern;
        const std::string rec = dir + "/big.rec";
        const std::string part = dir + "/big.part";
        const std::string reference = dir + "/reference.bz2";

        TGeneratorOptions options;
        options.DurationMs = DurationForPacketBytes(static_cast<std::size_t>(packetMiB * 1048576));
        options.InitialBlockLength = 4096;
        GenerateRecording(rec, options);
        std::size_t packetBytes = 0;
        std::int64_t bodyOffset = 0;
        {
            TFileStream file(rec, TFileStream::TMode::OpenRead);
            bodyOffset = static_cast<std::int64_t>(ReadRecordingHead(file).Bytes.size());
            TMemoryStream body;
            InflateRecordingBody(file, body);
            packetBytes = body.ByteSize();
        }

        std::string inflater;
        const std::string pipeline = ReferencePipeline(dir, rec, bodyOffset, reference, inflater);
        std::vector<TTimedRun> ours, theirs;
        for (int round = 0; round < Rounds; ++round) {
            ours.push_back(RunTimed({"/proc/self/exe", "--child", rec, part}));
            theirs.push_back(RunTimed({"/bin/sh", "-c", pipeline}));
        }
        const TTimedRun our = Best(ours);
        const TTimedRun their = Best(theirs);

        const std::int64_t partBody = ReadDemoPartHeader(part).BodyOffset;
        const bool identical =
            ReadAll(part).substr(static_cast<std::size_t>(partBody)) == ReadAll(reference);
        const double packetMB = static_cast<double>(packetBytes) / 1e6;
        const double timeRatio = our.Seconds / their.Seconds;
        const double memoryRatio = our.PeakKiB * 1024.0 / static_cast<double>(packetBytes);

        std::printf("recording           %.1f MB on disk, packet stream %.1f MB\n",
                    static_cast<double>(std::filesystem::file_size(rec)) / 1e6, packetMB);
        std::printf("reference pipeline  %s | bzip2 -9\n", inflater.c_str());
        std::printf("BuildSection        %.3f s (best of %d), peak memory %.1f MB\n", our.Seconds,
                    Rounds, our.PeakKiB / 1024.0);
        std::printf("pipeline            %.3f s (best of %d)\n", their.Seconds, Rounds);
        std::printf("time ratio          %.3f (target at most 1.15): %s\n", timeRatio,
                    timeRatio <= 1.15 ? "met" : "NOT met");
        std::printf("memory / packets    %.2f (target below 4): %s\n", memoryRatio,
                    memoryRatio < 4 ? "met" : "NOT met");
        std::printf("body stream         %s the pipeline's output\n",
                    identical ? "identical to" : "DIFFERENT from");
        std::filesystem::remove_all(dir);
        return identical ? 0 : 1;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "bench_build_section: %s\n", error.what());
        return 1;
    }
}
