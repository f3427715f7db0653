// One client connection: its state from pre-login to logout, and the loop that reads each
// message and hands it to the room that answers it (login.h before the login, batch.h and the
// transaction and attention requests after it).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "token.h"

namespace tdsserver {

struct Session {
    explicit Session(int socket);
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // Answers messages until the client leaves or a message ends the connection.
    void Run();
    // Sends one reply in packets of the session's size.
    bool Send(Writer& w);

    int fd;
    std::uint16_t spid;
    bool preloginDone = false;
    bool loggedIn = false;
    std::uint32_t version = 0;  // the TDS version the client logged in with
    std::size_t packetSize = 4096;
    std::string login;  // the SQL login or the Kerberos principal
    std::u16string database = u"master";
    int batches = 0;
    std::uint64_t transaction = 0;
    std::uint64_t nextTransaction = 0;
};

}  // namespace tdsserver
