#include "ScriptedPeer.h"

#include "LoopbackSockets.h"

#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>

TScriptedPeer::TScriptedPeer(const std::string& address, TScript script)
    : Script(std::move(script)) {
    Listener = Listen(address, 0, 8);
    if (Listener < 0)
        throw std::runtime_error("cannot listen on " + address);
    FPort = LocalPort(Listener);
    Worker = std::thread([this] { Serve(); });
}

TScriptedPeer::~TScriptedPeer() {
    ::shutdown(Listener, SHUT_RDWR); // wakes the accept
    Worker.join();
    ::close(Listener);
}

void TScriptedPeer::Serve() {
    for (;;) {
        const int socket = ::accept(Listener, nullptr, nullptr);
        if (socket < 0)
            return;
        TServerConnection peer;
        peer.Adopt(socket);
        const int index = FConnections++;
        try {
            Script(peer, index);
        } catch (const std::exception&) {
            // The client went away in the middle of the script.
        }
    }
}

std::string TScriptedPeer::Expect(TServerConnection& peer) {
    std::string line = peer.ReadLine();
    std::lock_guard guard(Lock);
    FReceived.push_back(line);
    return line;
}

std::vector<std::string> TScriptedPeer::Received() const {
    std::lock_guard guard(Lock);
    return FReceived;
}
