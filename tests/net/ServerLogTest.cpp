#include "ServerLog.h"

#include <gtest/gtest.h>

#include <regex>
#include <set>
#include <sstream>
#include <thread>
#include <vector>

TEST(ServerLog, StampsAreUtcAndLinesStayWholeWhenManyThreadsLog) {
    EXPECT_EQ(UtcStamp(0), "1970-01-01 00:00:00");
    EXPECT_EQ(UtcStamp(1700000000), "2023-11-14 22:13:20");

    std::ostringstream target;
    TServerLogWriter log(target);
    constexpr int Threads = 6;
    constexpr int Lines = 300;
    std::vector<std::thread> writers;
    for (int t = 0; t < Threads; ++t)
        writers.emplace_back([&log, t] {
            for (int i = 0; i < Lines; ++i)
                log("thread " + std::to_string(t) + " line " + std::to_string(i));
        });
    for (auto& writer : writers)
        writer.join();

    const std::regex shape(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d thread \d+ line \d+)");
    std::istringstream lines(target.str());
    std::set<std::string> seen;
    for (std::string line; std::getline(lines, line);) {
        EXPECT_TRUE(std::regex_match(line, shape)) << line;
        seen.insert(line.substr(20));
    }
    EXPECT_EQ(seen.size(), static_cast<std::size_t>(Threads * Lines));
}
