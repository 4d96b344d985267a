#include "ViewerProbe.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace std::chrono_literals;

TViewerProbe::TViewerProbe(const std::string& name, const std::string& address, std::uint16_t port)
    : Scratch(fs::temp_directory_path() /
              ("nelq-viewer-" + name + "-" + std::to_string(::getpid()))),
      Streams((Scratch / "streams").string() + "/"),
      Viewer(Sync, "1.0.0.47", (Scratch / "game/NELQ/recordings/").string(), Streams, address,
             port) {
    fs::remove_all(Scratch);
    fs::create_directories(Streams);
    Viewer.SetTimings(5ms, 50ms);
    Viewer.OnStatus = [this](const std::string& text) { Status.push_back(text); };
    Viewer.OnAuthRequired = [this] {
        ++AuthAsked;
        if (AfterAuth)
            AfterAuth();
    };
    Viewer.OnGameList = [this](const std::vector<std::string>& games) {
        GameLists.push_back(games);
        if (AfterGames)
            AfterGames(games);
    };
    Viewer.OnSectionList = [this](const std::vector<std::string>& sections) {
        SectionLists.push_back(sections);
        if (AfterSections)
            AfterSections(sections);
    };
    Viewer.OnProgress = [this](std::int32_t slot, std::int32_t section, std::int32_t type,
                               std::int32_t received, std::int32_t length) {
        Progress.push_back({slot, section, type, received, length});
    };
    Viewer.OnSectionComplete = [this](std::int32_t section, std::int32_t tag) {
        Completed.emplace_back(section, tag);
        if (AfterComplete)
            AfterComplete(section);
    };
    Viewer.OnStreamsEnded = [this] { ++Ended; };
}

TViewerProbe::~TViewerProbe() {
    Viewer.Stop();
    fs::remove_all(Scratch);
}

bool TViewerProbe::WaitFor(const std::function<bool()>& done) {
    return Sync.PumpUntil(done, 30s);
}

bool TViewerProbe::HasStatus(const std::string& text) const {
    return CountStatus(text) > 0;
}

int TViewerProbe::CountStatus(const std::string& text) const {
    return static_cast<int>(std::count(Status.begin(), Status.end(), text));
}

std::string TViewerProbe::File(const std::string& game, const std::string& name) const {
    std::ifstream in(Streams + game + "/" + name, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void RequestCast(TViewerThread& viewer, const std::string& game, std::int32_t start,
                 bool audioOnly) {
    viewer.SetGameName(game);
    viewer.SetStartSection(start);
    viewer.SetAudioOnly(audioOnly);
    viewer.SetViewerState(vsRequest);
}
