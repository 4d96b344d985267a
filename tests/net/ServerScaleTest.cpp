#include "BuildTree.h"
#include "ServerOptions.h"
#include "WaitUntil.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

std::string ReadAll(const fs::path& path) {
    std::ifstream file(path);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

// nelq-server started with the given limits on open files, its output in `log`.
pid_t StartWithFileLimit(rlim_t soft, rlim_t hard, std::vector<std::string> arguments,
                         const fs::path& log) {
    const std::string program = ServerProgram();
    arguments.insert(arguments.begin(), program);
    std::vector<char*> argv;
    for (auto& argument : arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) { // only async-signal-safe calls until exec
        const int output = ::open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int input = ::open("/dev/null", O_RDONLY);
        ::dup2(input, 0);
        ::dup2(output, 1);
        ::dup2(output, 2);
        const rlimit files{soft, hard};
        ::setrlimit(RLIMIT_NOFILE, &files);
        ::execv(program.c_str(), argv.data());
        ::_exit(127);
    }
    return pid;
}

} // namespace

TEST(ServerScale, ThreadsConnectionsAndFilmerSlotsFromTheCommandLine) {
    struct TCase {
        std::vector<std::string> Extra;
        std::size_t Threads;
        std::size_t MaxConnections;
        std::size_t FilmerSlots;
    };
    const std::size_t cores = std::max(1u, std::thread::hardware_concurrency());
    const std::vector<TCase> cases{
        {{}, cores, 20000, 256}, // a quarter would keep 5,000 viewers out
        {{"--threads", "3"}, 3, 20000, 256},
        {{"--max-connections", "100"}, cores, 100, 25},
        {{"--max-connections", "2000", "--filmer-slots", "600"}, cores, 2000, 600},
    };
    for (const auto& test : cases) {
        std::vector<std::string> arguments{"--bind", "h", "--data", "d"};
        arguments.insert(arguments.end(), test.Extra.begin(), test.Extra.end());
        const TServerOptions options = ParseServerOptions(arguments);
        EXPECT_EQ(options.Threads, test.Threads);
        EXPECT_EQ(options.MaxConnections, test.MaxConnections);
        EXPECT_EQ(options.FilmerSlots, test.FilmerSlots);
    }
    for (const char* bad : {"0", "257", "two", ""})
        EXPECT_THROW(ParseServerOptions({"--bind", "h", "--data", "d", "--threads", bad}),
                     std::invalid_argument)
            << bad;
}

// The server raises its soft limit on open files to the hard one, and says
// so when even that is too low for the connections it would take.
TEST(ServerScale, TheServerRaisesItsFileLimitAndSaysWhenItStaysTooLow) {
    const fs::path scratch =
        fs::temp_directory_path() / ("nelq-net-files-" + std::to_string(::getpid()));
    fs::remove_all(scratch);
    fs::create_directories(scratch);
    struct TCase {
        std::vector<std::string> Extra;
        std::string Note; // none: the log says nothing of the limit
    };
    // 100 connections without the web page need 356 descriptors: more than
    // the soft 256, less than the hard 512. The default 20,000 need more.
    const std::vector<TCase> cases{
        {{"--max-connections", "100"}, ""},
        {{}, "the descriptor limit is 512, below the 20256 that --max-connections 20000 needs"}};
    for (std::size_t n = 0; n < cases.size(); ++n) {
        std::vector<std::string> arguments{"--bind",        "127.0.0.27", "--data",
                                           (scratch / "data").string(),
                                           "--filmer-port", "0",          "--viewer-port",
                                           "0",             "--no-http"};
        arguments.insert(arguments.end(), cases[n].Extra.begin(), cases[n].Extra.end());
        const fs::path log = scratch / ("log-" + std::to_string(n));
        const pid_t server = StartWithFileLimit(256, 512, arguments, log);
        ASSERT_GT(server, 0);
        EXPECT_TRUE(WaitUntil([&] { return ReadAll(log).find("listening") != std::string::npos; }))
            << ReadAll(log);
        const std::string output = ReadAll(log);
        if (cases[n].Note.empty()) {
            EXPECT_EQ(output.find("descriptor limit"), std::string::npos) << output;
        } else {
            EXPECT_NE(output.find(cases[n].Note), std::string::npos) << output;
        }
        ::kill(server, SIGTERM);
        int status = 0;
        ::waitpid(server, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << output;
    }
    fs::remove_all(scratch);
}
