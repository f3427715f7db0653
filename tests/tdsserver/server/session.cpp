// The connection loop, attention, and transaction manager requests.
#include "session.h"

#include <unistd.h>

#include <atomic>
#include <vector>

#include "batch.h"
#include "login.h"
#include "packet.h"

namespace tdsserver {
namespace {

std::atomic<unsigned> g_spid{51};

// Transaction manager requests (autocommit off): begin, commit and rollback, each answered with
// the ENVCHANGE the client waits for.
bool HandleTransaction(Session& s, const std::vector<std::uint8_t>& p) {
    if (p.size() < 4)
        return false;
    std::size_t off = Le32(p, 0);
    if (off < 4 || off + 2 > p.size())
        return false;
    const std::uint16_t request = Le16(p, off);
    off += 2;
    auto skipName = [&]() {
        if (off >= p.size())
            return false;
        off += 1 + 2 * std::size_t(p[off]);
        return off <= p.size();
    };
    Writer w;
    auto descriptor = [](std::uint64_t id) {
        std::vector<std::uint8_t> d(8);
        for (int i = 0; i < 8; ++i)
            d[i] = std::uint8_t(id >> (8 * i));
        return d;
    };
    auto begin = [&]() {
        s.transaction = ++s.nextTransaction;
        EnvChangeBytes(w, 8, descriptor(s.transaction), {});
    };
    switch (request) {
        case 5:  // begin: isolation level, name
            begin();
            break;
        case 7:    // commit: name, flags (0x01: begin a new one), [isolation, name]
        case 8: {  // rollback: same shape
            bool again = false;
            if (skipName() && off < p.size())
                again = (p[off] & 0x01) != 0;
            EnvChangeBytes(w, request == 7 ? 9 : 10, {},
                           s.transaction ? descriptor(s.transaction) : std::vector<uint8_t>{});
            s.transaction = 0;
            if (again)
                begin();
            break;
        }
        default:
            Done(w, done::kError);
            return s.Send(w);
    }
    Done(w, 0);
    return s.Send(w);
}

bool Handle(Session& s, const Message& msg) {
    if (!s.loggedIn) {
        if (msg.type == packet::kPrelogin && !s.preloginDone)
            return HandlePrelogin(s, msg.payload);
        if (msg.type == packet::kLogin7)
            return HandleLogin(s, msg.payload);
        return false;
    }
    switch (msg.type) {
        case packet::kBatch:
            return HandleBatch(s, msg.payload);
        case packet::kAttention: {
            Writer w;
            Done(w, done::kAttention);
            return s.Send(w);
        }
        case packet::kTransaction:
            return HandleTransaction(s, msg.payload);
        case packet::kSspi:
            return true;  // a client finishing mutual authentication has nothing to hear back
        default:
            return false;
    }
}

}  // namespace

Session::Session(int socket) : fd(socket), spid(std::uint16_t(g_spid++)) {}

Session::~Session() {
    ::close(fd);
}

void Session::Run() {
    Message msg;
    while (ReadMessage(fd, msg)) {
        if (!Handle(*this, msg))
            return;
    }
}

bool Session::Send(Writer& w) {
    return SendMessage(fd, w.Data(), packetSize, spid);
}

}  // namespace tdsserver
