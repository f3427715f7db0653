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

namespace {

// Waits `ms` unless the client sends attention first.
Delay Wait(int fd, int ms) {
    if (ms <= 0)
        return Delay::Over;
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (true) {
        // Rounded up: a wait cut to whole milliseconds would end up to one short of the delay.
        const auto left =
            std::chrono::ceil<std::chrono::milliseconds>(until - std::chrono::steady_clock::now())
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

}  // namespace

Delay WaitOutDelay(int fd, long long serverBatch) {
    if (Options().delayBatch > 0 && serverBatch != Options().delayBatch)
        return Delay::Over;
    return Wait(fd, Options().delayMs);
}

Delay WaitOutStatementDelay(int fd) {
    return Wait(fd, Options().statementDelayMs);
}

bool RefuseLogins() {
    return Options().refuseLogins;
}

}  // namespace tdsserver
