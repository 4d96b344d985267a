#pragma once

#include "EventLog.h"

#include <map>
#include <vector>

struct TRecovery {
    int Faults = 0;
    int NeverRecovered = 0;    // no progress came after the fault
    double LongestSeconds = 0; // from a fault to the client's progress past it
};

struct TClientRecovery {
    int Reconnections = 0;
    bool Ended = false;
    std::map<TSoakEvent, TRecovery> ByFault; // Drop, Stall, Restart
};

// How long the client went without progress after each fault, taken from its
// events in any order. Progress counts once the client connected again, or
// for a stall once it is over: what was on its way before the fault still
// arrives after it.
TClientRecovery AnalyseRecovery(std::vector<TTimedEvent> events);
