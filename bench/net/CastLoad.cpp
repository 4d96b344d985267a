#include "CastLoad.h"

#include "CastClients.h"
#include "ReferenceRelay.h"

#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <mutex>
#include <random>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto Pass = std::chrono::seconds(1);
constexpr auto ViewerTick = std::chrono::milliseconds(250);
const char* const Game = "Load";

std::string Random(std::mt19937& random, std::size_t size) {
    std::string bytes(size, '\0');
    for (auto& byte : bytes)
        byte = static_cast<char>(random());
    return bytes;
}

TLoadSection Section(std::mt19937& random, bool fake, bool startPoint) {
    TLoadSection section;
    section.Audio = Random(random, 10000);
    if (fake)
        return section;
    const std::size_t head = startPoint ? 1500 : 0;
    section.Demo = Random(random, 1032 + head + 16000);
    std::fill_n(section.Demo.begin() + 4, 1024, ' ');
    section.Demo[4] = '\0';
    for (int i = 0; i < 4; ++i)
        section.Demo[1028 + i] = static_cast<char>(head >> (8 * i));
    section.BodyOffset = static_cast<std::int32_t>(1032 + head);
    return section;
}

TSectionParts Parts(const TLoadSection& section) {
    return {section.Demo, section.BodyOffset, section.Audio};
}

// Uploads like the client: a pass a second, each open part's budget
// rate - k * (rate / 2) + rate / 2 with k parts open, end markers in a pass
// after the last data, a keep-alive when a pass sends nothing.
void Film(TServerConnection& filmer, const std::vector<TLoadSection>& sections, std::int32_t rate,
          std::vector<Clock::time_point>& sectionSent) {
    auto nextPass = Clock::now();
    for (std::size_t n = 0; n < sections.size(); ++n) {
        AnnounceSection(filmer, static_cast<std::int32_t>(n), Parts(sections[n]));
        const std::array<const std::string*, 2> data{&sections[n].Demo, &sections[n].Audio};
        std::array<std::size_t, 2> position{0, 0};
        std::array<bool, 2> done{false, false};
        while (!done[0] || !done[1]) {
            nextPass += Pass;
            std::this_thread::sleep_until(nextPass);
            const auto open =
                static_cast<std::int32_t>(!done[0]) + static_cast<std::int32_t>(!done[1]);
            const auto budget = static_cast<std::size_t>(rate - open * (rate / 2) + rate / 2);
            bool sent = false;
            for (int p = 0; p < 2; ++p) {
                if (done[p])
                    continue;
                const std::string& bytes = *data[p];
                if (position[p] < bytes.size()) {
                    const std::size_t count = std::min(bytes.size() - position[p], budget);
                    SendBlock(filmer, p, bytes.substr(position[p], count));
                    position[p] += count;
                } else {
                    EndPart(filmer, p);
                    done[p] = true;
                }
                sent = true;
            }
            if (!sent) {
                filmer.WriteLine("HI");
                filmer.ReadLine();
            }
        }
        sectionSent[n] = Clock::now();
    }
    filmer.WriteLine("COMPLETED");
}

// Receives the whole cast one message per tick; true when byte-identical.
bool View(TServerConnection& viewer, const std::vector<TLoadSection>& sections,
          std::vector<Clock::time_point>& sectionDone) {
    const auto tick = [] {
        std::this_thread::sleep_for(ViewerTick);
        return true;
    };
    SendRequest(viewer, Game, 0, 0, false);
    for (std::size_t n = 0;; ++n) {
        tick();
        const TSectionHeader header = ReadSectionHeader(viewer);
        if (header.Count < 0)
            return header.Count == -1 && n == sections.size();
        std::vector<std::string> streams;
        ReceiveSection(viewer, header, streams, tick);
        sectionDone[n] = Clock::now();
        const TLoadSection& sent = sections[n];
        const bool whole = n == 0 || sections[n - 1].Demo.empty();
        const std::string demo = whole || sent.Demo.empty()
                                     ? sent.Demo
                                     : sent.Demo.substr(static_cast<std::size_t>(sent.BodyOffset));
        if (streams.size() != 2 || streams[0] != demo || streams[1] != sent.Audio)
            return false;
    }
}

} // namespace

void WaitAccepting(const std::string& address, std::uint16_t port) {
    for (int attempt = 0; attempt < 500; ++attempt) {
        try {
            TServerConnection probe;
            probe.Connect(address, port);
            return;
        } catch (const std::exception&) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }
    throw std::runtime_error("nothing listens on " + address + ":" + std::to_string(port));
}

std::vector<TLoadSection> LoadCast() {
    std::mt19937 random(47);
    return {Section(random, false, true), Section(random, false, false),
            Section(random, true, false), Section(random, false, true)};
}

std::int64_t CastBytes(const std::vector<TLoadSection>& sections) {
    std::int64_t bytes = 0;
    for (const auto& section : sections)
        bytes += static_cast<std::int64_t>(section.Demo.size() + section.Audio.size());
    return bytes;
}

TSpreadLoadResult RunSpreadCastLoad(const std::string& filmerAddress, std::uint16_t filmerPort,
                                    const std::vector<TViewerGroup>& groups, std::int32_t rate,
                                    const std::vector<TLoadSection>& sections,
                                    const std::function<void()>& beforeViewers) {
    TServerConnection filmer;
    if (!ConnectAs(filmer, filmerAddress, filmerPort, "2016").Accepted ||
        !FilmerLogin(filmer, "", "NEW", Game).Accepted)
        throw std::runtime_error("the server refused the filmer");
    if (beforeViewers)
        beforeViewers();

    struct TViewer {
        std::size_t Group;
        std::vector<Clock::time_point> Done;
        bool Complete = false;
    };
    std::vector<TViewer> viewers;
    for (std::size_t g = 0; g < groups.size(); ++g)
        for (int v = 0; v < groups[g].Viewers; ++v)
            viewers.push_back({g, std::vector<Clock::time_point>(sections.size())});
    std::vector<std::thread> threads;
    for (auto& viewer : viewers)
        threads.emplace_back([&] {
            try {
                const TViewerGroup& group = groups[viewer.Group];
                TServerConnection connection;
                ConnectAs(connection, group.Address, group.Port, "1016");
                connection.ReadLine();
                viewer.Complete = View(connection, sections, viewer.Done);
            } catch (const std::exception&) {
                // counted as incomplete
            }
        });
    std::vector<Clock::time_point> sent(sections.size());
    const auto began = Clock::now();
    Film(filmer, sections, rate, sent);
    TSpreadLoadResult result;
    result.FilmingSeconds = std::chrono::duration<double>(Clock::now() - began).count();
    for (auto& thread : threads)
        thread.join();
    result.Groups.resize(groups.size());
    for (const auto& viewer : viewers) {
        TGroupLoad& group = result.Groups[viewer.Group];
        group.ViewersComplete += viewer.Complete;
        for (std::size_t n = 0; n < sections.size(); ++n)
            if (viewer.Done[n] != Clock::time_point())
                group.LagsMs.push_back(
                    std::chrono::duration<double, std::milli>(viewer.Done[n] - sent[n]).count());
    }
    return result;
}

TCastLoadResult RunCastLoad(const std::string& address, std::uint16_t filmerPort,
                            std::uint16_t viewerPort, int viewers, std::int32_t rate,
                            const std::vector<TLoadSection>& sections) {
    const TSpreadLoadResult spread = RunSpreadCastLoad(
        address, filmerPort, {{address, viewerPort, viewers}}, rate, sections, {});
    TCastLoadResult result;
    result.FilmingSeconds = spread.FilmingSeconds;
    result.ViewersComplete = spread.Groups[0].ViewersComplete;
    for (const double lag : spread.Groups[0].LagsMs)
        result.SlowestLagMs = std::max(result.SlowestLagMs, lag);
    return result;
}

int RunRelayLoad(const std::string& address, std::uint16_t port, int viewers, std::int32_t rate,
                 std::int64_t bytes) {
    std::atomic<int> complete{0};
    std::vector<std::thread> threads;
    for (int v = 0; v < viewers; ++v) {
        const int socket = ConnectToRelay(address, port, 'V');
        threads.emplace_back([&, socket] {
            std::int64_t got = 0;
            char buffer[65536];
            for (ssize_t n; (n = ::recv(socket, buffer, sizeof(buffer), 0)) > 0;)
                got += n;
            ::close(socket);
            if (got == bytes)
                ++complete;
        });
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(200)); // every viewer is registered
    const int filmer = ConnectToRelay(address, port, 'F');
    const std::string chunk(static_cast<std::size_t>(rate), 'x');
    auto nextPass = Clock::now();
    for (std::int64_t left = bytes; left > 0; left -= rate) {
        nextPass += Pass;
        std::this_thread::sleep_until(nextPass);
        const auto count = static_cast<std::size_t>(std::min<std::int64_t>(left, rate));
        ::send(filmer, chunk.data(), count, MSG_NOSIGNAL);
    }
    ::close(filmer);
    for (auto& thread : threads)
        thread.join();
    return complete;
}
