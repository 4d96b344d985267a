#pragma once

#include "ServerOptions.h"

#include <cstdint>

// Raises this process's limit on open descriptors (the soft limit) as far as
// the hard limit lets it: every connection holds one. Returns the limit now
// in force.
std::uint64_t RaiseDescriptorLimit();

// What a server with these options may hold at once: a descriptor for every
// connection and web connection, and some for the listeners, the log and
// the stored parts being written and sent.
std::uint64_t DescriptorsNeeded(const TServerOptions& options);
