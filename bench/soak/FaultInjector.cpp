#include "FaultInjector.h"

#include <algorithm>
#include <string>

namespace {

int Uniform(std::mt19937& random, int low, int high) {
    return std::uniform_int_distribution<int>(low, high)(random);
}

std::string BigEndian32(std::uint32_t value) {
    return {static_cast<char>(value >> 24), static_cast<char>(value >> 16),
            static_cast<char>(value >> 8), static_cast<char>(value)};
}

// Calls `fired` when the relay acts on the fault. A position once found is
// kept: one beyond the bytes seen so far holds until enough have passed.
TFault::TLocator Observed(TFault::TLocator locate, std::function<void()> fired) {
    return [locate = std::move(locate), fired = std::move(fired),
            at = std::string::npos](const std::string& seen) mutable {
        if (at == std::string::npos)
            at = locate(seen);
        if (at != std::string::npos && at <= seen.size())
            fired();
        return at;
    };
}

} // namespace

TFault::TLocator FilmerUploadBoundary(std::mt19937& random) {
    switch (Uniform(random, 0, 2)) {
    case 0: // 19 bytes of message head, then the data
        return AtPattern("BLOCK\r\n", 1, Uniform(random, 0, 8000));
    case 1: {
        const std::string endOfPart =
            "BLOCK\r\n" + BigEndian32(static_cast<std::uint32_t>(Uniform(random, 0, 1))) +
            BigEndian32(1);
        return AtPattern(endOfPart, 1, Uniform(random, 0, static_cast<int>(endOfPart.size())));
    }
    default: // the line, then three numbers for each part
        return AtPattern("TRANSMIT\t2\t", 1, Uniform(random, 0, 40));
    }
}

TFault::TLocator ViewerDownloadBoundary(std::mt19937& random) {
    constexpr std::size_t DataRead = 1024;
    const double fraction = std::uniform_real_distribution<double>(0, 1)(random);
    return [fraction, before = std::size_t{0}](const std::string& seen) mutable {
        const std::size_t read = seen.size() - before;
        if (read < DataRead) {
            before = seen.size();
            return std::string::npos;
        }
        return before + static_cast<std::size_t>(fraction * static_cast<double>(read));
    };
}

TFaultInjector::TFaultInjector(TFaultRelay& relay, TFlow flow, TBoundaryChoice boundary,
                               std::vector<TPlannedFault> plan, std::uint32_t seed,
                               TEventLog& events)
    : Relay(relay), Flow(flow), Boundary(std::move(boundary)), Plan(std::move(plan)), Random(seed),
      Events(events) {}

void TFaultInjector::Tick() {
    if (Pending) {
        if (Pending->Fired->load())
            Pending.reset();
        else if (Relay.Connections() - 1 > Pending->Connection)
            Arm(Pending->Kind, Pending->Fired);
        return;
    }
    if (Next >= Plan.size() || std::chrono::steady_clock::now() - Start < Plan[Next].At)
        return;
    const TSoakEvent kind = Plan[Next++].Kind;
    if (kind != TSoakEvent::Restart)
        Arm(kind, std::make_shared<std::atomic<bool>>(false));
}

void TFaultInjector::Arm(TSoakEvent kind, std::shared_ptr<std::atomic<bool>> fired) {
    const int connection = std::max(0, Relay.Connections() - 1);
    TFault fault;
    if (kind == TSoakEvent::Stall)
        fault.Kind = TFaultKind::Stall;
    else
        fault.Kind = Uniform(Random, 0, 1) ? TFaultKind::Drop : TFaultKind::SwallowThenDrop;
    fault.Flow = Flow;
    fault.Stall = StallLength;
    // A copy moved to a newer connection shares the flag: the first to fire is the one logged.
    fault.At = Observed(Boundary(Random), [fired, kind, &events = Events] {
        if (!fired->exchange(true))
            events.Add(kind);
    });
    Relay.FaultConnection(connection, std::move(fault));
    Pending = TArmed{connection, kind, std::move(fired)};
}
