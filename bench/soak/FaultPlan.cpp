#include "FaultPlan.h"

#include <algorithm>

std::vector<TPlannedFault> PlanFaults(std::mt19937& random, std::chrono::seconds duration,
                                      bool withRestart) {
    std::uniform_int_distribution<int> gap(30, 90);
    const auto stallAt = duration / 5;
    const auto restartAt = duration * 3 / 5;
    bool stallPlaced = false;
    bool restartPlaced = !withRestart;
    std::vector<TPlannedFault> plan;
    for (auto at = std::chrono::seconds(gap(random)); at < duration;
         at += std::chrono::seconds(gap(random))) {
        if (!stallPlaced && at >= stallAt) {
            plan.push_back({at, TSoakEvent::Stall});
            stallPlaced = true;
            at += StallLength;
        } else if (!restartPlaced && at >= restartAt) {
            plan.push_back({at, TSoakEvent::Restart});
            restartPlaced = true;
        } else {
            plan.push_back({at, TSoakEvent::Drop});
        }
    }
    return plan;
}

int CountPlanned(const std::vector<TPlannedFault>& plan, TSoakEvent kind) {
    return static_cast<int>(std::count_if(
        plan.begin(), plan.end(), [kind](const TPlannedFault& f) { return f.Kind == kind; }));
}
