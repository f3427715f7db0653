#include "kdc_env.h"

#include <cstdlib>
#include <system_error>

namespace testkdc {
namespace {

void Set(const char* name, const std::string& value) {
    ::setenv(name, value.c_str(), 1);
}

void UseRealm() {
    Set("KRB5_CONFIG", (Dir() / "krb5.conf").string());
    Set("KRB5_KDC_PROFILE", (Dir() / "kdc.conf").string());
    Set("KRB5_KTNAME", "FILE:" + Keytab().string());
    // A client keytab would let GSSAPI fetch a ticket by itself and defeat UseNoTicket().
    ::unsetenv("KRB5_CLIENT_KTNAME");
}

}  // namespace

std::filesystem::path Dir() {
    return QUILLANE_KDC_DIR;
}

bool Ready() {
    std::error_code ec;
    return std::filesystem::exists(Dir() / "ready", ec);
}

std::string Realm() {
    return "TEST.LOCAL";
}

std::string ClientPrincipal() {
    return "alice@" + Realm();
}

std::filesystem::path Keytab() {
    return Dir() / "server.keytab";
}

void UseTicket() {
    UseRealm();
    Set("KRB5CCNAME", "FILE:" + (Dir() / "alice.ccache").string());
}

void UseNoTicket() {
    UseRealm();
    Set("KRB5CCNAME", "FILE:" + (Dir() / "no-ticket.ccache").string());
}

}  // namespace testkdc
