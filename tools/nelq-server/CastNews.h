#pragma once

#include "Cast.h"

#include <asio.hpp>

#include <chrono>
#include <cstdint>

// Waits, without holding a thread, until `cast` changed after `version` or
// `timeout` passed. Whoever changes the cast wakes the waiter on its own
// executor, from any thread.
asio::awaitable<void> WaitForNews(const TCast& cast, std::uint64_t version,
                                  std::chrono::steady_clock::duration timeout);
