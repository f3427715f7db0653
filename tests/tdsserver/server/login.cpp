// Pre-login and LOGIN7.
#include "login.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <string>

#include "catalog.h"
#include "config.h"
#include "faults.h"
#include "gssapi.h"
#include "messages.h"
#include "packet.h"
#include "session.h"
#include "token.h"
#include "transcript.h"

namespace tdsserver {
namespace {

struct LoginRequest {
    std::uint32_t tdsVersion = 0;
    std::uint8_t versionBytes[4] = {};
    std::uint32_t packetSize = 4096;
    bool integrated = false;
    std::u16string user, password, database;
    std::vector<std::uint8_t> sspi;
};

std::optional<LoginRequest> ParseLogin7(const std::vector<std::uint8_t>& p) {
    if (p.size() < 94)
        return std::nullopt;
    LoginRequest r;
    r.tdsVersion = Le32(p, 4);
    std::memcpy(r.versionBytes, p.data() + 4, 4);
    r.packetSize = Le32(p, 8);
    r.integrated = (p[25] & 0x80) != 0;
    auto field = [&](std::size_t at, std::u16string& out) {
        const std::size_t off = Le16(p, at), chars = Le16(p, at + 2);
        if (off + 2 * chars > p.size())
            return false;
        out = ReadUcs2(p, off, chars);
        return true;
    };
    if (!field(40, r.user) || !field(44, r.password) || !field(68, r.database))
        return std::nullopt;
    // The password travels with each byte's nibbles swapped and XORed with 0xA5.
    for (char16_t& c : r.password) {
        std::uint8_t lo = std::uint8_t(c & 0xFF), hi = std::uint8_t(c >> 8);
        auto decode = [](std::uint8_t b) {
            b ^= 0xA5;
            return std::uint8_t((b << 4) | (b >> 4));
        };
        c = char16_t(decode(lo) | (decode(hi) << 8));
    }
    std::size_t sspiOff = Le16(p, 78), sspiLen = Le16(p, 80);
    if (sspiLen == 0xFFFF && p.size() >= 94)
        sspiLen = Le32(p, 90);
    if (sspiOff + sspiLen > p.size())
        return std::nullopt;
    r.sspi.assign(p.begin() + long(sspiOff), p.begin() + long(sspiOff + sspiLen));
    return r;
}

std::vector<std::uint8_t> PreloginAnswer() {
    // VERSION 15.0.2000 (SQL Server 2019), ENCRYPTION not supported, INSTOPT, THREADID, MARS.
    struct Opt {
        std::uint8_t token;
        std::vector<std::uint8_t> data;
    };
    const std::vector<Opt> opts{{0x00, {15, 0, 0x07, 0xD0, 0, 0}},
                                {0x01, {0x02}},
                                {0x02, {0x00}},
                                {0x03, {}},
                                {0x04, {0x00}}};
    std::vector<std::uint8_t> out;
    std::size_t dataOff = opts.size() * 5 + 1;
    for (const auto& o : opts) {
        out.push_back(o.token);
        out.push_back(std::uint8_t(dataOff >> 8));
        out.push_back(std::uint8_t(dataOff & 0xFF));
        out.push_back(0);
        out.push_back(std::uint8_t(o.data.size()));
        dataOff += o.data.size();
    }
    out.push_back(0xFF);
    for (const auto& o : opts)
        out.insert(out.end(), o.data.begin(), o.data.end());
    return out;
}

bool Refuse(Session& s, Writer& w, const SqlMessage& why) {
    Put(w, why);
    Done(w, done::kError);
    s.Send(w);
    return false;
}

}  // namespace

bool HandlePrelogin(Session& s, const std::vector<std::uint8_t>& /*payload*/) {
    s.preloginDone = true;
    return SendMessage(s.fd, PreloginAnswer(), 4096, s.spid);
}

bool HandleLogin(Session& s, const std::vector<std::uint8_t>& payload) {
    auto req = ParseLogin7(payload);
    if (!req)
        return false;
    s.version = req->tdsVersion;
    Writer w;
    std::vector<std::uint8_t> apRep;
    if (req->integrated) {
        GssResult g = AcceptKerberos(req->sspi);
        if (!g.ok) {
            Log("Kerberos login refused: " + g.why);
            return Refuse(s, w, UntrustedDomain());
        }
        s.login = g.principal;
        apRep = std::move(g.reply);
    } else {
        s.login = tdsfiles::ToUtf8(req->user);
        auto it = Options().sqlLogins.find(s.login);
        if (it == Options().sqlLogins.end() || tdsfiles::FromUtf8(it->second) != req->password) {
            return Refuse(s, w, LoginFailed(req->user));
        }
    }
    if (RefuseLogins())
        return Refuse(s, w, LoginFailed(tdsfiles::FromUtf8(s.login)));

    std::u16string db = u"master";
    if (!req->database.empty()) {
        const std::optional<std::u16string> found = FindDatabase(req->database);
        if (!found) {
            Put(w, CannotOpenRequestedDatabase(req->database));
            return Refuse(s, w, LoginFailed(tdsfiles::FromUtf8(s.login)));
        }
        db = *found;
    }
    std::uint32_t ps = req->packetSize ? req->packetSize : 4096;
    s.packetSize = std::clamp<std::uint32_t>(ps, 512, 32767);

    if (req->integrated) {
        w.U8(token::kSspi);
        w.U16(std::uint16_t(apRep.size()));
        w.Bytes(apRep.data(), apRep.size());
    }
    EnvChangeString(w, 1, db, u"master");
    Put(w, ChangedDatabase(db, 2));
    EnvChangeBytes(w, 7, std::vector<std::uint8_t>(kCollation, kCollation + 5), {});
    EnvChangeString(w, 2, u"us_english", u"");
    Put(w, ChangedLanguage());
    // LOGINACK: SQL interface, the client's TDS version echoed (sent big-endian), program name and
    // version 15.0.2000.
    w.U8(token::kLoginAck);
    const std::u16string prog = u"Microsoft SQL Server";
    w.U16(std::uint16_t(1 + 4 + 1 + 2 * prog.size() + 4));
    w.U8(1);
    for (int i = 3; i >= 0; --i)
        w.U8(req->versionBytes[i]);
    w.BVarchar(prog);
    w.U8(15);
    w.U8(0);
    w.U8(0x07);
    w.U8(0xD0);
    const std::u16string psText = Decimal(s.packetSize);
    EnvChangeString(w, 4, psText, psText);
    Done(w, 0);
    s.loggedIn = true;
    Log("login " + s.login + (req->integrated ? " (Kerberos)" : " (SQL)"));
    return s.Send(w);
}

}  // namespace tdsserver
