#pragma once

#include "Cast.h"

#include <asio.hpp>

#include <chrono>
#include <cstdint>
#include <memory>

// A session's wait for news of one cast, made once for all its waits: one
// timer and one listener, where a viewer waits once a second for as long
// as it watches.
class TNewsWait {
public:
    // `executor` is the session's strand, on which every wait runs.
    TNewsWait(const TCast& cast, const asio::any_io_executor& executor);
    ~TNewsWait();
    TNewsWait(const TNewsWait&) = delete;
    TNewsWait& operator=(const TNewsWait&) = delete;

    // Waits, without holding a thread, until the cast changed after
    // `version` or `timeout` passed. Whoever changes the cast wakes the
    // waiter on its strand, from any thread. A wake told just as an earlier
    // wait timed out may end this one early: callers look at the cast again.
    asio::awaitable<void> operator()(std::uint64_t version,
                                     std::chrono::steady_clock::duration timeout);

private:
    class TListener;
    const TCast& Cast;
    std::shared_ptr<TListener> Listener; // shared with wakes that may come after the session
};
