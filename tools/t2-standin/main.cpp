// t2-standin: stands in for Tribes 2 where the client meets the game. In
// record mode it writes recordings as the game does while a filmer plays; in
// playback mode it is started as the playback executable would be.

#include "GameWindow.h"
#include "PlaybackMode.h"
#ifndef T2STANDIN_PLAYBACK_ONLY
#include "RecordMode.h"
#endif
#include "StandinArguments.h"

#include <cstdlib>
#include <fstream>
#include <iostream>
#include <stdexcept>
#include <string>
#include <vector>

int main(int argc, char** argv) {
#ifdef T2STANDIN_PLAYBACK_ONLY
    // Run as the game itself (under Wine): its own path is the executable's.
    const std::vector<std::string> args(argv, argv + argc);
#else
    const std::vector<std::string> args(argv + 1, argv + argc);
#endif
    try {
#ifndef T2STANDIN_PLAYBACK_ONLY
        if (IsRecordCommand(args)) {
            RunRecordMode(ParseRecordArguments(args), std::cout);
            return 0;
        }
#endif
        // Started by a launcher the tests cannot redirect (Wine), the game
        // writes what it does to the file they name instead.
        if (const char* logPath = std::getenv("T2STANDIN_LOG"); logPath && *logPath) {
            std::ofstream log(logPath, std::ios::app);
            if (!log)
                throw std::runtime_error(std::string("cannot open the log ") + logPath);
            return RunPlaybackMode(ParsePlaybackArguments(args), log);
        }
        return RunPlaybackMode(ParsePlaybackArguments(args), std::cout);
    } catch (const EUsage& error) {
        std::cerr << "t2-standin: " << error.what() << '\n' << StandinUsage;
    } catch (const ENoDisplay& error) {
        std::cerr << "t2-standin: " << error.what() << '\n';
        return 2;
    } catch (const std::exception& error) {
        std::cerr << "t2-standin: " << error.what() << '\n';
    }
    return 1;
}
