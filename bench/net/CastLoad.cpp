#include "CastLoad.h"

#include "ViewerCrowd.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <memory>
#include <random>
#include <stdexcept>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto Pass = std::chrono::seconds(1);
constexpr auto ViewerTick = std::chrono::milliseconds(250);
const char* const Game = "Load";
// What a viewer is sent for a block besides its bytes (stream, kind, count),
// and for the end of a stream (stream, kind).
constexpr std::int64_t ViewerBlockHead = 12;
constexpr std::int64_t ViewerEndMarker = 8;

std::string Random(std::mt19937& random, std::size_t size) {
    std::string bytes(size, '\0');
    for (auto& byte : bytes)
        byte = static_cast<char>(random());
    return bytes;
}

// A section of about six seconds at the filmer's rate, so that what a
// viewer costs while it watches outweighs what its connection costs.
TSectionParts Section(std::mt19937& random, bool fake, bool startPoint) {
    TSectionParts section;
    section.Audio = Random(random, 60000);
    if (fake)
        return section;
    const std::size_t head = startPoint ? 1500 : 0;
    section.Demo = Random(random, 1032 + head + 60000);
    std::fill_n(section.Demo.begin() + 4, 1024, ' ');
    section.Demo[4] = '\0';
    for (int i = 0; i < 4; ++i)
        section.Demo[1028 + i] = static_cast<char>(head >> (8 * i));
    section.BodyOffset = static_cast<std::int32_t>(1032 + head);
    return section;
}

// Uploads like the client: a pass a second, each open part's budget
// rate - k * (rate / 2) + rate / 2 with k parts open, end markers in a pass
// after the last data, a keep-alive when a pass sends nothing.
void Film(TServerConnection& filmer, const std::vector<TSectionParts>& sections, std::int32_t rate,
          std::vector<Clock::time_point>& sectionSent, std::vector<std::int64_t>& passBytes) {
    auto nextPass = Clock::now();
    for (std::size_t n = 0; n < sections.size(); ++n) {
        AnnounceSection(filmer, static_cast<std::int32_t>(n), sections[n]);
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
            std::int64_t& pass = passBytes.emplace_back(0);
            for (int p = 0; p < 2; ++p) {
                if (done[p])
                    continue;
                const std::string& bytes = *data[p];
                if (position[p] < bytes.size()) {
                    const std::size_t count = std::min(bytes.size() - position[p], budget);
                    SendBlock(filmer, p, bytes.substr(position[p], count));
                    position[p] += count;
                    pass += ViewerBlockHead + static_cast<std::int64_t>(count);
                } else {
                    EndPart(filmer, p);
                    done[p] = true;
                    pass += ViewerEndMarker;
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

} // namespace

double Percentile(std::vector<double> values, double share) {
    if (values.empty())
        return 0;
    const auto at = static_cast<std::size_t>(share * static_cast<double>(values.size() - 1));
    std::nth_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(at), values.end());
    return values[at];
}

std::vector<TSectionParts> LoadCast() {
    std::mt19937 random(47);
    return {Section(random, false, true), Section(random, false, false),
            Section(random, true, false), Section(random, false, true)};
}

std::int64_t CastBytes(const std::vector<TSectionParts>& sections) {
    std::int64_t bytes = 0;
    for (const auto& section : sections)
        bytes += static_cast<std::int64_t>(section.Demo.size() + section.Audio.size());
    return bytes;
}

int ViewerCountArgument(const std::string& text) {
    constexpr int Most = 50000;
    int count = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), count);
    if (error != std::errc() || end != text.data() + text.size() || count < 1 || count > Most)
        throw std::invalid_argument("not a number of viewers from 1 to " + std::to_string(Most) +
                                    ": \"" + text + "\"");
    return count;
}

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

TSpreadLoadResult RunSpreadCastLoad(const std::string& filmerAddress, std::uint16_t filmerPort,
                                    const std::vector<TViewerGroup>& groups, std::int32_t rate,
                                    const std::vector<TSectionParts>& sections,
                                    const std::function<void()>& beforeViewers) {
    TServerConnection filmer;
    if (!ConnectAs(filmer, filmerAddress, filmerPort, "2016").Accepted ||
        !FilmerLogin(filmer, "", "NEW", Game).Accepted)
        throw std::runtime_error("the server refused the filmer");
    if (beforeViewers)
        beforeViewers();

    std::vector<std::unique_ptr<TViewerCrowd>> crowds;
    for (const auto& group : groups)
        crowds.push_back(std::make_unique<TViewerCrowd>(TCrowdPlan{
            group.Address, group.Port, Game, group.Viewers, sections, ViewerTick, 2}));
    // Every viewer waits for the live cast before the first byte is filmed.
    const auto deadline = Clock::now() + std::chrono::minutes(5);
    for (std::size_t g = 0; g < groups.size(); ++g)
        while (crowds[g]->Requested() < groups[g].Viewers && Clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
    std::vector<Clock::time_point> sent(sections.size());
    TSpreadLoadResult result;
    Film(filmer, sections, rate, sent, result.PassBytes);

    for (auto& crowd : crowds) {
        const TCrowdResult crowded = crowd->Finish();
        TGroupLoad& group = result.Groups.emplace_back();
        group.ViewersComplete = crowded.Complete;
        group.FirstFault = crowded.FirstFault;
        for (const auto& viewerDone : crowded.SectionDone)
            for (std::size_t n = 0; n < sections.size(); ++n)
                if (viewerDone[n] != Clock::time_point())
                    group.LagsMs.push_back(
                        std::chrono::duration<double, std::milli>(viewerDone[n] - sent[n]).count());
    }
    return result;
}

TCastLoadResult RunCastLoad(const std::string& address, std::uint16_t filmerPort,
                            std::uint16_t viewerPort, int viewers, std::int32_t rate,
                            const std::vector<TSectionParts>& sections) {
    const TSpreadLoadResult spread =
        RunSpreadCastLoad(address, filmerPort, {{address, viewerPort, viewers}}, rate, sections, {});
    const TGroupLoad& group = spread.Groups[0];
    TCastLoadResult result;
    result.PassBytes = spread.PassBytes;
    result.ViewersComplete = group.ViewersComplete;
    result.FirstFault = group.FirstFault;
    result.LagP95Ms = Percentile(group.LagsMs, 0.95);
    result.LagMaxMs =
        group.LagsMs.empty() ? 0 : *std::max_element(group.LagsMs.begin(), group.LagsMs.end());
    return result;
}
