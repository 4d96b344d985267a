#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

// One answer to a GET: the status and body, or why there is none.
struct THttpAnswer {
    long Status = 0;
    std::string Body;
    std::optional<std::string> ContentRange;
    std::string Error; // a transport fault: no answer, cut short, too big; then Body is empty

    bool Ok() const { return Error.empty(); }
};

// GET requests over libcurl on one handle, so that connections are kept
// alive between them. Not shared between threads.
class THttpFetch {
public:
    // A body past `maxBody` bytes is a fault, not an answer; a request
    // under way gives up soon after `cancelled` is set.
    THttpFetch(std::uint64_t maxBody, const std::atomic<bool>& cancelled);
    ~THttpFetch();
    THttpFetch(const THttpFetch&) = delete;
    THttpFetch& operator=(const THttpFetch&) = delete;

    // `from`: ask for the bytes from there on ("Range: bytes=FROM-").
    THttpAnswer Get(const std::string& url, std::optional<std::uint64_t> from = std::nullopt);

private:
    struct TState;
    std::unique_ptr<TState> State;
};
