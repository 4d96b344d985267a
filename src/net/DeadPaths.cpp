#include "net/DeadPaths.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

// Keep-alive probes after 10 s of silence, 5 s apart, 4 unanswered: a dead
// path is given up about DeadPathLimit after the last byte heard. Data left
// unacknowledged for as long fails the connection too (a writer that never
// reads would otherwise wait out the kernel's retransmissions, some 15 minutes).
void LimitDeadPaths(int handle) {
    const int on = 1;
    ::setsockopt(handle, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
#ifdef TCP_KEEPIDLE
    const int idle = 10;
    const int interval = 5;
    const int probes = 4;
    ::setsockopt(handle, IPPROTO_TCP, TCP_KEEPIDLE, &idle, sizeof idle);
    ::setsockopt(handle, IPPROTO_TCP, TCP_KEEPINTVL, &interval, sizeof interval);
    ::setsockopt(handle, IPPROTO_TCP, TCP_KEEPCNT, &probes, sizeof probes);
#endif
#ifdef TCP_USER_TIMEOUT
    const auto unacknowledged =
        static_cast<unsigned int>(std::chrono::milliseconds(DeadPathLimit).count());
    ::setsockopt(handle, IPPROTO_TCP, TCP_USER_TIMEOUT, &unacknowledged, sizeof unacknowledged);
#endif
}
