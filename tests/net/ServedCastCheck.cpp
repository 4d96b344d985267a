// nelq-served-cast-check ADDRESS FILMER_PORT VIEWER_PORT FILM_PASSWORD USER PASSWORD
//
// Plays a filmer and a viewer against a running nelq-server that asks for
// these passwords (packaging/server/check-installed starts the installed one):
// wrong passwords are refused, a filmed section comes back byte-identical.
// Exits 0 when all holds, else 1 with the reason.
#include "ServerHarness.h"

#include "net/NelqExceptions.h"

#include <unistd.h>

#include <chrono>
#include <iostream>
#include <stdexcept>
#include <thread>

namespace {

struct TTarget {
    std::string Address;
    std::uint16_t FilmerPort;
    std::uint16_t ViewerPort;
};

void Require(bool holds, const std::string& what) {
    if (!holds)
        throw std::runtime_error(what);
    std::cout << "ok: " << what << '\n';
}

// The greeting takes a while after a service start: try for a generous while.
void WaitForServer(const TTarget& target) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    for (;;) {
        try {
            TServerConnection probe;
            probe.Connect(target.Address, target.FilmerPort);
            return;
        } catch (const ENelqConnectionError&) {
            if (std::chrono::steady_clock::now() > deadline)
                throw;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    }
}

TVerdict ViewerLogin(TServerConnection& viewer, const TTarget& target, const std::string& user,
                     const std::string& password) {
    if (!ConnectAs(viewer, target.Address, target.ViewerPort, "1016").Accepted)
        throw std::runtime_error("the viewer's hello was refused");
    if (viewer.ReadLine() != "AUTH")
        throw std::runtime_error("the server did not ask the viewer to log in");
    viewer.WriteLine(user + '\t' + password);
    return ReadVerdict(viewer);
}

void Check(const TTarget& target, const std::string& filmPassword, const std::string& user,
           const std::string& password) {
    WaitForServer(target);
    const std::string game = "Check " + std::to_string(::getpid());
    TServerConnection filmer;
    Require(ConnectAs(filmer, target.Address, target.FilmerPort, "2016").Accepted,
            "the filmer's hello is taken");
    Require(!FilmerLogin(filmer, filmPassword + "x", "NEW", game).Accepted,
            "a wrong filming password is refused");
    Require(ConnectAs(filmer, target.Address, target.FilmerPort, "2016").Accepted &&
                FilmerLogin(filmer, filmPassword, "NEW", game).Accepted,
            "the filming password from the file is taken");
    const TSectionParts sent = MakeSection(1, false, true);
    UploadSection(filmer, 0, sent);
    filmer.WriteLine("COMPLETED");
    filmer.Disconnect();

    TServerConnection viewer;
    Require(!ViewerLogin(viewer, target, user, password + "x").Accepted,
            "a wrong viewer password is refused");
    Require(ViewerLogin(viewer, target, user, password).Accepted,
            "the viewer account from the file logs in");
    const TViewing viewing = ViewCast(viewer, game, 0);
    Require(viewing.End == -1 && viewing.Sections.size() == 1 &&
                viewing.Sections[0].Streams.size() == 2 &&
                viewing.Sections[0].Streams[0] == sent.Demo &&
                viewing.Sections[0].Streams[1] == sent.Audio,
            "the viewer downloads the filmed section byte-identical");
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 7) {
        std::cerr << "usage: nelq-served-cast-check ADDRESS FILMER_PORT VIEWER_PORT "
                     "FILM_PASSWORD USER PASSWORD\n";
        return 2;
    }
    try {
        const TTarget target{argv[1], static_cast<std::uint16_t>(std::stoi(argv[2])),
                             static_cast<std::uint16_t>(std::stoi(argv[3]))};
        Check(target, argv[4], argv[5], argv[6]);
    } catch (const std::exception& error) {
        std::cerr << "nelq-served-cast-check: failed: " << error.what() << '\n';
        return 1;
    }
    return 0;
}
