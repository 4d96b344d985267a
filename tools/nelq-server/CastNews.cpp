#include "CastNews.h"

class TNewsWait::TListener : public TCastListener,
                             public std::enable_shared_from_this<TListener> {
public:
    explicit TListener(const asio::any_io_executor& executor) : Executor(executor), Timer(executor) {}

    // Deferred, not posted: a filmer's session wakes thousands of viewers at
    // once, and a wake deferred from a serving thread queues there without
    // a lock or a signal to the other threads for each.
    void Wake() override {
        asio::defer(Executor, [self = shared_from_this()] { self->Timer.cancel(); });
    }

    asio::any_io_executor Executor;
    asio::steady_timer Timer; // used on the strand only
};

TNewsWait::TNewsWait(const TCast& cast, const asio::any_io_executor& executor)
    : Cast(cast), Listener(std::make_shared<TListener>(executor)) {}

TNewsWait::~TNewsWait() {
    Cast.Unlisten(*Listener);
}

asio::awaitable<void> TNewsWait::operator()(std::uint64_t version,
                                            std::chrono::steady_clock::duration timeout) {
    Listener->Timer.expires_after(timeout);
    Cast.Listen(version, Listener);
    asio::error_code woken;
    co_await Listener->Timer.async_wait(asio::redirect_error(asio::use_awaitable, woken));
    if (woken != asio::error::operation_aborted)
        Cast.Unlisten(*Listener); // timed out: still listed (a wake unlists its listener)
}
