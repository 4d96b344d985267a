#pragma once

#include <asio.hpp>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// Resolves a host name like a blocking resolve, but gives up with a
// connection error as soon as `aborted` returns true (asked every few
// milliseconds). A name lookup cannot be interrupted, so it runs on a thread
// of its own, which an abandoned lookup leaves to finish by itself.
std::vector<asio::ip::tcp::endpoint> ResolveAbortable(const std::string& host, std::uint16_t port,
                                                      const std::function<bool()>& aborted);
