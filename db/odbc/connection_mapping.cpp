#include "db/odbc/connection_mapping.h"

#include <QList>
#include <QPair>
#include <algorithm>
#include <initializer_list>
#include <optional>

namespace quillane::db::odbc {
namespace {

using Pairs = QList<QPair<QString, QString>>;

// The client name the server sees (sys.dm_exec_sessions.program_name) unless the text names one:
// the executable's name, as the OLE DB provider reports it on Windows.
constexpr char16_t kApplicationName[] = u"Quillane";

bool IsBlank(QChar c) {
    return c.unicode() <= 32;
}

QString Trimmed(QStringView text) {
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && IsBlank(text[begin])) {
        ++begin;
    }
    while (end > begin && IsBlank(text[end - 1])) {
        --end;
    }
    return text.sliced(begin, end - begin).toString();
}

// Splits "key=value;key='quoted;value';…" into pairs, the later of two equal keys winning.
// Keys come back lower-cased.
Pairs ParseOleDb(const QString& text) {
    Pairs pairs;
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n) {
        const qsizetype keyEnd = [&] {
            qsizetype j = i;
            while (j < n && text[j] != u'=' && text[j] != u';') {
                ++j;
            }
            return j;
        }();
        const QString key = Trimmed(QStringView(text).sliced(i, keyEnd - i)).toLower();
        if (keyEnd >= n || text[keyEnd] == u';') {
            // A segment without "=": nothing to take from it.
            i = keyEnd + 1;
            continue;
        }
        qsizetype j = keyEnd + 1;
        while (j < n && IsBlank(text[j])) {
            ++j;
        }
        QString value;
        if (j < n && (text[j] == u'"' || text[j] == u'\'')) {
            const QChar quote = text[j++];
            while (j < n) {
                if (text[j] == quote) {
                    if (j + 1 < n && text[j + 1] == quote) {
                        value += quote;
                        j += 2;
                        continue;
                    }
                    ++j;
                    break;
                }
                value += text[j++];
            }
            // Anything between the closing quote and the next ";" is not part of the value.
            while (j < n && text[j] != u';') {
                ++j;
            }
        } else {
            const qsizetype start = j;
            while (j < n && text[j] != u';') {
                ++j;
            }
            value = Trimmed(QStringView(text).sliced(start, j - start));
        }
        i = j + 1;
        if (key.isEmpty()) {
            continue;
        }
        auto existing = std::find_if(pairs.begin(), pairs.end(),
                                     [&](const auto& pair) { return pair.first == key; });
        if (existing != pairs.end()) {
            existing->second = value;
        } else {
            pairs.append({key, value});
        }
    }
    return pairs;
}

QString Value(const Pairs& pairs, std::initializer_list<const char16_t*> keys,
              bool* found = nullptr) {
    for (const char16_t* key : keys) {
        for (const auto& [k, v] : pairs) {
            if (k == QStringView(key)) {
                if (found != nullptr) {
                    *found = true;
                }
                return v;
            }
        }
    }
    if (found != nullptr) {
        *found = false;
    }
    return {};
}

bool IsTrue(const QString& value) {
    return value.compare(u"true", Qt::CaseInsensitive) == 0 ||
           value.compare(u"yes", Qt::CaseInsensitive) == 0 ||
           value.compare(u"sspi", Qt::CaseInsensitive) == 0;
}

// Whether a value must go in braces to be read back whole: ";" would end it, a "{" at its start
// would open braces, blanks at either end might be dropped.
bool NeedsBraces(const QString& value) {
    return value.contains(u';') || value.startsWith(u'{') ||
           (!value.isEmpty() && (IsBlank(value.front()) || IsBlank(value.back())));
}

// The first character of `value` that this platform's driver cannot be given safely, or none.
// Two parsers read the text: the driver manager (to find the driver) and the driver (for
// everything else), and both must see the same keys.
std::optional<QChar> Unsafe(const QString& value) {
    for (const QChar c : value) {
        // NUL would cut the wide text short; the others have no business in a name and may be
        // read differently by each parser.
        if (c.unicode() < 32 || c.unicode() == 127) {
            return c;
        }
    }
#ifndef Q_OS_WIN
    // unixODBC ends a braced value at the first "}" not doubled and reads "}}" as one "}";
    // FreeTDS (1.3) ends it at the first "}" followed by ";" and takes "}}" literally. No writing
    // of a "}" inside braces means the same to both, so such a value cannot be carried: the rest
    // would become keys of its own (another Driver, another login) for one of them.
    if (NeedsBraces(value) && value.contains(u'}')) {
        return QChar(u'}');
    }
#endif
    return std::nullopt;
}

QString OdbcValue(const QString& value) {
    if (!NeedsBraces(value)) {
        return value;
    }
#ifdef Q_OS_WIN
    // Microsoft's driver manager and drivers read "}}" inside braces as one "}".
    QString escaped = value;
    escaped.replace(u'}', QStringLiteral("}}"));
    return u'{' + escaped + u'}';
#else
    return u'{' + value + u'}';
#endif
}

// Where a value came from, in the words the user knows: the window's boxes for the keys it
// composes, the OLE DB key for the others.
QString Origin(const QString& odbcKey) {
    if (odbcKey == u"Server" || odbcKey == u"Port") {
        return QStringLiteral("服务器名（Data Source）");
    }
    if (odbcKey == u"WSID") {
        return QStringLiteral("服务器名（Workstation ID）");
    }
    if (odbcKey == u"UID") {
        return QStringLiteral("用户名（User ID）");
    }
    if (odbcKey == u"PWD") {
        return QStringLiteral("Password");
    }
    if (odbcKey == u"Database") {
        return QStringLiteral("Initial Catalog");
    }
    if (odbcKey == u"APP") {
        return QStringLiteral("Application Name");
    }
    if (odbcKey == u"PacketSize") {
        return QStringLiteral("Packet Size");
    }
    return odbcKey;
}

QString Refusal(const QString& odbcKey, QChar c) {
    const QString shown =
        c.unicode() < 32 || c.unicode() == 127
            ? QStringLiteral("U+%1").arg(c.unicode(), 4, 16, QChar(u'0')).toUpper()
            : QStringLiteral("“") + c + QStringLiteral("”");
    return Origin(odbcKey) + QStringLiteral("含有驱动程序无法安全接收的字符") + shown +
           QStringLiteral("，未向服务器发送任何内容。");
}

#ifndef Q_OS_WIN
bool IsLocalHost(const QString& host) {
    return host.isEmpty() || host == u"." || host.compare(u"(local)", Qt::CaseInsensitive) == 0 ||
           host.compare(u"localhost", Qt::CaseInsensitive) == 0;
}
#endif

// Where Data Source points. SQLOLEDB reads ".", "(local)" and "" as this machine, "host,port" as a
// TCP port and "host\instance" as a named instance.
void AddServer(Pairs& out, const QString& dataSource) {
#ifdef Q_OS_WIN
    // The Windows driver understands every form of Data Source itself.
    out.append(
        {QStringLiteral("Server"), dataSource.isEmpty() ? QStringLiteral("(local)") : dataSource});
#else
    QString source = dataSource;
    if (source.startsWith(u"tcp:", Qt::CaseInsensitive)) {
        source = Trimmed(QStringView(source).sliced(4));
    }
    QString host = source;
    QString port;
    if (const qsizetype comma = source.indexOf(u','); comma >= 0) {
        host = Trimmed(QStringView(source).first(comma));
        port = Trimmed(QStringView(source).sliced(comma + 1));
    }
    QString instance;
    if (const qsizetype slash = host.indexOf(u'\\'); slash >= 0) {
        instance = host.sliced(slash);  // with its "\"
        host = Trimmed(QStringView(host).first(slash));
    }
    // FreeTDS gives "." and "(local)" no meaning, and looks "localhost" up in a way that may end
    // on ::1. The IPv4 loopback address reaches a server listening on this machine, and as a
    // dotted name it goes unchanged into the Kerberos service name: MSSQLSvc/127.0.0.1:<port>.
    if (IsLocalHost(host)) {
        host = QStringLiteral("127.0.0.1");
    }
    if (!port.isEmpty()) {
        // An explicit port wins over the instance: no browser lookup is needed.
        out.append({QStringLiteral("Server"), host});
        out.append({QStringLiteral("Port"), port});
    } else if (!instance.isEmpty()) {
        // FreeTDS asks the SQL Server Browser (UDP 1434) for the instance's port.
        out.append({QStringLiteral("Server"), host + instance});
    } else {
        // FreeTDS has no default port of its own.
        out.append({QStringLiteral("Server"), host});
        out.append({QStringLiteral("Port"), QStringLiteral("1433")});
    }
#endif
}

// A number of seconds as the OLE DB provider takes it. Anything else leaves the default, so that
// a wait stays bounded whatever the text says.
int Seconds(const Pairs& pairs, const char16_t* key, int fallback) {
    bool found = false;
    const QString value = Value(pairs, {key}, &found);
    bool ok = false;
    const int seconds = value.toInt(&ok);
    return found && ok && seconds >= 0 ? seconds : fallback;
}

}  // namespace

OdbcConnection ToOdbcConnection(const QString& oledbText) {
    const Pairs in = ParseOleDb(oledbText);
    Pairs out;
#ifdef Q_OS_WIN
    out.append({QStringLiteral("Driver"), QStringLiteral("{SQL Server}")});
#else
    out.append({QStringLiteral("Driver"), QStringLiteral("{FreeTDS}")});
#endif
    AddServer(out, Value(in, {u"data source", u"server", u"address", u"addr"}));

    const QString database = Value(in, {u"initial catalog", u"database"});
    if (!database.isEmpty()) {
        out.append({QStringLiteral("Database"), database});
    }
    if (IsTrue(Value(in, {u"integrated security", u"trusted_connection"}))) {
        // The account of the user running the program: on Linux the user's Kerberos ticket. A
        // User ID beside it means nothing to SQLOLEDB either.
        out.append({QStringLiteral("Trusted_Connection"), QStringLiteral("Yes")});
    } else {
        bool hasUser = false;
        bool hasPassword = false;
        const QString user = Value(in, {u"user id", u"uid"}, &hasUser);
        const QString password = Value(in, {u"password", u"pwd"}, &hasPassword);
        if (hasUser) {
            out.append({QStringLiteral("UID"), user});
        }
        if (hasPassword) {
            out.append({QStringLiteral("PWD"), password});
        }
    }
    const QString workstation = Value(in, {u"workstation id"});
    if (!workstation.isEmpty()) {
        out.append({QStringLiteral("WSID"), workstation});
    }
    const QString application = Value(in, {u"application name"});
    out.append({QStringLiteral("APP"),
                application.isEmpty() ? QString::fromUtf16(kApplicationName) : application});
    const QString packetSize = Value(in, {u"packet size"});
    if (!packetSize.isEmpty()) {
        out.append({QStringLiteral("PacketSize"), packetSize});
    }
    // Encryption is only worth having with a server that proves who it is: the certificate is
    // checked against the system's trusted certificates and the host name, unless the text says
    // "Trust Server Certificate=True".
    const bool trustServer = IsTrue(Value(in, {u"trust server certificate"}));
    if (IsTrue(Value(in, {u"use encryption for data"}))) {
#ifdef Q_OS_WIN
        out.append({QStringLiteral("Encrypt"), QStringLiteral("yes")});
        if (trustServer) {
            out.append({QStringLiteral("TrustServerCertificate"), QStringLiteral("yes")});
        }
#else
        if (!trustServer) {
            // FreeTDS 1.3 checks a certificate only with a "ca file" from freetds.conf; no key of
            // a connection text asks for it, and an unknown key is ignored without a word. An
            // encrypted session with an unchecked server would be a false promise: refuse.
            OdbcConnection refused;
            refused.refusal = QStringLiteral(
                "Use Encryption for Data=True 要求校验服务器的证书，而本机的 FreeTDS 驱动程序"
                "无法按连接文本校验证书，未向服务器发送任何内容。信任该服务器时可加上 "
                "Trust Server Certificate=True。");
            return refused;
        }
        out.append({QStringLiteral("Encryption"), QStringLiteral("require")});
#endif
    }
#ifndef Q_OS_WIN
    // Every SQL Server since 2005 accepts a 7.4 login and answers with its own version. "auto"
    // would retry a failed connect as a Sybase 5.0 login, which only doubles the failure messages.
    out.append({QStringLiteral("TDS_Version"), QStringLiteral("7.4")});
#endif

    OdbcConnection result;
    for (const auto& [key, value] : out) {
        // The driver is always this function's own: a value never becomes a key.
        if (key != u"Driver") {
            if (const std::optional<QChar> c = Unsafe(value)) {
                OdbcConnection refused;
                refused.refusal = Refusal(key, *c);
                return refused;
            }
        }
        if (!result.text.isEmpty()) {
            result.text += u';';
        }
        result.text += key + u'=' + (key == u"Driver" ? value : OdbcValue(value));
    }
    result.loginTimeout = Seconds(in, u"connect timeout", result.loginTimeout);
    result.commandTimeout = Seconds(in, u"general timeout", result.commandTimeout);
    return result;
}

}  // namespace quillane::db::odbc
