// Decodes and converts ten minutes of MP3 into each recording format the way
// the mixer does (eight-second pieces), against `mpg123 -s` piped into `sox`
// doing the same conversion; the THD+N of a sine converted both ways; then
// the cost of mixing music into commentary.
//
//   bench_mixer [MINUTES]      (default 10)

#include "ThdN.h"
#include "audio/UnitAudioQuality.h"
#include "mixer/Mp3Decoder.h"
#include "mixer/UnitACMConvertor.h"
#include "mixer/UnitMusicMixer.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <string>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {
double ProcessCpuSeconds() {
    return static_cast<double>(std::clock()) / CLOCKS_PER_SEC;
}

double ChildrenCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double Now() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void Run(const std::string& command) {
    if (std::system(command.c_str()) != 0) {
        std::fprintf(stderr, "failed: %s\n", command.c_str());
        std::exit(1);
    }
}

// Music-like material: a chord that moves, with some noise, 44100 Hz stereo.
std::string MakeMusic(const std::filesystem::path& dir, int minutes) {
    const std::string wav = (dir / "music.wav").string(), mp3 = (dir / "music.mp3").string();
    Run("sox -n -r 44100 -c 2 -b 16 '" + wav + "' synth " + std::to_string(minutes * 60) +
        " sine 220-660 sine 330-990 pinknoise vol 0.3 2>/dev/null");
    Run("lame --quiet -b 192 '" + wav + "' '" + mp3 + "'");
    std::filesystem::remove(wav);
    return mp3;
}

// sox converting 44100 Hz stereo 16-bit raw audio from `input` ("-": a pipe)
// into a recording format.
std::string SoxCommand(const std::string& options, const std::string& input,
                       const TAudioQuality& quality, const std::string& output) {
    return "sox " + options + " -t raw -r 44100 -c 2 -b 16 -e signed '" + input + "' -t raw -r " +
           std::to_string(quality.Rate) + " -c " + std::to_string(quality.Channels) + " -b 16 '" +
           output + "'";
}

// The mixer's path: take eight seconds of 44100 Hz stereo from `source`
// (the bytes it gave, 0 at the end), convert them, hand them to `sink`.
void ConvertPieces(const std::function<int(uint8_t*, int)>& source, const TRecordingFormat& out,
                   const std::function<void(const uint8_t*, int)>& sink) {
    TACMConvertor converter;
    converter.ACMFormatIn = TRecordingFormat{1, 2, 44100, 44100 * 4, 4, 16, 0};
    converter.ACMFormatOut = out;
    const int piece = 44100 * 4 * 8;
    converter.SetInputBufferSize(piece);
    converter.SetUseRealTime(true); // as the mixer converts
    converter.SetActive(true);
    std::vector<uint8_t> buffer(static_cast<size_t>(piece));
    for (;;) {
        const int n = source(buffer.data(), piece - 2);
        std::copy_n(buffer.data(), n, converter.InputBuffer());
        const int converted = converter.Convert(n);
        sink(converter.OutputBuffer(), converted);
        if (n == 0)
            return;
    }
}

// Decodes and converts, keeping each piece as the mixer keeps its music.
int64_t DecodeAndConvert(const std::string& mp3, const TRecordingFormat& out) {
    TMp3Decoder track(mp3);
    std::vector<uint8_t> music;
    int64_t produced = 0;
    ConvertPieces(
        [&track](uint8_t* to, int size) { return track.Active() ? track.GetData(to, size) : 0; },
        out,
        [&](const uint8_t* bytes, int size) {
            music.assign(bytes, bytes + size);
            produced += size;
        });
    return produced;
}

constexpr int SineSeconds = 10;
constexpr double SineFrequency = 1000;

// A sine at half of full scale, 44100 Hz stereo, as raw bytes.
std::vector<uint8_t> MakeSine() {
    const int frames = 44100 * SineSeconds;
    std::vector<uint8_t> bytes(static_cast<size_t>(frames) * 4);
    for (int i = 0; i < frames; ++i) {
        const auto sample = static_cast<int16_t>(
            std::lrint(16384 * std::sin(2 * M_PI * SineFrequency * i / 44100)));
        const int16_t frame[2] = {sample, sample};
        std::memcpy(bytes.data() + size_t(i) * 4, frame, 4);
    }
    return bytes;
}

// THD+N of the first channel, leaving out a second at either end (whole
// seconds hold whole periods of the sine).
double SineThdN(const std::vector<uint8_t>& bytes, const TAudioQuality& quality) {
    std::vector<int16_t> first;
    for (size_t at = 0; at + 2 <= bytes.size(); at += size_t(2 * quality.Channels)) {
        int16_t sample;
        std::memcpy(&sample, bytes.data() + at, 2);
        first.push_back(sample);
    }
    const auto rate = static_cast<size_t>(quality.Rate);
    first.resize(std::min(first.size(), rate * (SineSeconds - 1)));
    first.erase(first.begin(), first.begin() + static_cast<std::ptrdiff_t>(rate));
    return ThdNDecibels(first, quality.Rate, SineFrequency);
}

std::vector<uint8_t> ReadFile(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

// The sine converted by us and by sox (with its default dither, and without).
void BenchSineQuality(const std::filesystem::path& dir) {
    const std::vector<uint8_t> sine = MakeSine();
    const std::filesystem::path input = dir / "sine.raw", output = dir / "sine-sox.raw";
    std::ofstream(input, std::ios::binary)
        .write(reinterpret_cast<const char*>(sine.data()), std::streamsize(sine.size()));
    std::printf("\nTHD+N of a %.0f Hz sine at half of full scale (dB; lower is better)\n",
                SineFrequency);
    std::printf("%-16s %10s %10s %14s\n", "recording format", "ours", "sox", "sox -D (no dither)");
    for (int index = 0; index < static_cast<int>(AudioQualities.size()); ++index) {
        const TAudioQuality& quality = AudioQualities[static_cast<size_t>(index)];
        if (index == 1)
            continue; // records the same format as entry 0
        size_t offset = 0;
        std::vector<uint8_t> ours;
        ConvertPieces(
            [&](uint8_t* to, int size) {
                // Whole frames, as the decoder gives them.
                const auto n = std::min(sine.size() - offset, static_cast<size_t>(size / 4 * 4));
                std::copy_n(sine.data() + offset, n, to);
                offset += n;
                return static_cast<int>(n);
            },
            MakeRecordingFormat(quality),
            [&ours](const uint8_t* bytes, int size) {
                ours.insert(ours.end(), bytes, bytes + size);
            });
        Run(SoxCommand("", input.string(), quality, output.string()));
        const double sox = SineThdN(ReadFile(output), quality);
        Run(SoxCommand("-D", input.string(), quality, output.string()));
        const double soxUndithered = SineThdN(ReadFile(output), quality);
        std::printf("%5d Hz %-6s   %10.1f %10.1f %14.1f\n", quality.Rate,
                    quality.Channels == 1 ? "mono" : "stereo", SineThdN(ours, quality), sox,
                    soxUndithered);
    }
}

// A device that takes the buffers and plays nothing: the mixer runs without a sound card.
class TSilentDevice : public TWaveOutDevice {
public:
    int Query(const TWaveFormat&) override { return 0; }
    int Open(const TWaveFormat&, TBufferDone) override { return 0; }
    int Close() override { return 0; }
    void Reset() override {}
    int Write(const uint8_t*, size_t) override { return 0; }
    int Position(int64_t& frames) override {
        frames = 0;
        return 0;
    }
    int SetVolume(uint32_t) override { return 0; }
    void Post(std::function<void()>) override {}
};

// What the mixer posts to the main thread (the track it opened), run when the bench waits.
class TPostedTasks {
public:
    void Post(std::function<void()> task) {
        std::lock_guard lock(FLock);
        FTasks.push_back(std::move(task));
    }
    void RunUntil(const std::function<bool()>& done) {
        while (!done()) {
            std::vector<std::function<void()>> tasks;
            {
                std::lock_guard lock(FLock);
                tasks.swap(FTasks);
            }
            for (const auto& task : tasks)
                task();
            std::this_thread::yield();
        }
    }

private:
    std::mutex FLock;
    std::vector<std::function<void()>> FTasks; // guarded by FLock
};

void BenchMixMusic(const std::string& mp3, const std::filesystem::path& dir) {
    const TRecordingFormat format =
        MakeRecordingFormat(AudioQuality(5)); // 22050 Hz, the most samples
    TPostedTasks posted;
    TMusicMixer mixer(
        dir.string() + "/", [] { return std::make_unique<TSilentDevice>(); },
        [&posted](std::function<void()> task) { posted.Post(std::move(task)); },
        [format] { return format; });
    mixer.SetCastVolume(70, 100);
    mixer.SetMusicVolume(30, 100);
    mixer.PlayFile(mp3);
    posted.RunUntil([&] { return !mixer.Opening(); });
    const int packet = static_cast<int>(format.AvgBytesPerSec) / 20; // 50 ms
    std::vector<uint8_t> commentary(static_cast<size_t>(packet), 0x35);
    double cpu = 0, seconds = 0;
    for (int round = 0; round < 20; ++round) {
        mixer.Stop();
        mixer.Play(); // 32 seconds of music ahead again
        const double start = ProcessCpuSeconds();
        while (mixer.MusicAhead() >= packet) {
            mixer.MixMusic(commentary.data(), packet);
            seconds += 0.05;
        }
        cpu += ProcessCpuSeconds() - start;
    }
    std::printf("\nMixMusic at 22050 Hz mono, 50 ms packets: %.3f ms CPU per second of commentary "
                "(%.0f s mixed; goal < 1 ms)\n",
                cpu * 1000 / seconds, seconds);
}
} // namespace

int main(int argc, char** argv) {
    const int minutes = argc > 1 ? std::atoi(argv[1]) : 10;
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("nelq-bench-mixer-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    std::printf("making %d minutes of MP3 (44100 Hz stereo, 192 kbit/s)...\n", minutes);
    const std::string mp3 = MakeMusic(dir, minutes);

    std::printf("\n%-34s %10s %10s %10s %8s\n", "recording format", "ours cpu", "ref cpu",
                "ref wall", "ratio");
    for (int index = 0; index < static_cast<int>(AudioQualities.size()); ++index) {
        const TAudioQuality& quality = AudioQualities[static_cast<size_t>(index)];
        if (index == 1)
            continue; // records the same format as entry 0
        const TRecordingFormat out = MakeRecordingFormat(quality);
        const double ourStart = ProcessCpuSeconds();
        const int64_t bytes = DecodeAndConvert(mp3, out);
        const double ours = ProcessCpuSeconds() - ourStart;

        const double childStart = ChildrenCpuSeconds(), wallStart = Now();
        Run("mpg123 -q -s '" + mp3 + "' | " +
            SoxCommand("", "-", quality, (dir / "reference.raw").string()));
        const double reference = ChildrenCpuSeconds() - childStart, wall = Now() - wallStart;
        const auto refBytes =
            static_cast<int64_t>(std::filesystem::file_size(dir / "reference.raw"));
        std::printf("%5d Hz %-6s (%6.1f MB / ref %6.1f MB) %8.2f s %8.2f s %8.2f s %7.2fx\n",
                    quality.Rate, quality.Channels == 1 ? "mono" : "stereo", bytes / 1e6,
                    refBytes / 1e6, ours, reference, wall, ours / reference);
    }
    std::printf("(ratio = our CPU time / the reference pipeline's CPU time; goal <= 1.0x)\n");
    BenchSineQuality(dir);
    BenchMixMusic(mp3, dir);
    std::filesystem::remove_all(dir);
}
