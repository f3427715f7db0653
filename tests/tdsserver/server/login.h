// The login: the pre-login answer (version, no encryption), then LOGIN7 with either a Kerberos
// token (gssapi.h) or a SQL login and password, the requested database, and the answer a client
// needs (ENVCHANGEs, LOGINACK, DONE) or SQL Server's refusal. Encryption, when it comes, starts
// here: pre-login is where client and server agree on it.
#pragma once

#include <cstdint>
#include <vector>

namespace tdsserver {

struct Session;

bool HandlePrelogin(Session& s, const std::vector<std::uint8_t>& payload);
// False when the connection ends: a malformed request or a refused login.
bool HandleLogin(Session& s, const std::vector<std::uint8_t>& payload);

}  // namespace tdsserver
