#pragma once

// Where the throwaway KDC of the tests (kdc-fixture.sh, CTest fixture "kdc") keeps its realm, and
// how a test process points Kerberos at it. Everything here only reads or sets environment
// variables: GSSAPI (the FreeTDS driver in-process, or a child process) picks them up on its next
// call, so a test can switch between UseTicket() and UseNoTicket() at will.

#include <filesystem>
#include <string>

namespace testkdc {

// The fixture directory (the build tree's kdc-run).
std::filesystem::path Dir();

// True once the fixture has started the KDC and alice holds a ticket.
bool Ready();

// "TEST.LOCAL".
std::string Realm();

// "alice@TEST.LOCAL": the user whose ticket UseTicket() hands out.
std::string ClientPrincipal();

// Keytab with every MSSQLSvc/<host>:<port> service key (host 127.0.0.1, localhost and this
// machine's name; port 1433 and 14331-14360), for the acceptor side.
std::filesystem::path Keytab();

// KRB5_CONFIG, KRB5_KDC_PROFILE and KRB5_KTNAME for the realm, KRB5CCNAME = alice's ticket cache.
void UseTicket();

// Same realm, but KRB5CCNAME names a cache that does not exist: a client has no ticket.
void UseNoTicket();

}  // namespace testkdc
