#pragma once

#include "EventLog.h"

#include <chrono>
#include <random>
#include <vector>

constexpr std::chrono::seconds StallLength{90};

struct TPlannedFault {
    std::chrono::seconds At; // from the start of the client's run
    TSoakEvent Kind;         // Drop, Stall or Restart
};

// Faults 30 to 90 s apart until `duration` is over: drops, one stall at the
// first step past a fifth of the run and, when asked, one server restart at
// the first step past three fifths. The step after a stall waits until the
// stall is over, so that each fault's recovery is its own.
std::vector<TPlannedFault> PlanFaults(std::mt19937& random, std::chrono::seconds duration,
                                      bool withRestart);

int CountPlanned(const std::vector<TPlannedFault>& plan, TSoakEvent kind);
