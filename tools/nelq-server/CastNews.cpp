#include "CastNews.h"

#include <memory>

asio::awaitable<bool> WaitForNews(const TCast& cast, std::uint64_t version,
                                  std::chrono::steady_clock::duration timeout) {
    const auto executor = co_await asio::this_coro::executor;
    // Shared with the wake-up, which may run after this wait has ended.
    const auto timer = std::make_shared<asio::steady_timer>(executor, timeout);
    const std::uint64_t ticket = cast.Listen(version, [executor, timer] {
        asio::post(executor, [timer] { timer->cancel(); });
    });
    asio::error_code woken;
    co_await timer->async_wait(asio::redirect_error(asio::use_awaitable, woken));
    cast.Unlisten(ticket);
    co_return woken == asio::error::operation_aborted;
}
