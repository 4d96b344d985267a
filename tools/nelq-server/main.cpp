// nelq-server: the casting server that NELQ clients film to and view from.
#include "CastingServer.h"

#include <csignal>
#include <ctime>
#include <iostream>
#include <mutex>
#include <pthread.h>
#include <string>
#include <sys/resource.h>
#include <thread>

namespace {

std::mutex LogLock;

void LogLine(const std::string& line) {
    const std::time_t now = std::time(nullptr);
    char stamp[32];
    std::strftime(stamp, sizeof(stamp), "%Y-%m-%d %H:%M:%S", std::gmtime(&now));
    std::lock_guard guard(LogLock);
    std::cerr << stamp << ' ' << line << std::endl;
}

// Operator commands, one per line on standard input.
void ReadCommands(TCastingServer& server) {
    std::string line;
    while (std::getline(std::cin, line)) {
        if (line == "list") {
            std::lock_guard guard(LogLock);
            for (const auto& name : server.CastNames())
                std::cout << name << '\n';
            std::cout << std::flush;
        } else if (line.rfind("delete ", 0) == 0) {
            server.DeleteCast(line.substr(7));
        } else if (line == "quit") {
            break;
        } else if (!line.empty()) {
            LogLine("unknown command: " + line);
        }
    }
    if (std::cin.eof())
        return; // no operator: keep serving until a signal comes
    ::kill(::getpid(), SIGTERM);
}

} // namespace

int main(int argc, char** argv) {
    TServerOptions options;
    try {
        options = ParseServerOptions({argv + 1, argv + argc});
    } catch (const std::exception& error) {
        std::cerr << "nelq-server: " << error.what() << '\n' << ServerUsage;
        return 2;
    }
    // Threads started from here on leave SIGINT and SIGTERM to sigwait below.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
    // Every connection holds a descriptor: allow as many as the system lets us.
    rlimit files{};
    if (getrlimit(RLIMIT_NOFILE, &files) == 0) {
        files.rlim_cur = files.rlim_max;
        setrlimit(RLIMIT_NOFILE, &files);
    }

    try {
        TCastingServer server(options, LogLine);
        server.Start();
        std::thread(ReadCommands, std::ref(server)).detach();
        int signal = 0;
        sigwait(&stopSignals, &signal);
        LogLine("stopping");
        server.Stop();
    } catch (const std::exception& error) {
        LogLine(std::string("nelq-server: ") + error.what());
        return 1;
    }
    return 0;
}
