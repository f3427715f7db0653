// TDS packets: reading one client message (reassembled from its packets) and sending one reply
// split into packets of the session's size. Below this room is a plain socket; above it every
// room deals in whole messages.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tdsserver {

// Client packet types.
namespace packet {
constexpr std::uint8_t kBatch = 0x01, kRpc = 0x03, kAttention = 0x06, kTransaction = 0x0E,
                       kLogin7 = 0x10, kSspi = 0x11, kPrelogin = 0x12;
}

struct Message {
    std::uint8_t type = 0;
    std::vector<std::uint8_t> payload;
};

// Reads one message (packets up to end-of-message). False on EOF or anything malformed: the
// caller drops the connection, as SQL Server does with a client that does not speak TDS.
bool ReadMessage(int fd, Message& msg);

// Sends the payload as one reply (packet type 0x04) in packets of at most packetSize bytes.
bool SendMessage(int fd, const std::vector<std::uint8_t>& payload, std::size_t packetSize,
                 std::uint16_t spid);

}  // namespace tdsserver
