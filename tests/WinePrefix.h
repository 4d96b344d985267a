#pragma once

#include <string>

// The build tree's private Wine prefix, in which tests and benchmarks run
// Windows programs. It is booted once, without dialogs or a display, by the
// first program that asks (the others started beside it wait for that); its
// wineserver ends by itself once the last Wine program has gone.
struct TWinePrefix {
    std::string Directory;
    std::string Wine;    // the wine command, found on the path
    std::string Problem; // why Wine cannot run here; empty when it can
};

// The prefix, made on first use. This process's environment then names it
// (WINEPREFIX), keeps Wine quiet and skips its Mono and Gecko installers, so
// that every program it starts runs there.
const TWinePrefix& BuildTreeWinePrefix();

// Holds the prefix while a test's Wine programs run. Wine programs started
// side by side join one wineserver, whose desktop keeps the display of the
// program that started it: a program run without a display gets the prefix
// alone, with a wineserver of its own that is ended before others may join
// it; the others share the prefix.
class TWineSession {
public:
    enum class TUse { Shared, WithoutDisplay };
    explicit TWineSession(TUse use = TUse::Shared);
    ~TWineSession();
    TWineSession(const TWineSession&) = delete;
    TWineSession& operator=(const TWineSession&) = delete;

private:
    const TUse Use;
    int Lock = -1;
};

// Runs a shell command with the prefix's environment; its exit status, and
// what it printed (both channels) in `output`.
int RunInWinePrefix(const std::string& command, std::string& output);
