#pragma once

#include "CastStore.h"
#include "ServerOptions.h"

#include "net/LineFields.h"
#include "net/WireUnits.h"

#include <asio.hpp>

#include <atomic>
#include <functional>
#include <string>

class TAsyncConnection;

// A refusal line as it goes out: "FAIL" or "REFUSED", then the reason the
// client shows.
inline std::string RefusalLine(const std::string& verdict, const std::string& reason) {
    return Wire::Line(JoinFields({verdict, reason}));
}

// What a connection's session may reach of the server.
struct TSessionContext {
    TCastStore& Store;
    const TServerOptions& Options;
    const TServerLog& Log;
    const std::atomic<bool>& Stopping;
};

// The filmer's commands after an accepted hello: login (then `loggedIn`
// runs), then "TRANSMIT", "BLOCK", "HI" and "COMPLETED" until the filmer leaves.
asio::awaitable<void> RunFilmerSession(TAsyncConnection& connection, const TSessionContext& context,
                                       const std::string& peer,
                                       const std::function<void()>& loggedIn);

// The viewer's commands after an accepted hello: the optional login, then
// "LISTGAMES", "LISTSECTIONS" and "REQUEST" until the viewer leaves. The
// connection is touched whenever the viewer sent a command or took what it
// was sent, so that viewers that do neither can be told apart and closed.
asio::awaitable<void> RunViewerSession(TAsyncConnection& connection,
                                       const TSessionContext& context, const std::string& peer);
