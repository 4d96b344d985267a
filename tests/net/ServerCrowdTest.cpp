#include "DescriptorLimit.h"
#include "ServerHarness.h"
#include "ViewerCrowd.h"
#include "WaitUntil.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <iterator>

using namespace std::chrono_literals;

namespace {

std::size_t ThreadsOfThisProcess() {
    const std::filesystem::directory_iterator tasks("/proc/self/task");
    return static_cast<std::size_t>(std::distance(begin(tasks), end(tasks)));
}

} // namespace

// Thousands of viewers watch a cast while it is filmed: the server serves
// them all from its few threads, and each gets every section byte-identical.
TEST(ServerCrowd, TwoThousandViewersOfALiveCastGetItWholeFromAFewThreads) {
    constexpr int Viewers = 2000;
    // Each viewer holds a descriptor in the crowd and one in the server.
    ASSERT_GE(RaiseDescriptorLimit(), 2u * Viewers + 256) << "the hard limit on open files";
    TServerHarness harness("127.0.0.26", "crowd");
    const std::vector<TSectionParts> sections{
        MakeSection(1, false, true), MakeSection(2, false, false), MakeSection(3, true, false),
        MakeSection(4, false, true, 40000, 20000)};
    auto filmer = harness.FilmerOf("Crowded");

    const std::size_t threadsBefore = ThreadsOfThisProcess();
    constexpr int CrowdThreads = 2;
    TViewerCrowd crowd(
        {harness.Address, harness.ViewerPort(), "Crowded", Viewers, sections, 0ms, CrowdThreads});
    ASSERT_TRUE(WaitUntil([&] { return crowd.Requested() == Viewers; }, 60s))
        << crowd.Requested() << " viewers requested the cast";
    // A thread per connection would show here.
    EXPECT_LE(ThreadsOfThisProcess(), threadsBefore + CrowdThreads);

    for (std::size_t n = 0; n < sections.size(); ++n)
        UploadSection(*filmer, static_cast<std::int32_t>(n), sections[n], 3000);
    filmer->WriteLine("COMPLETED");
    const TCrowdResult result = crowd.Finish();
    EXPECT_EQ(result.Complete, Viewers) << result.FirstFault;
    EXPECT_EQ(result.FirstFault, "");
}
