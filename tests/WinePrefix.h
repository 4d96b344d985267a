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

// Runs a shell command with the prefix's environment; its exit status, and
// what it printed (both channels) in `output`.
int RunInWinePrefix(const std::string& command, std::string& output);
