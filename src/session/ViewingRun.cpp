#include "session/ViewingRun.h"

#include "net/UnitViewerThread.h"
#include "playback/ArchiveExtraction.h"
#include "playback/OfflineCastList.h"
#include "playback/OfflineViewing.h"
#include "session/GameStarter.h"
#include "session/ViewingView.h"

#include <QCoreApplication>

#include <cmath>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <optional>
#include <utility>

namespace {

// Sections downloaded before playback begins.
constexpr int BufferSections = 3;

} // namespace

TViewingRun::TViewingRun(SyncContext& sync, TViewingView& view, QTimer& timerSync,
                         std::unique_ptr<TGameStarter> games, TViewingSetup setup)
    : Context(sync), View(view), Games(std::move(games)), Setup(std::move(setup)),
      Playback(view, *Games, timerSync) {
    FAssembly.StartPlayback = [this](std::int32_t section) { StartPlayback(section); };
    FAssembly.ShowBufferLabel = [this](const std::string& text) { View.ShowBufferLabel(text); };
    FAssembly.ReportNothingToPlay = [this](const std::string& message) {
        View.ShowError(message);
    };
    FAssembly.ReportSectionFailure = [this](const std::string& message) {
        View.ShowStatus(message);
    };
    Playback.OnPlayedToEnd = [this] { ShowEnding(CastPlayedEnding()); };
    Playback.OnNothingPlayable = [this] { ShowEnding(UnreadableCastEnding()); };
}

TViewingRun::~TViewingRun() {
    Stop();
}

std::string TViewingRun::CastDirectory() const {
    return Setup.StreamsDirectory + FCurrentGame + '/';
}

void TViewingRun::Connect(const std::string& host, std::chrono::milliseconds readTimeout) {
    const std::string recordings = Setup.GameDirectory + "NELQ/recordings/";
    std::error_code ignored;
    std::filesystem::create_directories(recordings, ignored);

    FViewerThread = std::make_unique<TViewerThread>(Context, Setup.ClientVersion, recordings,
                                                    Setup.StreamsDirectory, host);
    TViewerThread& viewer = *FViewerThread;
    viewer.OnStatus = [this](const std::string& text) { View.ShowStatus(text); };
    viewer.OnGameList = [this](const std::vector<std::string>& games) {
        View.ShowGames(games);
        if (games.empty())
            ShowEnding(NoCastsEnding());
    };
    viewer.OnUnreachable = [this](int tries) {
        ShowEnding(tries > 0 ? UnreachableEnding(tries) : TEnding{});
    };
    viewer.OnEnded = [this](TThreadEnding ending) { DownloadEnded(ending); };
    viewer.OnSectionList = [this](const std::vector<std::string>& sections) {
        OnSectionList(sections);
    };
    viewer.OnProgress = [this](std::int32_t slot, std::int32_t section, std::int32_t type,
                               std::int32_t received, std::int32_t length) {
        OnProgress(slot, section, type, received, length);
    };
    viewer.OnAuthRequired = [this] { View.ShowLogin(); };
    viewer.OnSectionComplete = [this](std::int32_t section, std::int32_t tag) {
        SectionComplete(section, tag);
    };
    viewer.OnStreamsEnded = [this] { StreamsEndedHandler(); };
    viewer.SetReadTimeout(readTimeout);
    viewer.Start();
    View.ShowConnecting();
}

void TViewingRun::LogIn(const std::string& username, const std::string& password) {
    if (!FViewerThread)
        return;
    FViewerThread->SetUsername(username);
    FViewerThread->SetPassword(password);
    FViewerThread->SetViewerState(vsLogin);
}

void TViewingRun::ChooseGame(const std::string& game, bool audioOnly) {
    if (Stopping || game.empty())
        return;
    FCurrentGame = game;
    FAudioOnly = audioOnly;
    FStartSection = 0;
    if (!FViewerThread)
        return;
    FViewerThread->SetGameName(game);
    FViewerThread->SetStartSection(FStartSection);
    FViewerThread->SetAudioOnly(audioOnly);
    FViewerThread->SetViewerState(vsListSections);
}

void TViewingRun::OnSectionList(const std::vector<std::string>& sections) {
    // Nothing to pick: the cast is viewed from its start.
    if (sections.size() < 2)
        ViewFromSection(0);
    else
        View.ShowSectionPick(sections);
}

void TViewingRun::ViewFromSection(std::int32_t section) {
    // The list of an earlier run would be extended with the same sections again.
    std::remove((CastDirectory() + "completed.dat").c_str());
    View.ShowViewing();
    FStartSection = section;

    TAssemblySettings settings;
    settings.CastDirectory = CastDirectory();
    settings.GameDirectory = Setup.GameDirectory;
    settings.StartSection = section;
    settings.AudioOnly = FAudioOnly;
    settings.Online = FViewerThread != nullptr;
    FAssembly.BeginRun(settings);
    RequestCast();
}

void TViewingRun::RequestCast() {
    if (!FViewerThread)
        return;
    FViewerThread->SetStartSection(FStartSection);
    FViewerThread->SetViewerState(vsRequest);
}

void TViewingRun::OnProgress(std::int32_t slot, std::int32_t section, std::int32_t type,
                             std::int32_t received, std::int32_t length) {
    View.ShowViewing();
    if (slot < 0)
        return;
    const auto kind = static_cast<std::size_t>(type == 0 ? 0 : 1);
    ProgressReceived[kind] = received;
    ProgressLength[kind] = length;

    TDownloadProgress progress;
    progress.Slot = slot;
    progress.Audio = kind == 1;
    progress.ReceivedKB = received / 1024;
    const int intoBuffer = section - FStartSection;
    if (intoBuffer < BufferSections) {
        progress.BufferLabel = "Downloading Buffer Section ( " + std::to_string(intoBuffer + 1) +
                               " of " + std::to_string(BufferSections) + " )";
        // Two streams announced empty have nothing to share out (and no quotient).
        const double total = double(ProgressLength[0]) + double(ProgressLength[1]);
        const double share =
            total > 0 ? (double(ProgressReceived[0]) + double(ProgressReceived[1])) / total : 0;
        progress.BufferPercent =
            static_cast<int>(std::lround(share * 100 / BufferSections)) + intoBuffer * 33;
    } else {
        progress.BufferLabel = "Downloading section...";
        progress.BufferPercent = 100;
    }
    View.ShowDownload(progress);
}

void TViewingRun::SectionComplete(std::int32_t section, std::int32_t tag) {
    ProgressReceived = {};
    ProgressLength = {};
    FAssembly.SectionComplete(section, tag);
}

void TViewingRun::StreamsEndedHandler() {
    FAssembly.StreamsEndedHandler();
}

void TViewingRun::DownloadEnded(TThreadEnding ending) {
    const bool finished = ending == TThreadEnding::Finished;
    if (finished && Playback.PlayedToEnd())
        return; // the cast's own ending has been shown
    // A finished cast may still be playing: its own ending comes when it has played out.
    ShowEnding(finished && Playback.Sync() ? StillPlayingEnding()
                                           : ThreadEnding(ending, TRunKind::Viewing));
}

void TViewingRun::ShowEnding(const TEnding& ending) {
    if (Stopping)
        return;
    // The replay's own closing lines come first; the ending is the last word.
    if (Replaying)
        DeferredEnding = ending;
    else
        View.ShowEnding(ending);
}

void TViewingRun::StartPlayback(std::int32_t section) {
    // A section handed over while the run stops must not start what the
    // tear-down has just ended.
    if (Stopping) {
        Playback.Stop();
        return;
    }
    Playback.Start(FAssembly, section);
}

void TViewingRun::TimerSyncTimer() {
    Playback.TimerSyncTimer();
}

void TViewingRun::OpenOffline(const std::string& name, bool audioOnly) {
    FCurrentGame = name;
    if (IsCastArchive(Setup.StreamsDirectory, name))
        ExtractArchive(Setup.StreamsDirectory + name);
    ReplayStoredCast(audioOnly);
}

void TViewingRun::OpenArchive(const std::string& path, bool audioOnly) {
    ExtractArchive(path);
    ReplayStoredCast(audioOnly);
}

void TViewingRun::ExtractArchive(const std::string& path) {
    TExtractOptions options;
    // Keeps the window painted; input waits, so nothing else starts meanwhile.
    options.Progress = [](std::int64_t, std::int64_t) {
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    };
    ExtractCastArchive(path, Setup.StreamsDirectory + ExtractionDirectoryName + '/', options);
    FCurrentGame = ExtractionDirectoryName;
}

void TViewingRun::ReplayStoredCast(bool audioOnly) {
    FAudioOnly = audioOnly;
    // Checked whole first: a cast that cannot play changes nothing.
    const std::vector<TCompletedSection> sections = LoadPlayableCast(CastDirectory(), audioOnly);
    std::error_code ignored;
    std::filesystem::create_directories(Setup.GameDirectory + "NELQ/recordings", ignored);

    const int total = static_cast<int>(sections.size()) + 1; // the lines of "completed.dat"
    View.ShowReplay(1, total);
    QCoreApplication::processEvents();

    FStartSection = sections.front().Section;
    TAssemblySettings settings;
    settings.CastDirectory = CastDirectory();
    settings.GameDirectory = Setup.GameDirectory;
    settings.AudioOnly = audioOnly;
    Replaying = true;
    struct EndingLast {
        TViewingRun& Run;
        ~EndingLast() {
            Run.Replaying = false;
            if (const std::optional<TEnding> ending = std::exchange(Run.DeferredEnding, {}))
                Run.ShowEnding(*ending);
        }
    } endingLast{*this};
    try {
        // Between sections the synchronisation and the audio device run:
        // playback begins at the third section while the rest is assembled.
        ReplayCast(
            FAssembly, settings, sections,
            [this, total](std::size_t replayed) {
                View.ShowReplay(static_cast<int>(replayed), total);
                QCoreApplication::processEvents();
            },
            [this] { StreamsEndedHandler(); });
    } catch (const std::exception& error) {
        // The replay page offers neither Back nor Next; the console page does,
        // and whatever was assembled before the failure plays on.
        View.ShowStatus(error.what());
        DeferredEnding = UnreadableCastEnding();
        throw;
    }
    if (Stopping || FAssembly.LastCompletedSection() != sections.back().Section)
        return; // torn down while the sections were replayed
    View.ShowStatus("Extraction Complete.");
    View.ShowStatus("Initialising Playback...");
    QCoreApplication::processEvents();
}

void TViewingRun::Stop() {
    if (Stopping)
        return;
    Stopping = true;
    Playback.Stop();
    Games->EndAll();
    // Disconnects first, so that a blocking read returns, then waits for the
    // thread while serving its calls. Taken out of its field first: nothing
    // that runs meanwhile can reach it.
    if (const std::unique_ptr<TViewerThread> viewer = std::move(FViewerThread))
        viewer->Stop();
    // Only once the viewer thread has ended: a section it was still handing
    // over would otherwise reach a recording that is already finished.
    try {
        FAssembly.Finish();
    } catch (const std::exception& error) {
        View.ShowError(error.what());
    }
}
