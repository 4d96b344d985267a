#include "CastClients.h"
#include "ServerOptions.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <thread>

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

const std::string Program = std::string(NELQ_BINARY_DIR) + "/tools/nelq-server/nelq-server";

// nelq-server with a pipe to its standard input (the operator's commands).
class TServerProgram {
public:
    explicit TServerProgram(std::vector<std::string> arguments) {
        int pipeEnds[2];
        EXPECT_EQ(::pipe(pipeEnds), 0);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, pipeEnds[0], 0);
        posix_spawn_file_actions_addclose(&actions, pipeEnds[1]);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        arguments.insert(arguments.begin(), Program);
        std::vector<char*> argv;
        for (auto& argument : arguments)
            argv.push_back(argument.data());
        argv.push_back(nullptr);
        EXPECT_EQ(posix_spawn(&Pid, Program.c_str(), &actions, nullptr, argv.data(), environ), 0);
        posix_spawn_file_actions_destroy(&actions);
        ::close(pipeEnds[0]);
        Input = pipeEnds[1];
    }
    ~TServerProgram() {
        if (Pid > 0) {
            ::kill(Pid, SIGKILL);
            Wait();
        }
        ::close(Input);
    }

    void Command(const std::string& line) {
        const std::string text = line + "\n";
        EXPECT_EQ(::write(Input, text.data(), text.size()), static_cast<ssize_t>(text.size()));
    }

    int Wait() {
        int status = 0;
        ::waitpid(Pid, &status, 0);
        Pid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

private:
    pid_t Pid = -1;
    int Input = -1;
};

std::unique_ptr<TServerConnection> ConnectWhenUp(const char* address, std::uint16_t port,
                                                 const char* role) {
    for (int attempt = 0; attempt < 250; ++attempt) {
        auto connection = std::make_unique<TServerConnection>();
        try {
            if (ConnectAs(*connection, address, port, role).Accepted)
                return connection;
        } catch (const std::exception&) {
            std::this_thread::sleep_for(20ms);
        }
    }
    return nullptr;
}

} // namespace

TEST(ServerProgram, CommandLineIsCheckedAndBadOnesAreRefused) {
    const TServerOptions options = ParseServerOptions(
        {"--bind", "127.0.0.1", "--data", "/tmp/d", "--film-password", "p", "--viewer", "a:b:c",
         "--viewer", "d:", "--filmer-port", "0", "--viewer-port", "28101"});
    EXPECT_EQ(options.Viewers.at("a"), "b:c");
    EXPECT_EQ(options.Viewers.at("d"), "");
    EXPECT_EQ(options.FilmPassword, "p");
    EXPECT_EQ(options.FilmerPort, 0);
    EXPECT_EQ(options.ViewerPort, 28101);
    const std::vector<std::vector<std::string>> bad{
        {"--data", "/tmp/d"},
        {"--bind", "127.0.0.1"},
        {"--bind", "127.0.0.1", "--data", "/tmp/d", "--filmer-port", "70000"},
        {"--bind", "127.0.0.1", "--data", "/tmp/d", "--viewer", "nopassword"},
        {"--bind", "127.0.0.1", "--data", "/tmp/d", "--color", "blue"},
        {"--bind"},
    };
    for (const auto& arguments : bad)
        EXPECT_THROW(ParseServerOptions(arguments), std::invalid_argument);

    TServerProgram wrong({"--bind", "127.0.0.12"});
    EXPECT_EQ(wrong.Wait(), 2);
}

TEST(ServerProgram, OperatorDeletesACastWhileTheServerRunsAndQuits) {
    const fs::path data =
        fs::temp_directory_path() / ("nelq-net-program-" + std::to_string(::getpid()));
    fs::remove_all(data);
    TServerProgram server({"--bind", "127.0.0.12", "--data", data.string()});
    auto filmer = ConnectWhenUp("127.0.0.12", 28200, "2016");
    ASSERT_TRUE(filmer);
    ASSERT_TRUE(FilmerLogin(*filmer, "", "NEW", "Operator Test").Accepted);
    UploadSection(*filmer, 0, {std::string(), 0, std::string(3000, 'a')});

    auto viewer = ConnectWhenUp("127.0.0.12", 28100, "1016");
    ASSERT_TRUE(viewer);
    viewer->ReadLine();
    SendRequest(*viewer, "Operator Test", 1, 1, false);
    server.Command("delete Operator Test");
    EXPECT_EQ(ReadSectionHeader(*viewer).Count, -2);
    for (int wait = 0; wait < 100 && fs::exists(data / "Operator Test"); ++wait)
        std::this_thread::sleep_for(20ms); // viewers are told first, then the files go
    EXPECT_FALSE(fs::exists(data / "Operator Test"));

    server.Command("quit");
    EXPECT_EQ(server.Wait(), 0);
    fs::remove_all(data);
}
