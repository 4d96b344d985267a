#pragma once

#include <functional>
#include <string>
#include <thread>

// Reads the operator's command lines from a descriptor on a thread of its
// own, until the input ends, a command says to stop, or Stop is called. A
// closed or unreadable descriptor counts as ended input.
class TOperatorConsole {
public:
    static constexpr std::size_t MaxLineLength = 4096; // longer lines are dropped

    // `command` runs on the console's thread for each line, without its line
    // end; it returns false to stop reading.
    TOperatorConsole(int input, std::function<bool(const std::string&)> command);
    ~TOperatorConsole(); // Stop
    TOperatorConsole(const TOperatorConsole&) = delete;
    TOperatorConsole& operator=(const TOperatorConsole&) = delete;

    // Wakes the reader and waits until it has ended: no command runs afterwards.
    void Stop();

private:
    void Read();

    const int Input;
    const std::function<bool(const std::string&)> Command;
    int Wake[2] = {-1, -1}; // a pipe whose write end Stop closes
    std::thread Reader;
};
