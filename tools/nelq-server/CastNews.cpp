#include "CastNews.h"

#include <memory>

asio::awaitable<void> WaitForNews(const TCast& cast, std::uint64_t version,
                                  std::chrono::steady_clock::duration timeout) {
    const auto executor = co_await asio::this_coro::executor;
    // Shared with the wake-up, which may run after this wait has ended.
    const auto timer = std::make_shared<asio::steady_timer>(executor, timeout);
    // Deferred, not posted: a filmer's session wakes thousands of viewers at
    // once, and a wake deferred from a serving thread queues there without
    // a lock or a signal to the other threads for each.
    const std::uint64_t ticket = cast.Listen(version, [executor, timer] {
        asio::defer(executor, [timer] { timer->cancel(); });
    });
    asio::error_code woken;
    co_await timer->async_wait(asio::redirect_error(asio::use_awaitable, woken));
    if (woken != asio::error::operation_aborted)
        cast.Unlisten(ticket); // timed out: still listed (a wake unlists its listener)
}
