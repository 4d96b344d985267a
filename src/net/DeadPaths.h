#pragma once

#include <chrono>

// A path that dies silently (a router reboot, a lost NAT entry, a peer that
// lost power) is noticed within about DeadPathLimit on a socket set up here.
inline constexpr std::chrono::seconds DeadPathLimit{30};

// Asks the kernel for keep-alive probes and to give up on data left
// unacknowledged for DeadPathLimit.
void LimitDeadPaths(int handle);
