// The Kerberos acceptor.
#include "gssapi.h"

#include <gssapi/gssapi.h>

namespace tdsserver {
namespace {

std::string GssError(OM_uint32 major, OM_uint32 minor) {
    std::string out;
    for (int pass = 0; pass < 2; ++pass) {
        OM_uint32 ctx = 0, min = 0;
        do {
            gss_buffer_desc msg{};
            gss_display_status(&min, pass == 0 ? major : minor,
                               pass == 0 ? GSS_C_GSS_CODE : GSS_C_MECH_CODE, GSS_C_NO_OID, &ctx,
                               &msg);
            if (msg.length)
                out += std::string(static_cast<char*>(msg.value), msg.length) + "; ";
            gss_release_buffer(&min, &msg);
        } while (ctx != 0);
    }
    return out;
}

}  // namespace

GssResult AcceptKerberos(const std::vector<std::uint8_t>& token) {
    GssResult r;
    OM_uint32 minor = 0;
    gss_ctx_id_t ctx = GSS_C_NO_CONTEXT;
    gss_buffer_desc in{token.size(), const_cast<std::uint8_t*>(token.data())};
    gss_buffer_desc out{};
    gss_name_t client = GSS_C_NO_NAME;
    const OM_uint32 major =
        gss_accept_sec_context(&minor, &ctx, GSS_C_NO_CREDENTIAL, &in, GSS_C_NO_CHANNEL_BINDINGS,
                               &client, nullptr, &out, nullptr, nullptr, nullptr);
    if (major == GSS_S_COMPLETE) {
        gss_buffer_desc name{};
        OM_uint32 m2 = 0;
        if (gss_display_name(&m2, client, &name, nullptr) == GSS_S_COMPLETE) {
            r.principal.assign(static_cast<char*>(name.value), name.length);
            r.ok = true;
        }
        gss_release_buffer(&m2, &name);
        r.reply.assign(static_cast<std::uint8_t*>(out.value),
                       static_cast<std::uint8_t*>(out.value) + out.length);
    } else {
        // A Kerberos AP-REQ completes in one step; anything needing a second round is refused.
        r.why = GssError(major, minor);
    }
    OM_uint32 m3 = 0;
    gss_release_buffer(&m3, &out);
    if (client != GSS_C_NO_NAME)
        gss_release_name(&m3, &client);
    if (ctx != GSS_C_NO_CONTEXT)
        gss_delete_sec_context(&m3, &ctx, GSS_C_NO_BUFFER);
    return r;
}

}  // namespace tdsserver
