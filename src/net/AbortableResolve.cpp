#include "net/AbortableResolve.h"

#include "net/NelqExceptions.h"

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

namespace {

constexpr std::chrono::milliseconds AbortCheckInterval{20};

// Shared by the waiting caller and the lookup thread, which may outlive it.
struct TLookup {
    std::mutex Lock;
    std::condition_variable Finished;
    bool Done = false;                              // guarded by Lock
    std::vector<asio::ip::tcp::endpoint> Endpoints; // guarded by Lock
    asio::error_code Error;                         // guarded by Lock
};

void RunLookup(const std::shared_ptr<TLookup>& lookup, const std::string& host,
               const std::string& service) {
    asio::io_context context; // its own: the caller may be gone when this returns
    asio::ip::tcp::resolver resolver(context);
    asio::error_code error;
    std::vector<asio::ip::tcp::endpoint> endpoints;
    for (const auto& entry : resolver.resolve(host, service, error))
        endpoints.push_back(entry.endpoint());
    {
        std::lock_guard guard(lookup->Lock);
        lookup->Endpoints = std::move(endpoints);
        lookup->Error = error;
        lookup->Done = true;
    }
    lookup->Finished.notify_all();
}

} // namespace

std::vector<asio::ip::tcp::endpoint> ResolveAbortable(const std::string& host, std::uint16_t port,
                                                      const std::function<bool()>& aborted) {
    asio::error_code notAnAddress;
    const auto address = asio::ip::make_address(host, notAnAddress);
    if (!notAnAddress)
        return {asio::ip::tcp::endpoint(address, port)};

    auto lookup = std::make_shared<TLookup>();
    std::thread(RunLookup, lookup, host, std::to_string(port)).detach();
    for (;;) {
        {
            std::unique_lock guard(lookup->Lock);
            if (lookup->Finished.wait_for(guard, AbortCheckInterval,
                                          [&] { return lookup->Done; })) {
                if (lookup->Error)
                    throw ENelqConnectionError("Cannot resolve " + host + ": " +
                                               lookup->Error.message());
                return lookup->Endpoints;
            }
        }
        // Asked without the lookup's lock: `aborted` takes a lock of its own.
        if (aborted())
            throw ENelqConnectionError("Connection closed.");
    }
}
