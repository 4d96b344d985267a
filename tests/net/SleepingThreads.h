#pragma once

#include <chrono>

// Waits until every other thread of this process sleeps in the kernel (in a
// blocking read, a poll, a wait), as /proc reports it; whether they all do
// before the deadline. A test that must act while a worker is blocked waits
// for this instead of sleeping and hoping the worker got there.
bool WaitUntilOtherThreadsSleep(std::chrono::milliseconds deadline = std::chrono::seconds(30));
