#pragma once

#include "CastStore.h"
#include "ServerOptions.h"

#include <atomic>
#include <functional>
#include <string>

class TServerConnection;

// What a connection's session may reach of the server.
struct TSessionContext {
    TCastStore& Store;
    const TServerOptions& Options;
    const TServerLog& Log;
    const std::atomic<bool>& Stopping;
};

// The filmer's commands after an accepted hello: login (then `loggedIn`
// runs), then "TRANSMIT", "BLOCK", "HI" and "COMPLETED" until the filmer leaves.
void RunFilmerSession(TServerConnection& connection, const TSessionContext& context,
                      const std::string& peer, const std::function<void()>& loggedIn);

// The viewer's commands after an accepted hello: the optional login, then
// "LISTGAMES", "LISTSECTIONS" and "REQUEST" until the viewer leaves. `active`
// runs whenever the viewer sent a command or took what it was sent, so that
// viewers that do neither can be told apart and closed.
void RunViewerSession(TServerConnection& connection, const TSessionContext& context,
                      const std::string& peer, const std::function<void()>& active);
