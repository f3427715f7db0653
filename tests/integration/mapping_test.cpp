// The OLE DB connection texts the window holds, as the platform's ODBC driver gets them.
#include <gtest/gtest.h>

#include "db/odbc/connection_mapping.h"
#include "engine/server_connection.h"

namespace {

using namespace Qt::Literals::StringLiterals;
using quillane::db::odbc::ToOdbcConnection;
using quillane::engine::ComposeConnectionText;
using quillane::engine::InitialConnectionText;

struct Case {
    const char* what;
    QString oledb;
    QString odbc;
    int loginTimeout = 15;  // the OLE DB provider's defaults unless the text says otherwise
    int commandTimeout = 30;
    QString refusal = {};  // not empty: nothing may reach the driver
};

void PrintTo(const Case& c, std::ostream* os) {
    *os << c.what;
}

class Mapping : public testing::TestWithParam<Case> {};

TEST_P(Mapping, GivesTheOdbcTextAndTheWaits) {
    const auto mapped = ToOdbcConnection(GetParam().oledb);
    EXPECT_EQ(mapped.text.toStdString(), GetParam().odbc.toStdString());
    EXPECT_EQ(mapped.loginTimeout, GetParam().loginTimeout);
    EXPECT_EQ(mapped.commandTimeout, GetParam().commandTimeout);
    EXPECT_EQ(mapped.refusal.toStdString(), GetParam().refusal.toStdString());
}

#ifndef _WIN32
// The tail every FreeTDS text ends with when the OLE DB text names nothing more.
const QString kLocal = u"Driver={FreeTDS};Server=127.0.0.1;Port=1433"_s;

const Case kCases[] = {
    {"the start-up text: local server, Kerberos, fixed workstation", InitialConnectionText(),
     kLocal + u";Database=master;Trusted_Connection=Yes;WSID=QUILLANE;APP=Quillane;PacketSize=4096"
              u";TDS_Version=7.4"_s},
    {"server box host,port (the composed text ends in a blank)",
     ComposeConnectionText(QStringLiteral(" sa "), QStringLiteral(" 127.0.0.1,14331 ")),
     u"Driver={FreeTDS};Server=127.0.0.1;Port=14331;Database=master;Trusted_Connection=Yes;"
     u"WSID=127.0.0.1,14331;APP=Quillane;PacketSize=4096;TDS_Version=7.4"_s},
    {"empty server box: this machine, no workstation name",
     ComposeConnectionText(QString(), QString()),
     kLocal + u";Database=master;Trusted_Connection=Yes;APP=Quillane;PacketSize=4096"
              u";TDS_Version=7.4"_s},
    {"(local)", u"Data Source=(LOCAL)"_s, kLocal + u";APP=Quillane;TDS_Version=7.4"_s},
    {"localhost", u"Data Source=localhost"_s, kLocal + u";APP=Quillane;TDS_Version=7.4"_s},
    {"no keys at all", QString(), kLocal + u";APP=Quillane;TDS_Version=7.4"_s},
    {"a host name alone gets SQL Server's port", u"Data Source=db01.corp.example"_s,
     u"Driver={FreeTDS};Server=db01.corp.example;Port=1433;APP=Quillane;TDS_Version=7.4"_s},
    {"named instance: left to the browser lookup", u"Data Source=db01\\SQLEXPRESS"_s,
     u"Driver={FreeTDS};Server=db01\\SQLEXPRESS;APP=Quillane;TDS_Version=7.4"_s},
    {"named instance on this machine", u"Data Source=.\\SQLEXPRESS"_s,
     u"Driver={FreeTDS};Server=127.0.0.1\\SQLEXPRESS;APP=Quillane;TDS_Version=7.4"_s},
    {"instance and port: the port wins", u"Data Source=db01\\SQLEXPRESS, 1500"_s,
     u"Driver={FreeTDS};Server=db01;Port=1500;APP=Quillane;TDS_Version=7.4"_s},
    {"tcp: prefix", u"Data Source=tcp:db01,1501"_s,
     u"Driver={FreeTDS};Server=db01;Port=1501;APP=Quillane;TDS_Version=7.4"_s},
    {"keys in any case, blanks around keys and values, segments without =",
     u" DATA SOURCE = db01 ; junk ;initial catalog=  Sales  ;;"_s,
     u"Driver={FreeTDS};Server=db01;Port=1433;Database=Sales;APP=Quillane;TDS_Version=7.4"_s},
    {"the later of two equal keys wins", u"Initial Catalog=a;Initial Catalog=b"_s,
     kLocal + u";Database=b;APP=Quillane;TDS_Version=7.4"_s},
    {"double-quoted value with ; and doubled quotes", u"Initial Catalog=\"a;\"\"b\"\"\""_s,
     kLocal + u";Database={a;\"b\"};APP=Quillane;TDS_Version=7.4"_s},
    {"single-quoted value with a doubled apostrophe", u"Initial Catalog='O''Brien'"_s,
     kLocal + u";Database=O'Brien;APP=Quillane;TDS_Version=7.4"_s},
    {"quoted blanks are kept and braced", u"Workstation ID=\" pc 1 \""_s,
     kLocal + u";WSID={ pc 1 };APP=Quillane;TDS_Version=7.4"_s},
    // Braces that need no bracing of their own go in as they are: both parsers read up to ";".
    {"braces inside a value", u"Initial Catalog=x{y}z}"_s,
     kLocal + u";Database=x{y}z};APP=Quillane;TDS_Version=7.4"_s},
    {"a value starting with { is braced", u"Initial Catalog={x"_s,
     kLocal + u";Database={{x};APP=Quillane;TDS_Version=7.4"_s},
    {"SQL login: user and password", u"User ID=sa;Password=\"p;w\";Data Source=db01"_s,
     u"Driver={FreeTDS};Server=db01;Port=1433;UID=sa;PWD={p;w};APP=Quillane;TDS_Version=7.4"_s},
    {"integrated security wins over a user id", u"User ID=sa;Integrated Security=true"_s,
     kLocal + u";Trusted_Connection=Yes;APP=Quillane;TDS_Version=7.4"_s},
    {"keys without ODBC meaning are dropped",
     u"Provider=SQLOLEDB.1;Persist Security Info=True;Auto Translate=True;Use Procedure for "
     u"Prepare=1;Tag with column collation when possible=False;Use Encryption for Data=False"_s,
     kLocal + u";APP=Quillane;TDS_Version=7.4"_s},
    // FreeTDS 1.3 cannot be told to check the server's certificate from a connection text.
    {"encryption asked for: the certificate must be checked, which FreeTDS cannot",
     u"Use Encryption for Data=True"_s, QString(), 15, 30,
     u"Use Encryption for Data=True 要求校验服务器的证书，而本机的 FreeTDS 驱动程序无法按连接文本"
     u"校验证书，未向服务器发送任何内容。信任该服务器时可加上 Trust Server Certificate=True。"_s},
    {"encryption with the server's certificate trusted",
     u"Use Encryption for Data=True;Trust Server Certificate=True"_s,
     kLocal + u";APP=Quillane;Encryption=require;TDS_Version=7.4"_s},
    {"a trusted certificate alone asks for no encryption", u"Trust Server Certificate=True"_s,
     kLocal + u";APP=Quillane;TDS_Version=7.4"_s},
    {"an application name of the text's own", u"Application Name=Nightly attach"_s,
     kLocal + u";APP=Nightly attach;TDS_Version=7.4"_s},
    {"the waits set by the text", u"Connect Timeout=2;General Timeout= 1 "_s,
     kLocal + u";APP=Quillane;TDS_Version=7.4"_s, 2, 1},
    {"0 waits without limit, as the provider does", u"connect timeout=0;GENERAL TIMEOUT=0"_s,
     kLocal + u";APP=Quillane;TDS_Version=7.4"_s, 0, 0},
    {"a wait that is no number of seconds keeps the default",
     u"Connect Timeout=-5;General Timeout=soon"_s, kLocal + u";APP=Quillane;TDS_Version=7.4"_s},
    // A value that would need braces and holds a "}" cannot mean the same to unixODBC and to
    // FreeTDS: refused, naming where it came from and the character.
    {"}; in the server box would end the value early",
     ComposeConnectionText(u"sa"_s, u"\"127.0.0.1};Driver={/tmp/x.so\""_s), QString(), 15, 30,
     u"服务器名（Data Source）含有驱动程序无法安全接收的字符“}”，未向服务器发送任何内容。"_s},
    {"a } without ; is refused once ; needs braces", u"Data Source=\"x}Driver=/tmp/x.so;\""_s,
     QString(), 15, 30,
     u"服务器名（Data Source）含有驱动程序无法安全接收的字符“}”，未向服务器发送任何内容。"_s},
    {"the workstation id", u"Data Source=db01;Workstation ID=\"pc};UID=sa\""_s, QString(), 15, 30,
     u"服务器名（Workstation ID）含有驱动程序无法安全接收的字符“}”，未向服务器发送任何内容。"_s},
    {"a SQL login's user", u"User ID=\"a}b;c\";Password=x"_s, QString(), 15, 30,
     u"用户名（User ID）含有驱动程序无法安全接收的字符“}”，未向服务器发送任何内容。"_s},
    {"a braced database name", u"Initial Catalog={x}"_s, QString(), 15, 30,
     u"Initial Catalog含有驱动程序无法安全接收的字符“}”，未向服务器发送任何内容。"_s},
    {"a line break inside the server box", ComposeConnectionText(u"sa"_s, u"db\n01"_s), QString(),
     15, 30,
     u"服务器名（Data Source）含有驱动程序无法安全接收的字符U+000A，未向服务器发送任何内容。"_s},
    {"NUL would cut the text short", u"Data Source=d\0b;Driver=/tmp/x.so"_s, QString(), 15, 30,
     u"服务器名（Data Source）含有驱动程序无法安全接收的字符U+0000，未向服务器发送任何内容。"_s},
    {"a user id that is not used is not looked at", u"Integrated Security=SSPI;User ID=\"a};b\""_s,
     kLocal + u";Trusted_Connection=Yes;APP=Quillane;TDS_Version=7.4"_s},
    // Keys typed whole into a box join the text as the OLE DB provider reads it: the later of
    // two equal keys wins, so a DBA may ask for a SQL login this way, on purpose.
    {"keys typed into the server box",
     ComposeConnectionText(u"sa"_s, u"db01;Integrated Security=no;Password=pw"_s),
     u"Driver={FreeTDS};Server=db01;Port=1433;Database=master;UID=sa;PWD=pw;WSID=db01;"
     u"APP=Quillane;PacketSize=4096;TDS_Version=7.4"_s},
    {"a wait typed into the server box",
     ComposeConnectionText(u"sa"_s, u"db01;Connect Timeout=3"_s),
     u"Driver={FreeTDS};Server=db01;Port=1433;Database=master;Trusted_Connection=Yes;"
     u"WSID=db01;APP=Quillane;PacketSize=4096;TDS_Version=7.4"_s,
     3, 30},
};
#else
const Case kCases[] = {
    {"the start-up text", InitialConnectionText(),
     u"Driver={SQL Server};Server=.;Database=master;Trusted_Connection=Yes;WSID=QUILLANE;"
     u"APP=Quillane;PacketSize=4096"_s},
    {"empty server box", ComposeConnectionText(QString(), QString()),
     u"Driver={SQL Server};Server=(local);Database=master;Trusted_Connection=Yes;APP=Quillane;"
     u"PacketSize=4096"_s},
    // The Windows driver reads every form of the server box itself: no port of our own.
    {"server box host,port and an instance", ComposeConnectionText(u"sa"_s, u" db01\\SQL,1500 "_s),
     u"Driver={SQL Server};Server=db01\\SQL,1500;Database=master;Trusted_Connection=Yes;"
     u"WSID=db01\\SQL,1500;APP=Quillane;PacketSize=4096"_s},
    // Microsoft's driver manager and driver read "}}" inside braces as one "}", so a value may
    // hold both ";" and "}".
    {"a value with ; and } is braced, the } doubled", u"Initial Catalog=\"a;b}c\""_s,
     u"Driver={SQL Server};Server=(local);Database={a;b}}c};APP=Quillane"_s},
    {"control characters are refused here too", ComposeConnectionText(u"sa"_s, u"db\n01"_s),
     QString(), 15, 30,
     u"服务器名（Data Source）含有驱动程序无法安全接收的字符U+000A，未向服务器发送任何内容。"_s},
    {"encryption with the server's certificate checked by the driver",
     u"Use Encryption for Data=True"_s,
     u"Driver={SQL Server};Server=(local);APP=Quillane;Encrypt=yes"_s},
};
#endif

INSTANTIATE_TEST_SUITE_P(Texts, Mapping, testing::ValuesIn(kCases));

}  // namespace
