#pragma once

#include "CastStore.h"
#include "ServerOptions.h"

#include <memory>
#include <string>

// Edge mode: keeps the store holding exactly the casts an origin lists, as
// if they were filmed here. A thread of its own polls the origin's (or a
// cache's) "/casts.json" and the index of each cast not yet complete here,
// and feeds what it fetches to the casts through their filmer side. A cast
// the origin no longer lists, or lists under another generation, is
// deleted here as an operator deletes one. An origin that cannot be reached
// or says what it should not is logged and tried again later; meanwhile
// the store serves what it holds.
class TEdgeRelay {
public:
    // `origin` ends in "/". Starts at once.
    TEdgeRelay(std::string origin, TCastStore& store, TServerLog log);
    ~TEdgeRelay(); // stops, giving up a request under way

    TEdgeRelay(const TEdgeRelay&) = delete;
    TEdgeRelay& operator=(const TEdgeRelay&) = delete;

private:
    struct TState;
    std::unique_ptr<TState> State;
};
