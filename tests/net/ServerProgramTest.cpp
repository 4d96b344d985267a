#include "BuildTree.h"
#include "CastClients.h"
#include "ServerOptions.h"
#include "WaitUntil.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <regex>
#include <thread>

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

const std::string Program = ServerProgram();

// What the program's standard input is.
enum class TInput { Pipe, EndOfInput, Closed };

// nelq-server with its standard input as asked (a pipe carries the
// operator's commands) and its output kept in a file.
class TServerProgram {
public:
    explicit TServerProgram(std::vector<std::string> arguments, TInput input = TInput::Pipe)
        : OutputPath(fs::temp_directory_path() /
                     ("nelq-server-output-" + std::to_string(::getpid()) + "-" +
                      std::to_string(++Started))) {
        int pipeEnds[2] = {-1, -1};
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        if (input == TInput::Pipe) {
            EXPECT_EQ(::pipe(pipeEnds), 0);
            posix_spawn_file_actions_adddup2(&actions, pipeEnds[0], 0);
            posix_spawn_file_actions_addclose(&actions, pipeEnds[1]);
        } else if (input == TInput::EndOfInput) {
            posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        } else {
            posix_spawn_file_actions_addclose(&actions, 0);
        }
        posix_spawn_file_actions_addopen(&actions, 1, OutputPath.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0600);
        posix_spawn_file_actions_adddup2(&actions, 1, 2);
        arguments.insert(arguments.begin(), Program);
        std::vector<char*> argv;
        for (auto& argument : arguments)
            argv.push_back(argument.data());
        argv.push_back(nullptr);
        EXPECT_EQ(posix_spawn(&Pid, Program.c_str(), &actions, nullptr, argv.data(), environ), 0);
        posix_spawn_file_actions_destroy(&actions);
        if (input == TInput::Pipe) {
            ::close(pipeEnds[0]);
            Input = pipeEnds[1];
        }
    }
    ~TServerProgram() {
        if (Pid > 0) {
            ::kill(Pid, SIGKILL);
            Wait();
        }
        if (Input >= 0)
            ::close(Input);
        fs::remove(OutputPath);
    }

    void Command(const std::string& line) {
        const std::string text = line + "\n";
        EXPECT_EQ(::write(Input, text.data(), text.size()), static_cast<ssize_t>(text.size()));
    }

    void Signal(int signal) { ::kill(Pid, signal); }

    // The exit status; -1 for a death by signal, -2 when still running at the deadline.
    int Wait(std::chrono::seconds limit = 60s) {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        int status = 0;
        while (::waitpid(Pid, &status, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() > deadline)
                return -2;
            std::this_thread::sleep_for(10ms);
        }
        Pid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    std::string Output() const {
        std::ifstream file(OutputPath);
        return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    }

    // The viewer port named in the log once the server listens; 0 if it never does.
    std::uint16_t ViewerPort() const {
        const std::string marker = " and for viewers on ";
        for (int wait = 0; wait < 1000; ++wait) {
            const std::string output = Output();
            const auto at = output.find(marker);
            const auto end = output.find('\n', at);
            if (at != std::string::npos && end != std::string::npos) {
                const std::string address =
                    output.substr(at + marker.size(), end - at - marker.size());
                return static_cast<std::uint16_t>(
                    std::stoi(address.substr(address.rfind(':') + 1)));
            }
            std::this_thread::sleep_for(20ms);
        }
        return 0;
    }

private:
    static inline int Started = 0;
    const fs::path OutputPath;
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
    EXPECT_EQ(options.FilmerSlots, 256u); // a quarter of the 1024 connections
    EXPECT_EQ(options.HttpPort, 28080);
    EXPECT_EQ(ParseServerOptions({"--bind", "h", "--data", "d", "--http-port", "0"}).HttpPort, 0);
    EXPECT_FALSE(ParseServerOptions({"--bind", "h", "--no-http", "--data", "d"}).HttpPort);
    const TServerOptions limits =
        ParseServerOptions({"--bind", "h", "--data", "d", "--max-connections", "10",
                            "--filmer-slots", "10", "--viewer-idle-timeout", "90"});
    EXPECT_EQ(limits.MaxConnections, 10u);
    EXPECT_EQ(limits.FilmerSlots, 10u);
    EXPECT_EQ(limits.ViewerIdleTimeout, 90s);
    EXPECT_EQ(
        ParseServerOptions({"--bind", "h", "--data", "d", "--max-connections", "10"}).FilmerSlots,
        3u);
    // The origin's address is where paths are appended.
    EXPECT_EQ(ParseServerOptions({"--bind", "h", "--data", "d", "--relay-from", "http://o:8080"})
                  .RelayFrom,
              "http://o:8080/");
    EXPECT_EQ(ParseServerOptions({"--bind", "h", "--data", "d", "--relay-from", "https://o/c/"})
                  .RelayFrom,
              "https://o/c/");
    EXPECT_FALSE(ParseServerOptions({"--bind", "h", "--data", "d"}).RelayFrom);
    EXPECT_TRUE(ParseServerOptions({"--help"}).Help);
    EXPECT_TRUE(ParseServerOptions({"--bind", "h", "-h"}).Help);
    const std::vector<std::vector<std::string>> bad{
        {"--data", "/tmp/d"},
        {"--bind", "127.0.0.1"},
        {"--bind", "127.0.0.1", "--data", "/tmp/d", "--filmer-port", "70000"},
        {"--bind", "127.0.0.1", "--data", "/tmp/d", "--viewer", "nopassword"},
        {"--bind", "127.0.0.1", "--data", "/tmp/d", "--color", "blue"},
        {"--bind"},
        {"--bind", "", "--data", "/tmp/d"},
        {"--bind", "h", "--data", "d", "--max-connections", "8", "--filmer-slots", "9"},
        {"--bind", "h", "--data", "d", "--max-connections", "0"},
        {"--bind", "h", "--data", "d", "--viewer-idle-timeout", "0"},
        {"--bind", "h", "--data", "d", "--http-port", "65536"},
        {"--bind", "h", "--data", "d", "--http-port", "1", "--no-http"},
        {"--bind", "h", "--data", "d", "--relay-from", "o:8080"},
        {"--bind", "h", "--data", "d", "--relay-from", "file:///etc/"},
        {"--bind", "h", "--data", "d", "--relay-from", "http://o/?x=1"},
        {"--bind", "h", "--data", "d", "--relay-from", "http://o/ x"},
        {"--bind", "h", "--data", "d", "--relay-from"},
    };
    for (const auto& arguments : bad)
        EXPECT_THROW(ParseServerOptions(arguments), std::invalid_argument);

    TServerProgram wrong({"--bind", "127.0.0.12"});
    EXPECT_EQ(wrong.Wait(), 2);
    EXPECT_NE(wrong.Output().find("usage: nelq-server"), std::string::npos);

    TServerProgram help({"--help"});
    EXPECT_EQ(help.Wait(), 0);
    EXPECT_TRUE(help.Output().starts_with("usage: nelq-server")) << help.Output();
    EXPECT_NE(help.Output().find("--filmer-slots N"), std::string::npos);
    EXPECT_NE(help.Output().find("--viewer-idle-timeout"), std::string::npos);
    for (const char* option : {"--viewers-file FILE", "--film-password-file FILE", "--version",
                               "--http-port N", "--no-http"})
        EXPECT_NE(help.Output().find(option), std::string::npos) << option;

    TServerProgram version({"--version"});
    EXPECT_EQ(version.Wait(), 0);
    EXPECT_TRUE(std::regex_match(version.Output(), std::regex("nelq-server [0-9]+(\\.[0-9]+)*\n")))
        << version.Output();

    // A password file at fault is a bad option like any other, and says which file.
    TServerProgram unreadable(
        {"--bind", "127.0.0.12", "--data", "d", "--viewers-file", "/nonexistent/viewers"});
    EXPECT_EQ(unreadable.Wait(), 2);
    EXPECT_NE(unreadable.Output().find("nelq-server: /nonexistent/viewers: cannot read"),
              std::string::npos)
        << unreadable.Output();
}

TEST(ServerProgram, ABadBindAddressIsAClearErrorAndCreatesNothing) {
    const fs::path data =
        fs::temp_directory_path() / ("nelq-net-badbind-" + std::to_string(::getpid()));
    fs::remove_all(data);
    const std::vector<std::pair<std::string, std::string>> cases{
        {"no-such-host.invalid", "cannot resolve the bind address no-such-host.invalid"},
        {"192.0.2.1", "cannot listen on 192.0.2.1:28200"}, // not an address of this machine
    };
    for (const auto& [address, reason] : cases) {
        TServerProgram server({"--bind", address, "--data", data.string()});
        EXPECT_EQ(server.Wait(), 1);
        EXPECT_NE(server.Output().find(reason), std::string::npos) << server.Output();
        EXPECT_FALSE(fs::exists(data)) << address;
    }
}

TEST(ServerProgram, AHostNameIsResolvedToTheAddressItListensOn) {
    const fs::path data =
        fs::temp_directory_path() / ("nelq-net-hostname-" + std::to_string(::getpid()));
    fs::remove_all(data);
    TServerProgram server({"--bind", "localhost", "--data", data.string(), "--filmer-port", "0",
                           "--viewer-port", "0"});
    const std::uint16_t port = server.ViewerPort();
    ASSERT_NE(port, 0) << server.Output();
    EXPECT_NE(server.Output().find("listening for filmers on 127.0.0.1:"), std::string::npos);
    auto viewer = ConnectWhenUp("127.0.0.1", port, "1016");
    ASSERT_TRUE(viewer);
    viewer->ReadLine();
    EXPECT_TRUE(ListLines(*viewer, "LISTGAMES").empty());
    EXPECT_TRUE(fs::is_directory(data));
    server.Command("quit");
    EXPECT_EQ(server.Wait(), 0);
    fs::remove_all(data);
}

TEST(ServerProgram, StopsCleanlyWhetherStandardInputIsOpenAtItsEndOrClosed) {
    const fs::path data =
        fs::temp_directory_path() / ("nelq-net-stdin-" + std::to_string(::getpid()));
    for (const TInput input : {TInput::Pipe, TInput::EndOfInput, TInput::Closed}) {
        SCOPED_TRACE(static_cast<int>(input));
        fs::remove_all(data);
        TServerProgram server({"--bind", "127.0.0.18", "--data", data.string(), "--filmer-port",
                               "0", "--viewer-port", "0"},
                              input);
        const std::uint16_t port = server.ViewerPort();
        ASSERT_NE(port, 0) << server.Output();
        auto viewer = ConnectWhenUp("127.0.0.18", port, "1016");
        ASSERT_TRUE(viewer) << server.Output(); // still serving without an operator
        viewer->ReadLine();
        EXPECT_TRUE(ListLines(*viewer, "LISTGAMES").empty());
        if (input == TInput::Pipe) // commands still coming in while the server stops
            for (int i = 0; i < 2000; ++i)
                server.Command("list");
        server.Signal(SIGTERM);
        EXPECT_EQ(server.Wait(), 0) << server.Output();
        EXPECT_NE(server.Output().find("stopping"), std::string::npos);
    }
    fs::remove_all(data);
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
    // Viewers are told first, then the files go.
    EXPECT_TRUE(WaitUntil([&] { return !fs::exists(data / "Operator Test"); }));

    server.Command("quit");
    EXPECT_EQ(server.Wait(), 0);
    fs::remove_all(data);
}
