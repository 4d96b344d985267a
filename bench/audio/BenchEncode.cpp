// Feeds a WAV file through the block queue into the section encoder, cutting
// a section every few seconds as filming does, and compares the encoder's
// speed and CPU time with oggenc on the same PCM at comparable settings.

#include "WavFile.h"

#include "audio/UnitAudioQuality.h"
#include "audio/UnitEncodingThread.h"
#include "platform/PumpedSyncContext.h"

#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

extern char** environ;

namespace {
constexpr size_t PacketBytes = 4096; // what the buffered capture hands over

struct TOptions {
    std::string Wav;
    std::string OutDir;
    int Quality = 0;
    double SectionSeconds = 30;
};

[[noreturn]] void Usage(const char* message) {
    std::fprintf(
        stderr,
        "bench-encode: %s\nusage: bench-encode WAV OUTDIR [--quality N] [--section-seconds S]\n",
        message);
    std::exit(2);
}

TOptions ParseOptions(int argc, char** argv) {
    TOptions options;
    std::vector<std::string> positional;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if ((arg == "--quality" || arg == "--section-seconds") && i + 1 < argc) {
            char* end = nullptr;
            const char* value = argv[++i];
            if (arg == "--quality") {
                options.Quality = static_cast<int>(std::strtol(value, &end, 10));
                if (*end != '\0' || options.Quality < 0 ||
                    options.Quality >= static_cast<int>(AudioQualities.size()))
                    Usage("--quality takes an entry from 0 to 5");
            } else {
                options.SectionSeconds = std::strtod(value, &end);
                if (*end != '\0' || !(options.SectionSeconds > 0))
                    Usage("--section-seconds takes a positive number");
            }
        } else if (arg.starts_with("--")) {
            Usage(("unknown or incomplete option " + arg).c_str());
        } else {
            positional.push_back(arg);
        }
    }
    if (positional.size() != 2)
        Usage("needs a WAV file and an output directory");
    options.Wav = positional[0];
    options.OutDir = positional[1];
    return options;
}

double ProcessCpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + now.tv_nsec / 1e9;
}

struct TRunFigures {
    double WallSeconds = 0;
    double CpuSeconds = 0;
    uintmax_t Bytes = 0;
    int Sections = 0;
};

TRunFigures RunEncoder(const TOptions& options, const TWavFile& wav) {
    const size_t frameBytes = static_cast<size_t>(wav.Channels) * 2;
    const auto sectionBytes = std::max<size_t>(
        frameBytes, static_cast<size_t>(options.SectionSeconds * wav.Rate) * frameBytes);

    PumpedSyncContext sync;
    TEncodingThread encoder(sync, options.OutDir + "/", options.Quality);
    TRunFigures figures;
    {
        TBlockQueueLock lock(encoder);
        for (size_t at = 0; at < wav.Pcm.size();) {
            const int32_t section = static_cast<int32_t>(at / sectionBytes);
            if (at % sectionBytes == 0) {
                lock.Blocks().AddInfo(section, InfoCompleteSection);
                lock.Blocks().AddInfo(section, InfoCreateSection);
                figures.Sections = section + 1;
            }
            const size_t sectionEnd =
                std::min(wav.Pcm.size(), (at / sectionBytes + 1) * sectionBytes);
            const size_t size = std::min(PacketBytes, sectionEnd - at);
            lock.Blocks().AddBlock(BlockKindAudio, section, static_cast<int32_t>(size),
                                   wav.Pcm.data() + at);
            at += size;
        }
        // A completion alone closes the last file and ends the run.
        lock.Blocks().AddInfo(figures.Sections, InfoCompleteSection);
        lock.Blocks().AddBlock(BlockKindAudio, figures.Sections, 0, nullptr);
    }

    const double cpuBefore = ProcessCpuSeconds();
    const auto wallBefore = std::chrono::steady_clock::now();
    encoder.Start();
    encoder.WaitFor();
    figures.WallSeconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - wallBefore).count();
    figures.CpuSeconds = ProcessCpuSeconds() - cpuBefore;
    for (int section = 0; section < figures.Sections; ++section)
        figures.Bytes += std::filesystem::file_size(encoder.SectionFileName(section));
    return figures;
}

// oggenc at the nearest settings: managed bitrate at the nominal rate, or
// quality 0 for the quality-based entry.
TRunFigures RunOggenc(const TOptions& options, const TAudioQuality& quality) {
    const std::string output = options.OutDir + "/oggenc.ogg";
    const std::string kbps = std::to_string(quality.Bitrate / 1000);
    std::vector<std::string> args = {"oggenc", "-Q", "-o", output};
    if (quality.Mode == 1)
        args.insert(args.end(), {"--managed", "-b", kbps});
    else
        args.insert(args.end(), {"-q", "0"});
    args.push_back(options.Wav);
    std::vector<char*> argv;
    for (auto& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);

    const auto wallBefore = std::chrono::steady_clock::now();
    pid_t child = 0;
    if (posix_spawnp(&child, "oggenc", nullptr, nullptr, argv.data(), environ) != 0)
        throw std::runtime_error("cannot start oggenc (vorbis-tools)");
    int status = 0;
    rusage usage{};
    if (wait4(child, &status, 0, &usage) < 0 || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        throw std::runtime_error("oggenc failed");
    TRunFigures figures;
    figures.WallSeconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - wallBefore).count();
    figures.CpuSeconds = usage.ru_utime.tv_sec + usage.ru_utime.tv_usec / 1e6 +
                         usage.ru_stime.tv_sec + usage.ru_stime.tv_usec / 1e6;
    figures.Bytes = std::filesystem::file_size(output);
    figures.Sections = 1;
    return figures;
}
} // namespace

int main(int argc, char** argv) {
    const TOptions options = ParseOptions(argc, argv);
    try {
        const TAudioQuality& quality = AudioQuality(options.Quality);
        const TWavFile wav = ReadWavFile(options.Wav);
        if (wav.Rate != quality.Rate || wav.Channels != quality.Channels)
            throw std::runtime_error(options.Wav + " is " + std::to_string(wav.Rate) + " Hz with " +
                                     std::to_string(wav.Channels) + " channel(s); quality " +
                                     std::to_string(options.Quality) + " needs " +
                                     std::to_string(quality.Rate) + " Hz with " +
                                     std::to_string(quality.Channels));
        std::filesystem::create_directories(options.OutDir);
        const double audioSeconds =
            static_cast<double>(wav.Pcm.size()) / (wav.Rate * wav.Channels * 2);

        const TRunFigures ours = RunEncoder(options, wav);
        const TRunFigures reference = RunOggenc(options, quality);
        auto kbits = [&](const TRunFigures& run) { return run.Bytes * 8 / audioSeconds / 1000; };

        std::printf("quality %d: %s\n", options.Quality, AudioQualityText(quality).c_str());
        std::printf("  audio %.1f s in %d sections of %.0f s\n", audioSeconds, ours.Sections,
                    options.SectionSeconds);
        std::printf("  encoder: wall %.3f s (%.1fx realtime), cpu %.3f s, %.1f kbit/s\n",
                    ours.WallSeconds, audioSeconds / ours.WallSeconds, ours.CpuSeconds,
                    kbits(ours));
        std::printf("  oggenc:  wall %.3f s (%.1fx realtime), cpu %.3f s, %.1f kbit/s\n",
                    reference.WallSeconds, audioSeconds / reference.WallSeconds,
                    reference.CpuSeconds, kbits(reference));
        std::printf("  cpu ratio encoder/oggenc: %.3f\n", ours.CpuSeconds / reference.CpuSeconds);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "bench-encode: %s\n", error.what());
        return 1;
    }
    return 0;
}
