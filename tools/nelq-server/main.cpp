// nelq-server: the casting server that NELQ clients film to and view from.
#include "CastingServer.h"
#include "DescriptorLimit.h"
#include "EdgeRelay.h"
#include "OperatorConsole.h"
#include "ServerLog.h"
#include "ServerVersion.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <iostream>
#include <optional>
#include <pthread.h>
#include <string>
#include <unistd.h>

namespace {

// A closed standard descriptor would be handed to the next socket, and log
// lines or the operator's input would then travel over a client's connection.
void KeepStandardDescriptorsOpen() {
    for (int fd = 0; fd <= 2; ++fd)
        if (::fcntl(fd, F_GETFD) == -1 && errno == EBADF)
            ::open("/dev/null", O_RDWR); // takes the lowest free descriptor: this one
}

// One operator command; false once the operator asked to quit.
bool RunCommand(TCastingServer& server, TServerLogWriter& log, const std::string& line) {
    if (line == "list") {
        std::string names;
        for (const auto& name : server.CastNames())
            names += name + '\n';
        log.Print(std::cout, names);
    } else if (line.rfind("delete ", 0) == 0) {
        server.DeleteCast(line.substr(7));
    } else if (line == "quit") {
        ::kill(::getpid(), SIGTERM);
        return false;
    } else if (!line.empty()) {
        log("unknown command: " + line);
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    KeepStandardDescriptorsOpen();
    TServerOptions options;
    try {
        options = ParseServerOptions({argv + 1, argv + argc});
    } catch (const std::exception& error) {
        std::cerr << "nelq-server: " << error.what() << '\n' << ServerUsage;
        return 2;
    }
    if (options.Help) {
        std::cout << ServerUsage;
        return 0;
    }
    if (options.Version) {
        std::cout << "nelq-server " << ServerVersion << '\n';
        return 0;
    }
    // Threads started from here on leave SIGINT and SIGTERM to sigwait below.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
    TServerLogWriter log(std::cerr);
    const std::uint64_t descriptors = RaiseDescriptorLimit();
    if (descriptors < DescriptorsNeeded(options))
        log("the descriptor limit is " + std::to_string(descriptors) + ", below the " +
            std::to_string(DescriptorsNeeded(options)) + " that --max-connections " +
            std::to_string(options.MaxConnections) +
            " needs: connections past the limit wait until one closes (raise the hard limit, "
            "e.g. LimitNOFILE= or ulimit -Hn)");
    try {
        TCastingServer server(options, [&log](const std::string& line) { log(line); });
        server.Start();
        std::optional<TEdgeRelay> relay;
        if (options.RelayFrom) {
            log("relaying the casts of " + *options.RelayFrom + "; filmers are refused");
            relay.emplace(*options.RelayFrom, server.Store(),
                          [&log](const std::string& line) { log(line); });
        }
        // Without an operator (input at its end or closed) the server runs until a signal.
        TOperatorConsole console(STDIN_FILENO, [&server, &log](const std::string& line) {
            return RunCommand(server, log, line);
        });
        int signal = 0;
        sigwait(&stopSignals, &signal);
        log("stopping");
        console.Stop(); // before the server it commands goes
        relay.reset();  // before the store it fills
        server.Stop();
    } catch (const std::exception& error) {
        log(std::string("nelq-server: ") + error.what());
        return 1;
    }
    return 0;
}
