// quillane-testserver: a loopback TDS server that answers the statements Quillane sends the way
// SQL Server 2019 does, from the real bytes of the .mdf files named in them. A test fixture only.
#include <arpa/inet.h>
#include <fcntl.h>
#include <gssapi/gssapi.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <system_error>
#include <thread>
#include <variant>
#include <vector>

#include "mdf/collation.h"
#include "mdf/mdf.h"
#include "transcript.h"
#include "tsql.h"

namespace {

namespace fs = std::filesystem;

constexpr int kServerDatabaseVersion = 904;  // SQL Server 2019
constexpr char16_t kServerName[] = u"QUILLANE-TEST";
constexpr int kExitPortTaken = 2;

// ---------------------------------------------------------------------------------------------
// Configuration and shared state

struct Config {
    int port = 0;
    std::string keytab;
    std::map<std::string, std::string> sqlLogins;
    std::string transcriptPath;
    std::string databasesPath;
    int closeAfter = -1;
    int delayMs = 0;
    long long delayBatch = -1;  // with --delay-ms: only this batch (counted from 1) waits
    int exitAfter = -1;
    bool refuseLogins = false;
};

Config g_config;

struct AttachedDatabase {
    std::u16string name;
    std::vector<std::u16string> files;  // as written in CREATE DATABASE
    std::vector<fs::path> canonical;
};

std::mutex g_stateMutex;  // guards the catalog, the transcript and the batch counter
std::vector<AttachedDatabase> g_attached;
long long g_batchCount = 0;
std::atomic<unsigned> g_spid{51};

void Log(const std::string& text) {
    std::string line = "quillane-testserver: " + text + "\n";
    (void)!::write(2, line.data(), line.size());
}

char16_t FoldChar(char16_t c) {
    return (c >= u'a' && c <= u'z') ? char16_t(c - 32) : c;
}
bool SameName(const std::u16string& a, const std::u16string& b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (FoldChar(a[i]) != FoldChar(b[i]))
            return false;
    }
    return true;
}

const std::vector<std::u16string>& SystemDatabases() {
    static const std::vector<std::u16string> names{u"master", u"tempdb", u"model", u"msdb"};
    return names;
}

// ---------------------------------------------------------------------------------------------
// Wire encoding

class Writer {
  public:
    void U8(std::uint8_t v) { buf_.push_back(v); }
    void U16(std::uint16_t v) {
        U8(v & 0xFF);
        U8(v >> 8);
    }
    void U32(std::uint32_t v) {
        U16(v & 0xFFFF);
        U16(v >> 16);
    }
    void U64(std::uint64_t v) {
        U32(std::uint32_t(v));
        U32(std::uint32_t(v >> 32));
    }
    void Bytes(const void* p, std::size_t n) {
        const auto* b = static_cast<const std::uint8_t*>(p);
        buf_.insert(buf_.end(), b, b + n);
    }
    void Ucs2(std::u16string_view s) {
        for (char16_t c : s)
            U16(c);
    }
    void BVarchar(std::u16string_view s) {
        U8(std::uint8_t(s.size()));
        Ucs2(s);
    }
    void UsVarchar(std::u16string_view s) {
        U16(std::uint16_t(s.size()));
        Ucs2(s);
    }
    std::size_t Size() const { return buf_.size(); }
    void PatchU16(std::size_t at, std::uint16_t v) {
        buf_[at] = v & 0xFF;
        buf_[at + 1] = v >> 8;
    }
    std::vector<std::uint8_t>& Data() { return buf_; }

  private:
    std::vector<std::uint8_t> buf_;
};

namespace token {
constexpr std::uint8_t kColMetadata = 0x81, kError = 0xAA, kInfo = 0xAB, kLoginAck = 0xAD,
                       kRow = 0xD1, kEnvChange = 0xE3, kSspi = 0xED, kDone = 0xFD;
}

namespace done {
constexpr std::uint16_t kMore = 0x01, kError = 0x02, kCount = 0x10, kAttention = 0x20;
}

void Message(Writer& w, bool error, std::int32_t number, std::uint8_t state, std::uint8_t severity,
             std::u16string_view text, std::int32_t line = 1) {
    w.U8(error ? token::kError : token::kInfo);
    const std::size_t lenAt = w.Size();
    w.U16(0);
    w.U32(std::uint32_t(number));
    w.U8(state);
    w.U8(severity);
    w.UsVarchar(text.substr(0, 0xFFFF));
    w.BVarchar(kServerName);
    w.BVarchar(u"");
    w.U32(std::uint32_t(line));
    w.PatchU16(lenAt, std::uint16_t(w.Size() - lenAt - 2));
}

void Error(Writer& w, std::int32_t number, std::uint8_t state, std::uint8_t severity,
           std::u16string_view text, std::int32_t line = 1) {
    Message(w, true, number, state, severity, text, line);
}

void Done(Writer& w, std::uint16_t status, std::uint16_t curcmd = 0, std::uint64_t rows = 0) {
    w.U8(token::kDone);
    w.U16(status);
    w.U16(curcmd);
    w.U64(rows);
}

void EnvChangeString(Writer& w, std::uint8_t type, std::u16string_view now,
                     std::u16string_view before) {
    w.U8(token::kEnvChange);
    w.U16(std::uint16_t(1 + 1 + 2 * now.size() + 1 + 2 * before.size()));
    w.U8(type);
    w.BVarchar(now);
    w.BVarchar(before);
}

void EnvChangeBytes(Writer& w, std::uint8_t type, const std::vector<std::uint8_t>& now,
                    const std::vector<std::uint8_t>& before) {
    w.U8(token::kEnvChange);
    w.U16(std::uint16_t(1 + 1 + now.size() + 1 + before.size()));
    w.U8(type);
    w.U8(std::uint8_t(now.size()));
    w.Bytes(now.data(), now.size());
    w.U8(std::uint8_t(before.size()));
    w.Bytes(before.data(), before.size());
}

// SQL_Latin1_General_CP1_CI_AS, the server collation.
constexpr std::uint8_t kCollation[5] = {0x09, 0x04, 0xD0, 0x00, 0x34};

struct Column {
    std::u16string name;
    bool isInt = false;
    std::uint16_t maxChars = 128;
};

void ColMetadata(Writer& w, const std::vector<Column>& cols) {
    w.U8(token::kColMetadata);
    w.U16(std::uint16_t(cols.size()));
    for (const Column& c : cols) {
        w.U32(0);  // user type
        if (c.isInt) {
            w.U16(0x0000);
            w.U8(0x38);  // INT4
        } else {
            w.U16(0x0001);  // nullable
            w.U8(0xE7);     // NVARCHAR
            w.U16(std::uint16_t(c.maxChars * 2));
            w.Bytes(kCollation, 5);
        }
        w.BVarchar(c.name);
    }
}

using Cell = std::variant<std::int32_t, std::u16string>;

void Row(Writer& w, const std::vector<Cell>& cells) {
    w.U8(token::kRow);
    for (const Cell& cell : cells) {
        if (const auto* i = std::get_if<std::int32_t>(&cell)) {
            w.U32(std::uint32_t(*i));
        } else {
            const auto& s = std::get<std::u16string>(cell);
            w.U16(std::uint16_t(s.size() * 2));
            w.Ucs2(s);
        }
    }
}

std::u16string Padded(std::u16string s, std::size_t width) {
    if (s.size() < width)
        s.append(width - s.size(), u' ');
    return s;
}

std::u16string U16(const std::string& ascii) {
    return tdsfiles::FromUtf8(ascii);
}

// ---------------------------------------------------------------------------------------------
// Packets

struct Message_ {
    std::uint8_t type = 0;
    std::vector<std::uint8_t> payload;
};

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
    return t == 0x01 || t == 0x03 || t == 0x06 || t == 0x0E || t == 0x10 || t == 0x11 || t == 0x12;
}

// Reads one message (packets up to end-of-message). False on EOF or anything malformed: the
// caller drops the connection, as SQL Server does with a client that does not speak TDS.
bool ReadMessage(int fd, Message_& msg) {
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

// ---------------------------------------------------------------------------------------------
// What SQL Server says about files

std::u16string Os5120(const std::u16string& path, int osError) {
    std::u16string why;
    switch (osError) {
        case 2:
            why = u"2(The system cannot find the file specified.)";
            break;
        case 5:
            why = u"5(Access is denied.)";
            break;
        default:
            why =
                u"32(The process cannot access the file because it is being used by another "
                u"process.)";
            break;
    }
    return u"Unable to open the physical file \"" + path + u"\". Operating system error " +
           U16(std::to_string(osError)) + u": \"" + why + u"\".";
}

std::u16string Msg5172(const std::u16string& path, std::u16string_view property) {
    return u"The header for file '" + path + u"' is not a valid database file header. The " +
           std::u16string(property) + u" property is incorrect.";
}

std::u16string Msg948(const std::u16string& name, int version) {
    return u"The database '" + name + u"' cannot be opened because it is version " +
           U16(std::to_string(version)) + u". This server supports version " +
           U16(std::to_string(kServerDatabaseVersion)) +
           u" and earlier. A downgrade path is not supported.";
}

constexpr std::u16string_view k1802 =
    u"CREATE DATABASE failed. Some file names listed could not be created. Check related errors.";
constexpr std::u16string_view k5173 =
    u"One or more files do not match the primary file of the database. If you are attempting to "
    u"attach a database, retry the operation with the correct files. If this is an existing "
    u"database, the file may be corrupted and should be restored from a backup.";
constexpr std::u16string_view k2528 =
    u"DBCC execution completed. If DBCC printed error messages, contact your system "
    u"administrator.";

std::u16string CollationName(std::uint32_t id) {
    if (const auto name = mdf::CollationName(id)) {
        return std::u16string(*name);
    }
    return U16(std::to_string(id));
}

fs::path ToPath(const std::u16string& p) {
    return fs::path(tdsfiles::ToUtf8(p));
}

fs::path Canonical(const std::u16string& p) {
    std::error_code ec;
    fs::path c = fs::weakly_canonical(ToPath(p), ec);
    return ec ? ToPath(p) : c;
}

// The attached database holding this file, if any (caller holds g_stateMutex).
const AttachedDatabase* HolderOf(const fs::path& canonical) {
    for (const auto& db : g_attached) {
        for (const auto& c : db.canonical) {
            if (c == canonical)
                return &db;
        }
    }
    return nullptr;
}

// Reports why a file cannot serve as a primary file; returns the file when it can.
std::optional<mdf::PrimaryFile> OpenPrimary(Writer& w, const std::u16string& path,
                                            std::int32_t line) {
    {
        std::lock_guard lock(g_stateMutex);
        if (HolderOf(Canonical(path))) {
            Error(w, 5120, 101, 16, Os5120(path, 32), line);
            return std::nullopt;
        }
    }
    auto r = mdf::ReadPrimaryFile(ToPath(path));
    switch (r.status) {
        case mdf::ReadStatus::Ok:
            return r.value;
        case mdf::ReadStatus::NotFound:
            Error(w, 5120, 101, 16, Os5120(path, 2), line);
            break;
        case mdf::ReadStatus::AccessDenied:
            Error(w, 5120, 101, 16, Os5120(path, 5), line);
            break;
        case mdf::ReadStatus::NotPrimary:
            Error(w, 5171, 1, 16, path + u" is not a primary database file.", line);
            break;
        case mdf::ReadStatus::BadHeader:
        case mdf::ReadStatus::Damaged: {
            Log("file " + tdsfiles::ToUtf8(path) + ": " + r.detail);
            std::error_code ec;
            const auto size = fs::file_size(ToPath(path), ec);
            const bool sizeWrong = !ec && (size < mdf::kPageSize * 10 || size % mdf::kPageSize);
            Error(w, 5172, 15, 16, Msg5172(path, sizeWrong ? u"FILE SIZE" : u"PageAudit"), line);
            break;
        }
    }
    return std::nullopt;
}

// ---------------------------------------------------------------------------------------------
// Statements

struct Outcome {
    std::uint16_t status = 0;
    std::uint16_t curcmd = 0;
    std::uint64_t rows = 0;
};

Outcome RunDbcc(Writer& w, const tsql::DbccCheckPrimaryFile& d, std::int32_t line) {
    Outcome o;
    auto file = OpenPrimary(w, d.path, line);
    if (file && file->version > kServerDatabaseVersion) {
        Error(w, 948, 1, 20, Msg948(file->databaseName, file->version), line);
        file.reset();
    }
    if (!file) {
        o.status = done::kError;
    } else if (d.option == 2) {
        ColMetadata(w, {{u"property", false, 128}, {u"value", false, 128}});
        Row(w, {u"Database name", file->databaseName});
        Row(w, {u"Database version", U16(std::to_string(file->version))});
        Row(w, {u"Collation", CollationName(file->collationId)});
        Done(w, done::kMore | done::kCount, 0, 3);
    } else {
        ColMetadata(w, {{u"status", true, 0},
                        {u"fileid", true, 0},
                        {u"name", false, 128},
                        {u"filename", false, 260}});
        for (const auto& f : file->files) {
            Row(w, {std::int32_t(f.status), std::int32_t(f.fileId), Padded(f.logicalName, 128),
                    Padded(f.physicalName, 260)});
        }
        Done(w, done::kMore | done::kCount, 0, file->files.size());
    }
    Message(w, false, 2528, 1, 0, k2528, line);
    return o;
}

void WriteDatabasesFile() {
    if (g_config.databasesPath.empty())
        return;
    std::vector<std::vector<std::u16string>> rows;
    for (const auto& db : g_attached) {
        std::vector<std::u16string> row{db.name};
        row.insert(row.end(), db.files.begin(), db.files.end());
        rows.push_back(std::move(row));
    }
    const std::string text = tdsfiles::FormatDatabases(rows);
    const std::string tmp = g_config.databasesPath + ".tmp";
    const int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        Log("cannot write " + tmp + ": " + std::strerror(errno));
        return;
    }
    (void)!::write(fd, text.data(), text.size());
    ::close(fd);
    std::rename(tmp.c_str(), g_config.databasesPath.c_str());
}

Outcome RunAttach(Writer& w, const tsql::CreateDatabaseForAttach& c, std::int32_t line) {
    Outcome o{done::kError, 0, 0};
    {
        std::lock_guard lock(g_stateMutex);
        bool taken = false;
        for (const auto& s : SystemDatabases())
            taken = taken || SameName(s, c.name);
        for (const auto& db : g_attached)
            taken = taken || SameName(db.name, c.name);
        if (taken) {
            Error(w, 1801, 3, 16,
                  u"Database '" + c.name + u"' already exists. Choose a different database name.",
                  line);
            return o;
        }
    }
    auto primary = OpenPrimary(w, c.files.front(), line);
    if (!primary) {
        Error(w, 1802, 4, 16, k1802, line);
        return o;
    }
    if (primary->version > kServerDatabaseVersion) {
        Error(w, 1813, 2, 16,
              u"Could not open new database '" + c.name + u"'. CREATE DATABASE is aborted.", line);
        Error(w, 948, 1, 20, Msg948(c.name, primary->version), line);
        return o;
    }
    std::vector<fs::path> canonical{Canonical(c.files.front())};
    bool mismatch = false;
    for (std::size_t i = 1; i < c.files.size(); ++i) {
        const std::u16string& path = c.files[i];
        canonical.push_back(Canonical(path));
        {
            std::lock_guard lock(g_stateMutex);
            if (HolderOf(canonical.back())) {
                Error(w, 5120, 101, 16, Os5120(path, 32), line);
                Error(w, 1802, 4, 16, k1802, line);
                return o;
            }
        }
        auto header = mdf::ReadFileHeader(ToPath(path));
        if (header.status == mdf::ReadStatus::NotFound ||
            header.status == mdf::ReadStatus::AccessDenied) {
            Error(w, 5120, 101, 16,
                  Os5120(path, header.status == mdf::ReadStatus::NotFound ? 2 : 5), line);
            Error(w, 1802, 4, 16, k1802, line);
            return o;
        }
        if (header.status != mdf::ReadStatus::Ok) {
            Log("file " + tdsfiles::ToUtf8(path) + ": " + header.detail);
            Error(w, 5172, 15, 16, Msg5172(path, u"PageAudit"), line);
            Error(w, 1802, 4, 16, k1802, line);
            return o;
        }
        mismatch = mismatch || header.value.bindingId != primary->bindingId;
    }
    if (mismatch) {
        Error(w, 5173, 1, 16, k5173, line);
        Error(w, 1813, 2, 16,
              u"Could not open new database '" + c.name + u"'. CREATE DATABASE is aborted.", line);
        return o;
    }
    std::lock_guard lock(g_stateMutex);
    // Another client may have won the name or a file while the files were being read.
    for (const auto& db : g_attached) {
        if (SameName(db.name, c.name)) {
            Error(w, 1801, 3, 16,
                  u"Database '" + c.name + u"' already exists. Choose a different database name.",
                  line);
            return o;
        }
    }
    for (std::size_t i = 0; i < canonical.size(); ++i) {
        if (HolderOf(canonical[i])) {
            Error(w, 5120, 101, 16, Os5120(c.files[i], 32), line);
            Error(w, 1802, 4, 16, k1802, line);
            return o;
        }
    }
    g_attached.push_back({c.name, c.files, canonical});
    WriteDatabasesFile();
    Log("attached [" + tdsfiles::ToUtf8(c.name) + "]");
    return Outcome{};
}

Outcome RunSelectNames(Writer& w) {
    std::vector<std::u16string> names = SystemDatabases();
    {
        std::lock_guard lock(g_stateMutex);
        for (const auto& db : g_attached)
            names.push_back(db.name);
    }
    ColMetadata(w, {{u"name", false, 128}});
    for (const auto& n : names)
        Row(w, {n});
    return Outcome{done::kCount, 0xC1, names.size()};
}

// ---------------------------------------------------------------------------------------------
// Sessions

struct LoginRequest {
    std::uint32_t tdsVersion = 0;
    std::uint8_t versionBytes[4] = {};
    std::uint32_t packetSize = 4096;
    bool integrated = false;
    std::u16string user, password, database;
    std::vector<std::uint8_t> sspi;
};

std::u16string ReadUcs2(const std::vector<std::uint8_t>& p, std::size_t off, std::size_t chars) {
    std::u16string s;
    for (std::size_t i = 0; i < chars; ++i) {
        s += char16_t(p[off + 2 * i] | (p[off + 2 * i + 1] << 8));
    }
    return s;
}

std::uint16_t Le16(const std::vector<std::uint8_t>& p, std::size_t off) {
    return std::uint16_t(p[off] | (p[off + 1] << 8));
}
std::uint32_t Le32(const std::vector<std::uint8_t>& p, std::size_t off) {
    return std::uint32_t(Le16(p, off)) | (std::uint32_t(Le16(p, off + 2)) << 16);
}

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
    std::u16string ignored;
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

struct GssResult {
    bool ok = false;
    std::string principal;
    std::vector<std::uint8_t> reply;
    std::string why;
};

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

class Session {
  public:
    explicit Session(int fd) : fd_(fd), spid_(std::uint16_t(g_spid++)) {}
    ~Session() { ::close(fd_); }

    void Run() {
        Message_ msg;
        while (ReadMessage(fd_, msg)) {
            if (!Handle(msg))
                return;
        }
    }

  private:
    bool Send(Writer& w) { return SendMessage(fd_, w.Data(), packetSize_, spid_); }

    bool Handle(const Message_& msg) {
        if (!loggedIn_) {
            if (msg.type == 0x12 && !preloginDone_) {
                preloginDone_ = true;
                return SendMessage(fd_, PreloginAnswer(), 4096, spid_);
            }
            if (msg.type == 0x10)
                return HandleLogin(msg.payload);
            return false;
        }
        switch (msg.type) {
            case 0x01:
                return HandleBatch(msg.payload);
            case 0x06: {
                Writer w;
                Done(w, done::kAttention);
                return Send(w);
            }
            case 0x0E:
                return HandleTransaction(msg.payload);
            case 0x11:
                return true;  // a client finishing mutual authentication has nothing to hear back
            default:
                return false;
        }
    }

    bool RefuseLogin(Writer& w, const std::u16string& login) {
        Error(w, 18456, 1, 14, u"Login failed for user '" + login + u"'.");
        Done(w, done::kError);
        Send(w);
        return false;
    }

    bool HandleLogin(const std::vector<std::uint8_t>& payload) {
        auto req = ParseLogin7(payload);
        if (!req)
            return false;
        version_ = req->tdsVersion;
        Writer w;
        std::vector<std::uint8_t> apRep;
        if (req->integrated) {
            GssResult g = AcceptKerberos(req->sspi);
            if (!g.ok) {
                Log("Kerberos login refused: " + g.why);
                Error(w, 18452, 1, 14,
                      u"Login failed. The login is from an untrusted domain and cannot be used "
                      u"with Integrated authentication.");
                Done(w, done::kError);
                Send(w);
                return false;
            }
            login_ = g.principal;
            apRep = std::move(g.reply);
        } else {
            login_ = tdsfiles::ToUtf8(req->user);
            auto it = g_config.sqlLogins.find(login_);
            if (it == g_config.sqlLogins.end() || tdsfiles::FromUtf8(it->second) != req->password) {
                return RefuseLogin(w, req->user);
            }
        }
        if (g_config.refuseLogins)
            return RefuseLogin(w, tdsfiles::FromUtf8(login_));

        std::u16string db = u"master";
        if (!req->database.empty()) {
            std::optional<std::u16string> found;
            for (const auto& s : SystemDatabases()) {
                if (SameName(s, req->database))
                    found = s;
            }
            std::lock_guard lock(g_stateMutex);
            for (const auto& a : g_attached) {
                if (SameName(a.name, req->database))
                    found = a.name;
            }
            if (!found) {
                Error(w, 4060, 1, 11,
                      u"Cannot open database \"" + req->database +
                          u"\" requested by the login. The login failed.");
                Error(w, 18456, 1, 14,
                      u"Login failed for user '" + tdsfiles::FromUtf8(login_) + u"'.");
                Done(w, done::kError);
                Send(w);
                return false;
            }
            db = *found;
        }
        std::uint32_t ps = req->packetSize ? req->packetSize : 4096;
        packetSize_ = std::clamp<std::uint32_t>(ps, 512, 32767);

        if (req->integrated) {
            w.U8(token::kSspi);
            w.U16(std::uint16_t(apRep.size()));
            w.Bytes(apRep.data(), apRep.size());
        }
        EnvChangeString(w, 1, db, u"master");
        Message(w, false, 5701, 2, 0, u"Changed database context to '" + db + u"'.");
        EnvChangeBytes(w, 7, std::vector<std::uint8_t>(kCollation, kCollation + 5), {});
        EnvChangeString(w, 2, u"us_english", u"");
        Message(w, false, 5703, 1, 0, u"Changed language setting to us_english.");
        // LOGINACK: SQL interface, the client's TDS version echoed (sent big-endian), program
        // name and version 15.0.2000.
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
        const std::u16string psText = U16(std::to_string(packetSize_));
        EnvChangeString(w, 4, psText, psText);
        Done(w, 0);
        loggedIn_ = true;
        Log("login " + login_ + (req->integrated ? " (Kerberos)" : " (SQL)"));
        return Send(w);
    }

    // Waits out --delay-ms, watching for the client's attention; true when it cancelled.
    bool DelayCancelled(bool& connectionLost) {
        const auto until =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(g_config.delayMs);
        while (true) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                                  until - std::chrono::steady_clock::now())
                                  .count();
            if (left <= 0)
                return false;
            pollfd pfd{fd_, POLLIN, 0};
            const int r = ::poll(&pfd, 1, int(left));
            if (r < 0 && errno == EINTR)
                continue;
            if (r <= 0)
                continue;
            Message_ next;
            if (!ReadMessage(fd_, next) || next.type != 0x06) {
                connectionLost = true;
                return true;
            }
            return true;
        }
    }

    bool HandleBatch(const std::vector<std::uint8_t>& p) {
        std::size_t off = 0;
        if (version_ >= 0x72000000u) {
            // ALL_HEADERS, skipped by its own length.
            if (p.size() < 4)
                return false;
            off = Le32(p, 0);
            if (off < 4 || off > p.size())
                return false;
        }
        if ((p.size() - off) % 2)
            return false;
        std::u16string text;
        text.reserve((p.size() - off) / 2);
        for (std::size_t i = off; i + 1 < p.size(); i += 2) {
            text += char16_t(p[i] | (p[i + 1] << 8));
        }
        ++batches_;
        long long number = 0;
        {
            std::lock_guard lock(g_stateMutex);
            const long long n = ++g_batchCount;
            number = n;
            if (!g_config.transcriptPath.empty()) {
                const std::string rec = tdsfiles::FormatTranscriptRecord(n, login_, text);
                const int fd = ::open(g_config.transcriptPath.c_str(),
                                      O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
                if (fd >= 0) {
                    (void)!::write(fd, rec.data(), rec.size());
                    ::close(fd);
                }
            }
            if (g_config.exitAfter > 0 && n >= g_config.exitAfter) {
                Log("--exit-after reached, exiting");
                ::_exit(0);
            }
        }
        if (g_config.closeAfter > 0 && batches_ >= g_config.closeAfter)
            return false;

        if (g_config.delayMs > 0 && (g_config.delayBatch < 0 || number == g_config.delayBatch)) {
            bool lost = false;
            if (DelayCancelled(lost)) {
                if (lost)
                    return false;
                Writer w;
                Done(w, done::kAttention);
                return Send(w);
            }
        }

        Writer w;
        tsql::ParseResult parsed = tsql::ParseBatch(text);
        if (!parsed.errors.empty()) {
            for (const auto& e : parsed.errors) {
                Error(w, e.number, e.state, e.severity, e.text, e.line);
            }
            Done(w, done::kError);
            return Send(w);
        }
        if (parsed.statements.empty()) {
            Done(w, 0);
            return Send(w);
        }
        for (std::size_t i = 0; i < parsed.statements.size(); ++i) {
            const auto& ps = parsed.statements[i];
            Outcome o;
            if (const auto* d = std::get_if<tsql::DbccCheckPrimaryFile>(&ps.statement)) {
                o = RunDbcc(w, *d, ps.line);
            } else if (const auto* c = std::get_if<tsql::CreateDatabaseForAttach>(&ps.statement)) {
                o = RunAttach(w, *c, ps.line);
            } else if (std::holds_alternative<tsql::SelectDatabaseNames>(ps.statement)) {
                o = RunSelectNames(w);
            } else if (const auto* u = std::get_if<tsql::UseDatabase>(&ps.statement)) {
                o = RunUse(w, *u, ps.line);
            }
            const bool last = i + 1 == parsed.statements.size();
            Done(w, std::uint16_t(o.status | (last ? 0 : done::kMore)), o.curcmd, o.rows);
        }
        return Send(w);
    }

    Outcome RunUse(Writer& w, const tsql::UseDatabase& u, std::int32_t line) {
        std::optional<std::u16string> found;
        for (const auto& s : SystemDatabases()) {
            if (SameName(s, u.name))
                found = s;
        }
        {
            std::lock_guard lock(g_stateMutex);
            for (const auto& a : g_attached) {
                if (SameName(a.name, u.name))
                    found = a.name;
            }
        }
        if (!found) {
            Error(w, 911, 1, 16,
                  u"Database '" + u.name +
                      u"' does not exist. Make sure that the name is entered correctly.",
                  line);
            return Outcome{done::kError, 0, 0};
        }
        EnvChangeString(w, 1, *found, database_);
        Message(w, false, 5701, 1, 0, u"Changed database context to '" + *found + u"'.", line);
        database_ = *found;
        return Outcome{};
    }

    bool HandleTransaction(const std::vector<std::uint8_t>& p) {
        if (p.size() < 4)
            return false;
        std::size_t off = Le32(p, 0);
        if (off < 4 || off + 2 > p.size())
            return false;
        const std::uint16_t request = Le16(p, off);
        off += 2;
        auto skipName = [&]() {
            if (off >= p.size())
                return false;
            off += 1 + 2 * std::size_t(p[off]);
            return off <= p.size();
        };
        Writer w;
        auto descriptor = [](std::uint64_t id) {
            std::vector<std::uint8_t> d(8);
            for (int i = 0; i < 8; ++i)
                d[i] = std::uint8_t(id >> (8 * i));
            return d;
        };
        auto begin = [&]() {
            transaction_ = ++nextTransaction_;
            EnvChangeBytes(w, 8, descriptor(transaction_), {});
        };
        switch (request) {
            case 5:  // begin: isolation level, name
                begin();
                break;
            case 7:    // commit: name, flags (0x01: begin a new one), [isolation, name]
            case 8: {  // rollback: same shape
                bool again = false;
                if (skipName() && off < p.size())
                    again = (p[off] & 0x01) != 0;
                EnvChangeBytes(w, request == 7 ? 9 : 10, {},
                               transaction_ ? descriptor(transaction_) : std::vector<uint8_t>{});
                transaction_ = 0;
                if (again)
                    begin();
                break;
            }
            default:
                Done(w, done::kError);
                return Send(w);
        }
        Done(w, 0);
        return Send(w);
    }

    int fd_;
    std::uint16_t spid_;
    bool preloginDone_ = false;
    bool loggedIn_ = false;
    std::uint32_t version_ = 0;
    std::size_t packetSize_ = 4096;
    std::string login_;
    std::u16string database_ = u"master";
    int batches_ = 0;
    std::uint64_t transaction_ = 0;
    std::uint64_t nextTransaction_ = 0;
};

// ---------------------------------------------------------------------------------------------

[[noreturn]] void Usage(const std::string& why) {
    std::fprintf(
        why.empty() ? stdout : stderr,
        "%s%s"
        "usage: quillane-testserver [--port N] [--keytab FILE] [--sql-login user:pw]...\n"
        "       [--transcript FILE] [--databases FILE] [--close-after N]\n"
        "       [--delay-ms D] [--delay-batch N] [--exit-after N] [--refuse-logins]\n"
        "Listens on 127.0.0.1 only and prints \"READY <port>\" once listening\n"
        "(--port 0: any free port; exit status 2 when the port is taken).\n",
        why.empty() ? "" : "quillane-testserver: ", why.empty() ? "" : (why + "\n").c_str());
    std::exit(why.empty() ? 0 : 64);
}

int ParseInt(const std::string& s, const char* what) {
    try {
        std::size_t used = 0;
        const int v = std::stoi(s, &used);
        if (used == s.size())
            return v;
    } catch (const std::exception&) {
    }
    Usage(std::string("bad number for ") + what + ": " + s);
}

void ParseArgs(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= argc)
                Usage("missing value after " + a);
            return argv[++i];
        };
        if (a == "--help") {
            Usage("");
        } else if (a == "--port") {
            g_config.port = ParseInt(value(), "--port");
        } else if (a == "--keytab") {
            g_config.keytab = value();
        } else if (a == "--sql-login") {
            const std::string v = value();
            const auto colon = v.find(':');
            if (colon == std::string::npos)
                Usage("--sql-login wants user:password");
            g_config.sqlLogins[v.substr(0, colon)] = v.substr(colon + 1);
        } else if (a == "--transcript") {
            g_config.transcriptPath = value();
        } else if (a == "--databases") {
            g_config.databasesPath = value();
        } else if (a == "--close-after") {
            g_config.closeAfter = ParseInt(value(), "--close-after");
        } else if (a == "--delay-ms") {
            g_config.delayMs = ParseInt(value(), "--delay-ms");
        } else if (a == "--delay-batch") {
            g_config.delayBatch = ParseInt(value(), "--delay-batch");
        } else if (a == "--exit-after") {
            g_config.exitAfter = ParseInt(value(), "--exit-after");
        } else if (a == "--refuse-logins") {
            g_config.refuseLogins = true;
        } else {
            Usage("unknown argument " + a);
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    ParseArgs(argc, argv);
    // Never outlive whoever started us (a test that crashed must not leave a server behind).
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (getppid() == 1)
        return 1;
    ::signal(SIGPIPE, SIG_IGN);
    ::signal(SIGTERM, [](int) { ::_exit(0); });
    ::signal(SIGINT, [](int) { ::_exit(0); });

    if (!g_config.keytab.empty())
        ::setenv("KRB5_KTNAME", g_config.keytab.c_str(), 1);
    // Replay detection adds nothing for a loopback fixture and needs a writable cache directory.
    ::setenv("KRB5RCACHETYPE", "none", 0);

    const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listener < 0) {
        Log(std::string("socket: ") + std::strerror(errno));
        return 1;
    }
    const int one = 1;
    ::setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(std::uint16_t(g_config.port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        const int err = errno;
        Log("cannot listen on 127.0.0.1:" + std::to_string(g_config.port) + ": " +
            std::strerror(err));
        return err == EADDRINUSE ? kExitPortTaken : 1;
    }
    if (::listen(listener, 64) != 0) {
        Log(std::string("listen: ") + std::strerror(errno));
        return 1;
    }
    socklen_t len = sizeof addr;
    ::getsockname(listener, reinterpret_cast<sockaddr*>(&addr), &len);
    std::printf("READY %d\n", ntohs(addr.sin_port));
    std::fflush(stdout);

    while (true) {
        const int fd = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) {
            if (errno == EINTR || errno == ECONNABORTED || errno == EMFILE)
                continue;
            Log(std::string("accept: ") + std::strerror(errno));
            return 1;
        }
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        std::thread([fd] {
            Session s(fd);
            s.Run();
        }).detach();
    }
}
