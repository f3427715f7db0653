// TDS packets over a socket: headers, reassembly and splitting.
#include "packet.h"

#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace tdsserver {
namespace {

bool ReadFull(int fd, void* buf, std::size_t n) {
    auto* p = static_cast<std::uint8_t*>(buf);
    while (n > 0) {
        const ssize_t r = ::recv(fd, p, n, 0);
        if (r == 0)
            return false;
        if (r < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        p += r;
        n -= std::size_t(r);
    }
    return true;
}

bool KnownType(std::uint8_t t) {
    return t == packet::kBatch || t == packet::kRpc || t == packet::kAttention ||
           t == packet::kTransaction || t == packet::kLogin7 || t == packet::kSspi ||
           t == packet::kPrelogin;
}

bool SendAll(int fd, const std::uint8_t* p, std::size_t n) {
    while (n > 0) {
        const ssize_t r = ::send(fd, p, n, MSG_NOSIGNAL);
        if (r < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        p += r;
        n -= std::size_t(r);
    }
    return true;
}

}  // namespace

bool ReadMessage(int fd, Message& msg) {
    msg.payload.clear();
    bool first = true;
    while (true) {
        std::uint8_t h[8];
        if (!ReadFull(fd, h, 8))
            return false;
        const std::size_t len = (std::size_t(h[2]) << 8) | h[3];
        if (!KnownType(h[0]) || len < 8 || (h[1] & ~0x1F) != 0)
            return false;
        if (first) {
            msg.type = h[0];
        } else if (h[0] != msg.type) {
            return false;
        }
        first = false;
        const std::size_t old = msg.payload.size();
        if (old + len > (64u << 20))
            return false;
        msg.payload.resize(old + len - 8);
        if (len > 8 && !ReadFull(fd, msg.payload.data() + old, len - 8))
            return false;
        if (h[1] & 0x01)
            return true;
    }
}

bool SendMessage(int fd, const std::vector<std::uint8_t>& payload, std::size_t packetSize,
                 std::uint16_t spid) {
    const std::size_t chunk = packetSize - 8;
    std::size_t off = 0;
    std::uint8_t packetId = 1;
    do {
        const std::size_t n = std::min(chunk, payload.size() - off);
        const bool last = off + n == payload.size();
        std::vector<std::uint8_t> pkt(8 + n);
        pkt[0] = 0x04;
        pkt[1] = last ? 0x01 : 0x00;
        pkt[2] = std::uint8_t((8 + n) >> 8);
        pkt[3] = std::uint8_t((8 + n) & 0xFF);
        pkt[4] = std::uint8_t(spid >> 8);
        pkt[5] = std::uint8_t(spid & 0xFF);
        pkt[6] = packetId++;
        pkt[7] = 0;
        std::memcpy(pkt.data() + 8, payload.data() + off, n);
        if (!SendAll(fd, pkt.data(), pkt.size()))
            return false;
        off += n;
    } while (off < payload.size());
    return true;
}

}  // namespace tdsserver
