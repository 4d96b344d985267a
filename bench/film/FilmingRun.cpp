#include "FilmingRun.h"

#include "MeasuredProgram.h"

#include "app/QtSyncContext.h"
#include "app/UnitNELQGlobal.h"
#include "net/UnitFilmerThread.h"
#include "session/UnitFilmController.h"

#include <QEventLoop>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QWidget>

#include <sys/resource.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <functional>
#include <mutex>
#include <thread>

namespace fs = std::filesystem;

namespace {

double ProcessCpuSeconds() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Sets the peak resident size back to the current one, so the peak read at
// the end belongs to this run and not to start-up or an earlier run.
bool ResetPeakMemory() {
    std::ofstream clear("/proc/self/clear_refs");
    clear << "5" << std::flush;
    return static_cast<bool>(clear);
}

long PeakMemoryKb() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmHWM:", 0) == 0)
            return std::stol(line.substr(6));
    return 0;
}

// Turns the event loop until `done` holds or `limit` has passed, running
// `tick` at each check. The check runs a few times a second only, so waiting
// adds little to the client's CPU.
bool RunEventsUntil(const std::function<bool()>& done, std::chrono::seconds limit,
                    const std::function<void()>& tick) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    QEventLoop loop;
    QTimer check;
    QObject::connect(&check, &QTimer::timeout, [&] {
        if (tick)
            tick();
        if (done() || std::chrono::steady_clock::now() > deadline)
            loop.quit();
    });
    check.start(200);
    loop.exec();
    return done();
}

// The "Filming" page's controls, never shown, and the two filming timers at
// the window's intervals.
struct TFilmingPage {
    QWidget Page;
    QLabel* LabelTransferedTo = new QLabel(&Page);
    QLabel* PanelAudioRecording = new QLabel(&Page);
    QLabel* PanelDemoRecording = new QLabel(&Page);
    QLabel* PanelPleaseWait = new QLabel(&Page);
    QLabel* LabelUploadBacklog = new QLabel(&Page);
    QPushButton* ButtonStopFilming = new QPushButton(&Page);
    QPushButton* ButtonMusicMixer = new QPushButton(&Page);
    QTimer* TimerRecording = new QTimer(&Page);
    QTimer* TimerNoDemoSections = new QTimer(&Page);

    TFilmingPage() {
        TimerRecording->setInterval(2000);
        TimerNoDemoSections->setInterval(30000);
        PanelPleaseWait->hide();
    }

    TFilmingControls Controls() const {
        return {LabelTransferedTo,  PanelAudioRecording, PanelDemoRecording,
                PanelPleaseWait,    LabelUploadBacklog,  ButtonStopFilming,
                ButtonMusicMixer,   TimerRecording,      TimerNoDemoSections};
    }
};

// The game: the stand-in records on a thread of this process that only waits
// for its lines, noting when each recording became final.
class TGameStandin {
public:
    TGameStandin(const TFilmingRunSettings& settings, const fs::path& recordings) {
        Worker = std::thread([this, settings, recordings] {
            const TProgramResult result =
                RunProgram({settings.StandinPath, "record", recordings.string(), "--recordings",
                            std::to_string(settings.Minutes), "--seconds", "60"},
                           (settings.Directory / "standin.log").string(),
                           [this](const std::string&, std::int64_t timeNs) {
                               std::lock_guard guard(Lock);
                               FinalNs.push_back(timeNs);
                           });
            CpuSeconds = result.CpuSeconds;
            Done = true;
        });
    }
    ~TGameStandin() { Worker.join(); }

    bool Finished() const { return Done; }
    double Cpu() const { return CpuSeconds; }
    std::vector<std::int64_t> Finals() const {
        std::lock_guard guard(Lock);
        return FinalNs;
    }

private:
    mutable std::mutex Lock;
    std::vector<std::int64_t> FinalNs; // guarded by Lock
    std::atomic<bool> Done{false};
    double CpuSeconds = 0; // written before Done
    std::thread Worker;
};

} // namespace

TClientFigures FilmWithTheClient(const TFilmingRunSettings& run) {
    const fs::path recordings = run.Directory / "recordings";
    const fs::path work = run.Directory / "work";
    fs::create_directories(recordings);
    fs::create_directories(work);

    TClientFigures figures;
    figures.PeakIsRunOnly = ResetPeakMemory();
    TFilmingPage page;
    QtSyncContext sync;
    TFilmController film(sync, page.Controls());
    QObject::connect(page.TimerRecording, &QTimer::timeout, [&] { film.TimerRecordingTimer(); });
    QObject::connect(page.TimerNoDemoSections, &QTimer::timeout,
                     [&] { film.TimerNoDemoSectionsTimer(); });
    const auto start = std::chrono::steady_clock::now();
    film.OnStatus = [&](const std::string& text) {
        const double at =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        figures.StatusLines.push_back(std::to_string(at) + " s: " + text);
        if (text == "Stream upload Complete")
            figures.Completed = true;
    };

    TFilmSettings settings;
    settings.ClientVersion = ClientVersion();
    settings.Host = run.Host;
    settings.FilmingPassword = "bench";
    settings.GameName = run.GameName;
    settings.RecordingsDirectory = recordings.string();
    settings.WorkDirectory = work.string() + "/";
    settings.Rate = run.Rate;
    settings.AudioIndex = run.AudioIndex;

    const double cpuBefore = ProcessCpuSeconds();
    film.StartFilming(settings);
    const auto limit = std::chrono::seconds(run.Minutes * 60 + 600);
    const auto uploadEnded = [&] {
        return !film.FilmerThread() || film.FilmerThread()->Finished();
    };
    // The game starts once the upload thread has taken note of the recordings
    // that were there before: its first pass cuts the audio for section 0.
    if (RunEventsUntil([&] { return film.CaptureSection() >= 0 || uploadEnded(); },
                       std::chrono::seconds(120), run.EveryTick) &&
        !uploadEnded()) {
        TGameStandin game(run, recordings);
        RunEventsUntil([&] { return game.Finished() || uploadEnded(); }, limit, run.EveryTick);
        film.ButtonStopFilmingClick();
        RunEventsUntil(uploadEnded, limit, run.EveryTick);
        figures.RecordingsFinalNs = game.Finals();
        figures.StandinCpuSeconds = game.Cpu();
    }
    figures.CpuSeconds = ProcessCpuSeconds() - cpuBefore;
    figures.WallSeconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    figures.PeakRssKb = PeakMemoryKb();
    film.Stop();
    return figures;
}
