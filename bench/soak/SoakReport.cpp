#include "SoakReport.h"

#include <cstdio>

namespace {

constexpr double DropGoalSeconds = 10;
constexpr double StallGoalSeconds = 90;

const char* Verdict(bool met) {
    return met ? "" : "  MISSED";
}

// "drops 12: longest 3.1 s (goal < 10 s)", or nothing when there was none.
void PrintRecovery(const TClientRecovery& client, TSoakEvent kind, const char* name,
                   double goalSeconds) {
    const auto found = client.ByFault.find(kind);
    if (found == client.ByFault.end())
        return;
    const TRecovery& recovery = found->second;
    std::printf(";  %s %d:", name, recovery.Faults);
    if (recovery.NeverRecovered < recovery.Faults)
        std::printf(" longest %.1f s", recovery.LongestSeconds);
    if (recovery.NeverRecovered > 0)
        std::printf(" %d never followed by progress", recovery.NeverRecovered);
    if (goalSeconds > 0)
        std::printf(" (goal < %.0f s)%s", goalSeconds,
                    Verdict(recovery.NeverRecovered == 0 && recovery.LongestSeconds < goalSeconds));
}

} // namespace

void PrintSoakReport(const TSoakReport& report) {
    const TDeliveryFigures& delivery = report.Delivery;
    bool allIdentical = delivery.IdenticalAtServer == delivery.Sections;
    std::printf("sections byte-identical   server %d of %d", delivery.IdenticalAtServer,
                delivery.Sections);
    for (std::size_t v = 0; v < delivery.IdenticalAtViewer.size(); ++v) {
        std::printf(", viewer %zu %d", v + 1, delivery.IdenticalAtViewer[v]);
        allIdentical = allIdentical && delivery.IdenticalAtViewer[v] == delivery.Sections;
    }
    std::printf(" (goal: all)%s\n", Verdict(allIdentical));
    std::printf("commentary lost           %lld ms of %lld ms (goal: 0 ms)%s\n",
                static_cast<long long>(delivery.CommentaryLostMs),
                static_cast<long long>(delivery.CommentaryMs),
                Verdict(delivery.CommentaryLostMs == 0));
    std::printf("after the last section    %lld ms of audio captured after the last cut, which "
                "no section is made for once filming stops\n",
                static_cast<long long>(delivery.AfterLastSectionMs));
    std::printf("without progress after a fault, until the server stores or is announced more "
                "(filmer) or more data arrives (viewers):\n");
    for (const auto& [name, client] : report.Clients) {
        std::printf("  %-9s reconnections %d", name.c_str(), client.Reconnections);
        PrintRecovery(client, TSoakEvent::Drop, "drops", DropGoalSeconds);
        PrintRecovery(client, TSoakEvent::Stall, "stall", StallGoalSeconds);
        PrintRecovery(client, TSoakEvent::Restart, "server restart", 0);
        std::printf("%s\n", client.Ended ? "" : ";  DID NOT FINISH");
    }
    std::printf("client peak rss           %.1f MB%s\n",
                static_cast<double>(report.PeakRssKb) / 1024.0,
                report.PeakIsRunOnly ? " (filming run)" : " (whole process)");
    for (const std::string& difference : delivery.Differences)
        std::fprintf(stderr, "  differs: %s\n", difference.c_str());
}
