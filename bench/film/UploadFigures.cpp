#include "UploadFigures.h"

#include <algorithm>
#include <fstream>
#include <limits>
#include <set>
#include <sstream>
#include <stdexcept>

namespace {

constexpr std::int64_t Second = 1'000'000'000;
// The client's blocks of one pass leave together; passes are a second apart.
constexpr std::int64_t SamePass = Second / 2;

struct TPass {
    std::int64_t TimeNs;
    std::int64_t Payload;
};

std::vector<TPass> Passes(const std::vector<TRelayLog::TData>& data) {
    std::vector<TPass> passes;
    for (const auto& event : data) {
        if (event.Payload == 0)
            continue;
        if (passes.empty() || event.TimeNs - passes.back().TimeNs >= SamePass)
            passes.push_back({event.TimeNs, 0});
        passes.back().Payload += event.Payload;
    }
    return passes;
}

void CountWindows(const TRelayLog& log, std::int32_t rate, TUploadFigures& figures) {
    const auto first =
        std::find_if(log.Data.begin(), log.Data.end(),
                     [](const TRelayLog::TData& event) { return event.Payload > 0; });
    if (first == log.Data.end())
        return;
    std::int64_t windowEnd = first->TimeNs + Second;
    std::int64_t payload = 0;
    std::int64_t wire = 0;
    const auto close = [&] {
        figures.MaxWindowPayload = std::max(figures.MaxWindowPayload, payload);
        figures.MaxWindowWire = std::max(figures.MaxWindowWire, wire);
        ++figures.Windows;
        if (payload > rate)
            ++figures.WindowsOverBudget;
        payload = wire = 0;
    };
    for (auto event = first; event != log.Data.end(); ++event) {
        while (event->TimeNs >= windowEnd) {
            close();
            windowEnd += Second;
        }
        payload += event->Payload;
        wire += event->Wire;
    }
    close();
}

void MeasureWaiting(const TRelayLog& log, TUploadFigures& figures) {
    const std::vector<TPass> passes = Passes(log.Data);
    double gapMs = std::numeric_limits<double>::infinity();
    for (std::size_t i = 1; i < passes.size(); ++i)
        gapMs = std::min(gapMs, double(passes[i].TimeNs - passes[i - 1].TimeNs) / 1e6);
    figures.ShortestPassGapMs = passes.size() > 1 ? gapMs : 0;

    // The passes of a section lie between its announcement and the next one.
    std::int64_t waitedBytes = 0;
    std::int64_t waitedNs = 0;
    for (std::size_t a = 0; a < log.Announces.size(); ++a) {
        const std::int64_t from = log.Announces[a].TimeNs;
        const std::int64_t to = a + 1 < log.Announces.size()
                                    ? log.Announces[a + 1].TimeNs
                                    : std::numeric_limits<std::int64_t>::max();
        std::vector<TPass> section;
        for (const TPass& pass : passes)
            if (pass.TimeNs >= from && pass.TimeNs < to)
                section.push_back(pass);
        if (section.size() < 2)
            continue;
        // The last pass takes what was left; nothing waited behind it.
        for (std::size_t i = 0; i + 1 < section.size(); ++i)
            waitedBytes += section[i].Payload;
        waitedNs += section.back().TimeNs - section.front().TimeNs;
    }
    figures.WaitingSeconds = double(waitedNs) / 1e9;
    figures.WaitingRate = waitedNs > 0 ? double(waitedBytes) * 1e9 / double(waitedNs) : 0;
}

void MeasureAnnouncements(const TRelayLog& log, const std::vector<std::int64_t>& finalNs,
                          TUploadFigures& figures) {
    // A section announced again after a reconnection counts once.
    std::set<std::int32_t> seen;
    std::size_t recording = 0;
    for (const auto& announce : log.Announces) {
        if (!seen.insert(announce.Section).second)
            continue;
        figures.DemoBytes += announce.DemoSize;
        figures.AudioBytes += announce.AudioSize;
        if (announce.DemoSize == 0) {
            ++figures.FakeSections;
            continue;
        }
        ++figures.RealSections;
        if (recording < finalNs.size())
            figures.AnnounceDelaysMs.push_back(double(announce.TimeNs - finalNs[recording++]) /
                                               1e6);
    }
}

} // namespace

TRelayLog ReadRelayLog(const std::string& path) {
    std::ifstream file(path);
    if (!file)
        throw std::runtime_error("cannot read the relay's log " + path);
    TRelayLog log;
    std::string line;
    while (std::getline(file, line)) {
        std::istringstream fields(line);
        char kind = 0;
        fields >> kind;
        if (kind == 'D') {
            TRelayLog::TData data{};
            fields >> data.TimeNs >> data.Payload >> data.Wire;
            log.Data.push_back(data);
        } else if (kind == 'T') {
            TRelayLog::TAnnounce announce{};
            fields >> announce.TimeNs >> announce.Section >> announce.DemoSize >>
                announce.AudioSize;
            log.Announces.push_back(announce);
        }
    }
    return log;
}

TUploadFigures AnalyseUpload(const TRelayLog& log, std::int32_t rate,
                             const std::vector<std::int64_t>& recordingsFinalNs) {
    TUploadFigures figures;
    CountWindows(log, rate, figures);
    MeasureWaiting(log, figures);
    MeasureAnnouncements(log, recordingsFinalNs, figures);
    return figures;
}
