#include "OperatorConsole.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

TOperatorConsole::TOperatorConsole(int input, std::function<bool(const std::string&)> command)
    : Input(input), Command(std::move(command)) {
    if (::pipe(Wake) != 0)
        throw std::system_error(errno, std::generic_category(), "operator console");
    try {
        Reader = std::thread([this] { Read(); });
    } catch (...) {
        ::close(Wake[0]);
        ::close(Wake[1]);
        throw;
    }
}

TOperatorConsole::~TOperatorConsole() {
    Stop();
    ::close(Wake[0]);
}

void TOperatorConsole::Stop() {
    if (Wake[1] >= 0) {
        ::close(Wake[1]); // the reader sees the end of the pipe
        Wake[1] = -1;
    }
    if (Reader.joinable())
        Reader.join();
}

void TOperatorConsole::Read() {
    std::string pending;
    bool dropping = false; // inside an over-long line: skip to its end
    char buffer[4096];
    for (;;) {
        pollfd waits[2] = {{Input, POLLIN, 0}, {Wake[0], POLLIN, 0}};
        if (::poll(waits, 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            return;
        }
        if (waits[1].revents != 0 || (waits[0].revents & POLLNVAL))
            return;
        const ssize_t got = ::read(Input, buffer, sizeof(buffer));
        if (got < 0 && (errno == EINTR || errno == EAGAIN))
            continue;
        if (got <= 0) {
            // End of input or an unreadable descriptor; the last line needs no line end.
            if (!pending.empty() && !dropping)
                Command(pending);
            return;
        }
        for (ssize_t i = 0; i < got; ++i) {
            if (buffer[i] != '\n') {
                if (!dropping && pending.size() < MaxLineLength)
                    pending += buffer[i];
                else
                    dropping = true;
                continue;
            }
            const bool whole = !dropping;
            dropping = false;
            if (!pending.empty() && pending.back() == '\r')
                pending.pop_back();
            if (whole && !Command(pending))
                return;
            pending.clear();
        }
    }
}
