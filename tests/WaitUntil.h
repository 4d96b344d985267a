#pragma once

#include <chrono>
#include <thread>

// Polls `condition` every 20 ms until it holds or the deadline passes; whether it holds.
template <typename TCondition>
bool WaitUntil(TCondition condition,
               std::chrono::milliseconds deadline = std::chrono::seconds(30)) {
    const auto end = std::chrono::steady_clock::now() + deadline;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}
