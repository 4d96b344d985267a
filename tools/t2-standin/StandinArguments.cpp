#include "StandinArguments.h"

#include <charconv>
#include <cmath>

const char* const StandinUsage =
    "usage: t2-standin record DIR --recordings N --seconds S [--gap S] [--info TEXT]\n"
    "       t2-standin [--clock-drift F] [--idle-end S] PATH/Tribes2DemoPlayback.exe"
    " -nologin -mod MOD\n"
    "record: writes N recordings of S seconds each into DIR as the game does while it\n"
    "  records, each with its .rec.log, and prints each finished recording's path.\n"
    "playback: plays the demo that MOD/scripts/TrainingGui.cs names, in a window\n"
    "  titled \"Tribes 2\", from the working directory (the game directory).\n";

namespace {

double Decimal(const std::string& option, const std::string& text) {
    double value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || !std::isfinite(value))
        throw EUsage(option + " needs a number, not \"" + text + "\"");
    return value;
}

int Whole(const std::string& option, const std::string& text) {
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size())
        throw EUsage(option + " needs a whole number, not \"" + text + "\"");
    return value;
}

// Walks the arguments: options with a value are taken by name, the rest in order.
class TArgumentWalk {
public:
    explicit TArgumentWalk(const std::vector<std::string>& args) : FArgs(args) {}
    bool Next() { return FIndex < FArgs.size(); }
    const std::string& Take() { return FArgs[FIndex++]; }
    const std::string& ValueOf(const std::string& option) {
        if (FIndex >= FArgs.size())
            throw EUsage(option + " needs a value");
        return Take();
    }

private:
    const std::vector<std::string>& FArgs;
    std::size_t FIndex = 0;
};

} // namespace

bool IsRecordCommand(const std::vector<std::string>& args) {
    return !args.empty() && args.front() == "record";
}

TRecordOptions ParseRecordArguments(const std::vector<std::string>& args) {
    TRecordOptions options;
    bool haveRecordings = false, haveSeconds = false;
    TArgumentWalk walk(args);
    walk.Take(); // "record"
    while (walk.Next()) {
        const std::string& arg = walk.Take();
        if (arg == "--recordings") {
            options.Recordings = Whole(arg, walk.ValueOf(arg));
            haveRecordings = true;
        } else if (arg == "--seconds") {
            options.Seconds = Decimal(arg, walk.ValueOf(arg));
            haveSeconds = true;
        } else if (arg == "--gap") {
            options.GapSeconds = Decimal(arg, walk.ValueOf(arg));
        } else if (arg == "--info") {
            options.InfoText = walk.ValueOf(arg);
        } else if (arg.rfind("--", 0) == 0 || !options.Directory.empty()) {
            throw EUsage("unexpected argument \"" + arg + "\"");
        } else {
            options.Directory = arg;
        }
    }
    if (options.Directory.empty())
        throw EUsage("record needs a directory");
    if (!haveRecordings || options.Recordings < 1)
        throw EUsage("--recordings needs a count of at least 1");
    // A recording's duration is a 32-bit count of milliseconds.
    if (!haveSeconds || options.Seconds <= 0 || options.Seconds > 86400)
        throw EUsage("--seconds needs a length above 0 and at most 86400");
    if (options.GapSeconds < 0 || options.GapSeconds > 86400)
        throw EUsage("--gap needs a length from 0 to 86400");
    return options;
}

TPlaybackOptions ParsePlaybackArguments(const std::vector<std::string>& args) {
    TPlaybackOptions options;
    TArgumentWalk walk(args);
    while (walk.Next()) {
        const std::string& arg = walk.Take();
        if (arg == "--clock-drift")
            options.ClockDrift = Decimal(arg, walk.ValueOf(arg));
        else if (arg == "--idle-end")
            options.IdleEndSeconds = Decimal(arg, walk.ValueOf(arg));
        else if (arg == "-mod")
            options.Mod = walk.ValueOf(arg);
        else if (arg == "-nologin")
            continue;
        else if (arg.rfind("-", 0) == 0 || !options.Executable.empty())
            throw EUsage("unexpected argument \"" + arg + "\"");
        else
            options.Executable = arg;
    }
    if (options.Executable.empty())
        throw EUsage("missing the game executable's path");
    if (options.Mod.empty())
        throw EUsage("missing -mod: the stand-in plays only from a mod directory");
    // The mod directory is where the stand-in writes; it stays inside the game directory.
    if (options.Mod == "." || options.Mod == ".." || options.Mod.find('/') != std::string::npos)
        throw EUsage("-mod needs the name of a directory inside the game directory");
    if (options.ClockDrift <= -1 || options.ClockDrift >= 1)
        throw EUsage("--clock-drift must lie between -1 and 1");
    if (options.IdleEndSeconds <= 0)
        throw EUsage("--idle-end needs a length above 0");
    return options;
}
