// Integrated login over Kerberos: accepting the client's raw Kerberos token (not SPNEGO) with
// GSSAPI and the keytab named by KRB5_KTNAME, in one step, with mutual authentication.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tdsserver {

struct GssResult {
    bool ok = false;
    std::string principal;            // the client, e.g. alice@TEST.LOCAL
    std::vector<std::uint8_t> reply;  // the AP-REP the client needs back
    std::string why;                  // when refused: GSSAPI's words, for the server's log
};

GssResult AcceptKerberos(const std::vector<std::uint8_t>& token);

}  // namespace tdsserver
