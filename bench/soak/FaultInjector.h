#pragma once

#include "EventLog.h"
#include "FaultPlan.h"
#include "FaultRelay.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <random>
#include <vector>

// Where one fault falls in the flow's bytes, chosen at random.
using TBoundaryChoice = std::function<TFault::TLocator(std::mt19937& random)>;

// Boundaries lie where data is on its way, so that the time to the next
// progress is the client's recovery and not a wait for more of the cast.
// A filmer's upload: inside a data block, at an end-of-part marker or in an
// announcement.
TFault::TLocator FilmerUploadBoundary(std::mt19937& random);
// A viewer's download: any byte of the next data the server sends (a read
// of 1024 bytes or more, which keep-alives never are).
TFault::TLocator ViewerDownloadBoundary(std::mt19937& random);

// Arms one client's planned drops and stall on its relay, one at a time, each
// on the connection the client uses when the fault is due; a fault still
// waiting for its boundary when the client moves to a new connection moves
// with it. Each fault that fires is added to the client's events. Restarts
// in the plan are left to whoever runs the server.
class TFaultInjector {
public:
    TFaultInjector(TFaultRelay& relay, TFlow flow, TBoundaryChoice boundary,
                   std::vector<TPlannedFault> plan, std::uint32_t seed, TEventLog& events);

    // Call a few times a second.
    void Tick();

private:
    struct TArmed {
        int Connection;
        TSoakEvent Kind;
        std::shared_ptr<std::atomic<bool>> Fired;
    };

    void Arm(TSoakEvent kind, std::shared_ptr<std::atomic<bool>> fired);

    TFaultRelay& Relay;
    const TFlow Flow;
    const TBoundaryChoice Boundary;
    const std::vector<TPlannedFault> Plan;
    std::mt19937 Random;
    TEventLog& Events;
    const std::chrono::steady_clock::time_point Start = std::chrono::steady_clock::now();
    std::size_t Next = 0;
    std::optional<TArmed> Pending;
};
