#pragma once

#include <algorithm>
#include <chrono>

// How long to wait before trying again: half a second after the first
// failure, twice as long after each further one up to ten seconds, and
// from the start again after a success.
class TRetryBackoff {
public:
    static constexpr std::chrono::milliseconds Shortest{500};
    static constexpr std::chrono::milliseconds Longest{10000};

    std::chrono::milliseconds Failed() {
        const auto wait = Next;
        Next = std::min(Next * 2, Longest);
        return wait;
    }
    void Succeeded() { Next = Shortest; }
    bool Failing() const { return Next != Shortest; }

private:
    std::chrono::milliseconds Next = Shortest;
};
