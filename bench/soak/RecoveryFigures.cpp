#include "RecoveryFigures.h"

#include "FaultPlan.h"

#include <algorithm>
#include <chrono>

namespace {

bool IsFault(TSoakEvent kind) {
    return kind == TSoakEvent::Drop || kind == TSoakEvent::Stall || kind == TSoakEvent::Restart;
}

} // namespace

TClientRecovery AnalyseRecovery(std::vector<TTimedEvent> events) {
    std::stable_sort(events.begin(), events.end(),
                     [](const TTimedEvent& a, const TTimedEvent& b) { return a.AtNs < b.AtNs; });
    TClientRecovery figures;
    for (auto fault = events.begin(); fault != events.end(); ++fault) {
        if (fault->Kind == TSoakEvent::Reconnection)
            ++figures.Reconnections;
        if (fault->Kind == TSoakEvent::End)
            figures.Ended = true;
        if (!IsFault(fault->Kind))
            continue;
        TRecovery& recovery = figures.ByFault[fault->Kind];
        ++recovery.Faults;
        const std::int64_t stallOver = fault->AtNs + std::chrono::nanoseconds(StallLength).count();
        bool reconnected = false;
        const auto progress = std::find_if(fault, events.end(), [&](const TTimedEvent& event) {
            reconnected = reconnected || event.Kind == TSoakEvent::Reconnection;
            const bool past =
                reconnected || (fault->Kind == TSoakEvent::Stall && event.AtNs >= stallOver);
            return past && (event.Kind == TSoakEvent::Progress || event.Kind == TSoakEvent::End);
        });
        if (progress == events.end())
            ++recovery.NeverRecovered;
        else
            recovery.LongestSeconds = std::max(
                recovery.LongestSeconds, static_cast<double>(progress->AtNs - fault->AtNs) / 1e9);
    }
    return figures;
}
