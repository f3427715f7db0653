// The injected faults.
#include "faults.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

#include "config.h"
#include "packet.h"

namespace tdsserver {

bool CloseAfterReached(int sessionBatches) {
    return Options().closeAfter > 0 && sessionBatches >= Options().closeAfter;
}

void ExitIfReached(long long serverBatches) {
    if (Options().exitAfter > 0 && serverBatches >= Options().exitAfter) {
        Log("--exit-after reached, exiting");
        ::_exit(0);
    }
}

Delay WaitOutDelay(int fd) {
    if (Options().delayMs <= 0)
        return Delay::Over;
    const auto until =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(Options().delayMs);
    while (true) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              until - std::chrono::steady_clock::now())
                              .count();
        if (left <= 0)
            return Delay::Over;
        pollfd pfd{fd, POLLIN, 0};
        const int r = ::poll(&pfd, 1, int(left));
        if (r < 0 && errno == EINTR)
            continue;
        if (r <= 0)
            continue;
        Message next;
        if (!ReadMessage(fd, next) || next.type != packet::kAttention)
            return Delay::ConnectionLost;
        return Delay::Cancelled;
    }
}

bool RefuseLogins() {
    return Options().refuseLogins;
}

}  // namespace tdsserver
