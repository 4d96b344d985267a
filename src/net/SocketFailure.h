#pragma once

#include <system_error>

// Raises the ENelqConnectionError for a failed socket operation; the peer's
// orderly close reads as such.
[[noreturn]] void ThrowConnectionFailure(const std::error_code& error);
