// A client and an acceptor in one process, both through the system's GSSAPI exactly as the FreeTDS
// driver and the test server use it: proves the keytab matches what the KDC issues and that
// UseTicket()/UseNoTicket() take effect between calls in a running process.
#include <gssapi/gssapi.h>
#include <gssapi/gssapi_krb5.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <string>

#include "kdc_env.h"

namespace {

struct Login {
    bool ok = false;
    std::string client;  // principal the acceptor saw
    std::string error;
};

std::string Status(OM_uint32 major, OM_uint32 minor) {
    std::string text;
    for (auto [code, type] :
         {std::pair{major, GSS_C_GSS_CODE}, std::pair{minor, GSS_C_MECH_CODE}}) {
        OM_uint32 ctx = 0;
        do {
            OM_uint32 min = 0;
            gss_buffer_desc msg = GSS_C_EMPTY_BUFFER;
            gss_display_status(&min, code, type, GSS_C_NO_OID, &ctx, &msg);
            text.append(static_cast<const char*>(msg.value), msg.length).append("; ");
            gss_release_buffer(&min, &msg);
        } while (ctx != 0);
    }
    return text;
}

// One Kerberos login the way FreeTDS does it: a krb5 principal name (no host-based lookup) and a
// single token from client to server.
Login LogIn(const std::string& spn) {
    Login result;
    OM_uint32 minor = 0;
    gss_name_t target = GSS_C_NO_NAME;
    gss_buffer_desc name{spn.size(), const_cast<char*>(spn.data())};
    OM_uint32 major = gss_import_name(&minor, &name, GSS_KRB5_NT_PRINCIPAL_NAME, &target);
    if (GSS_ERROR(major)) {
        result.error = "import: " + Status(major, minor);
        return result;
    }
    gss_ctx_id_t client = GSS_C_NO_CONTEXT;
    gss_buffer_desc token = GSS_C_EMPTY_BUFFER;
    major =
        gss_init_sec_context(&minor, GSS_C_NO_CREDENTIAL, &client, target, GSS_C_NO_OID,
                             GSS_C_MUTUAL_FLAG | GSS_C_REPLAY_FLAG, 0, GSS_C_NO_CHANNEL_BINDINGS,
                             GSS_C_NO_BUFFER, nullptr, &token, nullptr, nullptr);
    if (GSS_ERROR(major)) {
        result.error = "init: " + Status(major, minor);
        gss_release_name(&minor, &target);
        return result;
    }

    gss_ctx_id_t server = GSS_C_NO_CONTEXT;
    gss_name_t source = GSS_C_NO_NAME;
    gss_buffer_desc reply = GSS_C_EMPTY_BUFFER;
    major = gss_accept_sec_context(&minor, &server, GSS_C_NO_CREDENTIAL, &token,
                                   GSS_C_NO_CHANNEL_BINDINGS, &source, nullptr, &reply, nullptr,
                                   nullptr, nullptr);
    gss_release_buffer(&minor, &token);
    if (GSS_ERROR(major)) {
        result.error = "accept: " + Status(major, minor);
    } else {
        gss_buffer_desc shown = GSS_C_EMPTY_BUFFER;
        gss_display_name(&minor, source, &shown, nullptr);
        result.client.assign(static_cast<const char*>(shown.value), shown.length);
        gss_release_buffer(&minor, &shown);
        // Mutual authentication: the client must accept the server's AP-REP.
        gss_buffer_desc none = GSS_C_EMPTY_BUFFER;
        major = gss_init_sec_context(&minor, GSS_C_NO_CREDENTIAL, &client, target, GSS_C_NO_OID, 0,
                                     0, GSS_C_NO_CHANNEL_BINDINGS, &reply, nullptr, &none, nullptr,
                                     nullptr);
        gss_release_buffer(&minor, &none);
        result.ok = !GSS_ERROR(major);
        if (!result.ok)
            result.error = "AP-REP: " + Status(major, minor);
    }
    gss_release_buffer(&minor, &reply);
    gss_release_name(&minor, &source);
    gss_release_name(&minor, &target);
    gss_delete_sec_context(&minor, &server, GSS_C_NO_BUFFER);
    gss_delete_sec_context(&minor, &client, GSS_C_NO_BUFFER);
    return result;
}

std::string ThisHost() {
    std::array<char, 256> name{};
    gethostname(name.data(), name.size() - 1);
    return name.data();
}

class KdcEnv : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(testkdc::Ready()) << "no KDC under " << testkdc::Dir(); }
};

TEST_F(KdcEnv, TicketLogsInToEveryServiceName) {
    testkdc::UseTicket();
    for (const std::string& host :
         {std::string("127.0.0.1"), std::string("localhost"), ThisHost()}) {
        for (int port : {1433, 14331, 14360}) {
            std::string spn = "MSSQLSvc/" + host + ":" + std::to_string(port);
            SCOPED_TRACE(spn);
            Login login = LogIn(spn);
            EXPECT_TRUE(login.ok) << login.error;
            EXPECT_EQ(login.client, testkdc::ClientPrincipal());
        }
    }
}

TEST_F(KdcEnv, SwitchingBetweenTicketAndNoTicketTakesEffectInProcess) {
    testkdc::UseTicket();
    EXPECT_TRUE(LogIn("MSSQLSvc/127.0.0.1:14340").ok);
    testkdc::UseNoTicket();
    Login none = LogIn("MSSQLSvc/127.0.0.1:14340");
    EXPECT_FALSE(none.ok);
    EXPECT_NE(none.error.find("init:"), std::string::npos) << none.error;
    testkdc::UseTicket();
    Login again = LogIn("MSSQLSvc/127.0.0.1:14340");
    EXPECT_TRUE(again.ok) << again.error;
}

}  // namespace
