// quillane-attach without the disk: the verdict rule, the text and JSON forms of one inspection,
// the terminal widths behind the text's columns, and the command line's verbs and usage errors.
#include <gtest/gtest.h>

#include <ostream>

#include <QJsonDocument>
#include <QTextStream>

#include "cli/inspection.h"
#include "cli/output.h"
#include "cli/verbs.h"
#include "support/qt_printers.h"

namespace {

using namespace Qt::Literals::StringLiterals;
using namespace quillane::cli;
using mdf::ReadStatus;

InspectedFile File(int id, bool log, FileCheck check, const QString& name = u"f"_s) {
    return {id, log, name, u"E:\\old\\"_s + name, u"/srv/"_s + name, check, {}};
}

Inspection Readable(int version, QList<InspectedFile> files) {
    Inspection i;
    i.path = u"/srv/db.mdf"_s;
    i.databaseName = u"db"_s;
    i.version = version;
    i.createVersion = version;
    i.files = std::move(files);
    return i;
}

Inspection Unreadable(ReadStatus status) {
    Inspection i;
    i.path = u"/srv/db.mdf"_s;
    i.status = status;
    i.detail = u"what was wrong"_s;
    i.files = {File(2, true, FileCheck::Missing, u"log"_s)};  // never reached
    return i;
}

// ---------------------------------------------------------------------------------------------
// The verdict: the first error in the order the server meets them.

struct JudgeCase {
    const char* what;
    Inspection inspection;
    int error;
    int osError;
    QString path;
};

// A case is named by what it shows.
void PrintTo(const JudgeCase& c, std::ostream* os) {
    *os << c.what;
}

class JudgeTest : public testing::TestWithParam<JudgeCase> {};

TEST_P(JudgeTest, GivesTheServersFirstError) {
    const Verdict v = Judge(GetParam().inspection);
    EXPECT_EQ(v.ServerError(), GetParam().error);
    EXPECT_EQ(v.OsError(), GetParam().osError);
    EXPECT_EQ(v.path, GetParam().path);
    EXPECT_EQ(v.Ready(), GetParam().error == 0);
}

const InspectedFile kPrimary = File(1, false, FileCheck::Primary, u"db.mdf"_s);

INSTANTIATE_TEST_SUITE_P(
    Cases, JudgeTest,
    testing::Values(
        JudgeCase{"ready",
                  Readable(904, {kPrimary, File(2, true, FileCheck::Found, u"log"_s),
                                 File(3, false, FileCheck::Found, u"ndf"_s)}),
                  0,
                  0,
                  {}},
        JudgeCase{"newest_known_version_is_ready",
                  Readable(957, {kPrimary, File(2, true, FileCheck::Found)}),
                  0,
                  0,
                  {}},
        JudgeCase{"primary_missing", Unreadable(ReadStatus::NotFound), 5120, 2, u"/srv/db.mdf"_s},
        JudgeCase{"primary_unreadable", Unreadable(ReadStatus::AccessDenied), 5120, 5,
                  u"/srv/db.mdf"_s},
        JudgeCase{"not_primary", Unreadable(ReadStatus::NotPrimary), 5171, 0, u"/srv/db.mdf"_s},
        JudgeCase{"bad_header", Unreadable(ReadStatus::BadHeader), 5172, 0, u"/srv/db.mdf"_s},
        JudgeCase{"damaged", Unreadable(ReadStatus::Damaged), 5172, 0, u"/srv/db.mdf"_s},
        // The version is read before any other file is opened.
        JudgeCase{"too_new_before_missing_log",
                  Readable(958, {kPrimary, File(2, true, FileCheck::Missing, u"log"_s)}), 948, 0,
                  u"/srv/db.mdf"_s},
        JudgeCase{"log_missing",
                  Readable(904, {kPrimary, File(2, true, FileCheck::Missing, u"log"_s)}), 5120, 2,
                  u"/srv/log"_s},
        JudgeCase{"ndf_unreadable",
                  Readable(904, {kPrimary, File(2, true, FileCheck::Found, u"log"_s),
                                 File(3, false, FileCheck::Unreadable, u"ndf"_s)}),
                  5120, 5, u"/srv/ndf"_s},
        JudgeCase{"log_damaged",
                  Readable(904, {kPrimary, File(2, true, FileCheck::Damaged, u"log"_s)}), 5172, 0,
                  u"/srv/log"_s},
        JudgeCase{"log_of_another_database",
                  Readable(904, {kPrimary, File(2, true, FileCheck::OtherDatabase, u"log"_s)}),
                  5173, 0, u"/srv/log"_s},
        // Every file is opened before any is matched: a later missing file is reported first.
        JudgeCase{"missing_after_foreign",
                  Readable(904, {kPrimary, File(2, true, FileCheck::OtherDatabase, u"log"_s),
                                 File(3, false, FileCheck::Missing, u"ndf"_s)}),
                  5120, 2, u"/srv/ndf"_s},
        // The first of two faults of the same kind, in record order.
        JudgeCase{"first_of_two_missing",
                  Readable(904, {kPrimary, File(3, false, FileCheck::Missing, u"ndf"_s),
                                 File(2, true, FileCheck::Missing, u"log"_s)}),
                  5120, 2, u"/srv/ndf"_s}),
    [](const auto& info) { return std::string(info.param.what); });

// ---------------------------------------------------------------------------------------------
// Terminal widths and what may reach a terminal.

TEST(DisplayWidth, CountsWideCharactersTwiceAndMarksNever) {
    const struct {
        QString text;
        int width;
    } cases[] = {
        {u""_s, 0},           {u"pubs.mdf"_s, 8}, {u"销售.mdf"_s, 8}, {u"数据库文件"_s, 10},
        {u"Ян"_s, 2},          // Cyrillic is narrow
        {u"ｄｂ"_s, 4},        // fullwidth Latin
        {u"한국"_s, 4},        // Hangul
        {u"e\u0301"_s, 1},     // a combining accent takes no column
        {u"\U00020000"_s, 2},  // a CJK ideograph outside the BMP, one surrogate pair
        {u"\U0001F600"_s, 2},  // emoji
        {u"a\u200Db"_s, 2},    // zero-width joiner
    };
    for (const auto& c : cases) {
        EXPECT_EQ(DisplayWidth(c.text), c.width) << c.text.toStdString();
    }
    EXPECT_EQ(PadToWidth(u"销售"_s, 6), u"销售  "_s);
    EXPECT_EQ(PadToWidth(u"toolong"_s, 3), u"toolong"_s);
}

TEST(Printable, ControlCharactersCannotReachTheTerminal) {
    EXPECT_EQ(Printable(u"db\x1b[2Jname"_s), u"db\\x1B[2Jname"_s);
    EXPECT_EQ(Printable(u"a\nb\tc\x7f"_s), u"a\\x0Ab\\x09c\\x7F"_s);
    EXPECT_EQ(Printable(u"\u009b31m"_s), u"\\x9B31m"_s);  // the one-character CSI
    EXPECT_EQ(Printable(u"销售 'x' ]"_s), u"销售 'x' ]"_s);
}

// ---------------------------------------------------------------------------------------------
// One inspection as text and as JSON.

Inspection Sample() {
    Inspection i;
    i.path = u"/srv/恢复/销售.mdf"_s;
    i.databaseName = u"销售数据"_s;
    i.version = 904;
    i.createVersion = 782;
    i.collationId = 872468488;
    for (std::uint8_t b = 0; b < 16; ++b) {
        i.bindingId[b] = b;
    }
    i.files = {
        {1,
         false,
         u"销售"_s,
         u"D:\\旧\\销售.mdf"_s,
         u"/srv/恢复/销售.mdf"_s,
         FileCheck::Primary,
         {}},
        {2,
         true,
         u"销售_log"_s,
         u"D:\\旧\\销售_log.ldf"_s,
         u"/srv/恢复/销售_log.ldf"_s,
         FileCheck::Found,
         {}},
        {3, false, u"more"_s, u"E:\\x\\more.ndf"_s, u"/srv/恢复/more.ndf"_s, FileCheck::Missing,
         u"/srv/恢复/more.ndf: No such file or directory"_s},
    };
    i.verdict = Judge(i);
    return i;
}

TEST(InspectionText, AlignsColumnsByTerminalWidth) {
    EXPECT_EQ(
        InspectionText(Sample()),
        u"数据库文件  /srv/恢复/销售.mdf\n"
        u"数据库名    销售数据\n"
        u"数据库版本  904（SQL Server 2019 写入，SQL Server 2019 及更新版本可附加）\n"
        u"创建时版本  782（SQL Server 2014）\n"
        u"排序规则    SQL_Latin1_General_CP1_CI_AS\n"
        u"结论        不能附加：服务器将报错 5120（操作系统错误 2）：找不到“/srv/恢复/more.ndf”\n"
        u"  编号  类型      逻辑名    记录的路径          附加路径                检查\n"
        u"  1     数据文件  销售      D:\\旧\\销售.mdf      /srv/恢复/销售.mdf      主文件\n"
        u"  2     日志文件  销售_log  D:\\旧\\销售_log.ldf  /srv/恢复/销售_log.ldf  找到\n"
        u"  3     数据文件  more      E:\\x\\more.ndf       /srv/恢复/more.ndf      缺失\n"_s);
}

TEST(InspectionText, VersionsAndVerdictsInWords) {
    Inspection i = Sample();
    i.version = 999;
    i.collationId = 4242;
    i.verdict = Judge(i);
    const QString text = InspectionText(i);
    EXPECT_TRUE(
        text.contains(u"数据库版本  999（比已知的最新版本 957 还新，已知的发行版都不能附加）\n"_s))
        << text.toStdString();
    EXPECT_TRUE(text.contains(u"排序规则    4242\n"_s)) << text.toStdString();
    EXPECT_TRUE(text.contains(
        u"结论        不能附加：服务器将报错 948：数据库版本比已知的最新版本 957 还新\n"_s))
        << text.toStdString();

    i.version = 895;  // written only by a pre-release build
    EXPECT_TRUE(
        InspectionText(i).contains(u"数据库版本  895（SQL Server 2019 及更新版本可附加）\n"_s));

    Inspection damaged = Unreadable(ReadStatus::Damaged);
    damaged.path = u"/srv/a\x1b]0;x\x07.mdf"_s;
    damaged.detail = u"boot page: database name length 258 bytes"_s;
    damaged.files.clear();
    damaged.verdict = Judge(damaged);
    EXPECT_EQ(
        InspectionText(damaged),
        u"数据库文件  /srv/a\\x1B]0;x\\x07.mdf\n"
        u"结论        不能附加：服务器将报错 5172：“/srv/a\\x1B]0;x\\x07.mdf”已损坏（boot page: "
        u"database name length 258 bytes）\n"_s);
}

TEST(InspectionJson, CarriesTheSameFacts) {
    const QJsonObject expected = QJsonDocument::fromJson(R"({
        "file": "/srv/恢复/销售.mdf", "read": "ok", "ready": false,
        "databaseName": "销售数据",
        "version": 904, "release": "SQL Server 2019", "oldestReleaseToAttach": "SQL Server 2019",
        "createVersion": 782, "createRelease": "SQL Server 2014",
        "collationId": 872468488, "collation": "SQL_Latin1_General_CP1_CI_AS",
        "bindingId": "03020100-0504-0706-0809-0A0B0C0D0E0F",
        "files": [
          {"fileId": 1, "type": "data", "logicalName": "销售", "recordedPath": "D:\\旧\\销售.mdf",
           "attachPath": "/srv/恢复/销售.mdf", "check": "primary"},
          {"fileId": 2, "type": "log", "logicalName": "销售_log",
           "recordedPath": "D:\\旧\\销售_log.ldf", "attachPath": "/srv/恢复/销售_log.ldf",
           "check": "found"},
          {"fileId": 3, "type": "data", "logicalName": "more", "recordedPath": "E:\\x\\more.ndf",
           "attachPath": "/srv/恢复/more.ndf", "check": "missing",
           "detail": "/srv/恢复/more.ndf: No such file or directory"}
        ],
        "error": {"number": 5120, "osError": 2, "reason": "notFound",
                  "path": "/srv/恢复/more.ndf"}
    })")
                                     .object();
    ASSERT_FALSE(expected.isEmpty());
    EXPECT_EQ(InspectionJson(Sample()), expected)
        << QJsonDocument(InspectionJson(Sample())).toJson().toStdString();

    Inspection ready = Sample();
    ready.files[2].check = FileCheck::Found;
    ready.verdict = Judge(ready);
    EXPECT_TRUE(InspectionJson(ready)[u"error"_s].isNull());
    EXPECT_TRUE(InspectionJson(ready)[u"ready"_s].toBool());

    const QJsonObject notPrimary = InspectionJson([] {
        Inspection i = Unreadable(ReadStatus::NotPrimary);
        i.files.clear();
        i.verdict = Judge(i);
        return i;
    }());
    EXPECT_EQ(notPrimary, QJsonDocument::fromJson(R"({
        "file": "/srv/db.mdf", "read": "notPrimary", "detail": "what was wrong", "ready": false,
        "error": {"number": 5171, "reason": "notPrimary", "path": "/srv/db.mdf"}})")
                              .object());
}

// ---------------------------------------------------------------------------------------------
// Verbs, help and usage errors.

struct RunCase {
    const char* what;
    QStringList arguments;
    int status;
    QString out;  // contained in standard output ("" for: nothing at all)
    QString err;  // contained in standard error ("" for: nothing at all)
};

// A case is named by what it shows.
void PrintTo(const RunCase& c, std::ostream* os) {
    *os << c.what;
}

class RunTest : public testing::TestWithParam<RunCase> {};

TEST_P(RunTest, AnswersWithTheRightStatus) {
    const RunCase& c = GetParam();
    QString out;
    QString err;
    QTextStream outStream(&out);
    QTextStream errStream(&err);
    Io io{outStream, errStream};
    EXPECT_EQ(quillane::cli::Run(QStringList{u"quillane-attach"_s} + c.arguments, io), c.status);
    outStream.flush();
    errStream.flush();
    if (c.out.isEmpty()) {
        EXPECT_EQ(out, QString());
    } else {
        EXPECT_TRUE(out.contains(c.out)) << out.toStdString();
    }
    if (c.err.isEmpty()) {
        EXPECT_EQ(err, QString());
    } else {
        EXPECT_TRUE(err.contains(c.err)) << err.toStdString();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RunTest,
    testing::Values(
        RunCase{"nothing", {}, 2, {}, u"用法：quillane-attach [选项] 文件|目录...\n"_s},
        RunCase{"help", {u"--help"_s}, 0, u"  inspect  查看主数据库文件"_s, {}},
        RunCase{"help_short", {u"-h"_s}, 0, u"用“quillane-attach <命令> --help”"_s, {}},
        RunCase{"version", {u"--version"_s}, 0, u"quillane-attach 1.0.0\n"_s, {}},
        RunCase{"version_short", {u"-v"_s}, 0, u"quillane-attach 1.0.0\n"_s, {}},
        RunCase{
            "help_shows_the_attaching_options", {u"--help"_s}, 0, u"  --map <本机=服务器>"_s, {}},
        // A word that names no verb is a file for the verb that attaches.
        RunCase{"no_verb_is_a_file",
                {u"attach-all"_s, u"--jobs"_s, u"0"_s},
                2,
                {},
                u"quillane-attach：--jobs 须为 1 到 64 之间的整数（收到“0”）。\n"
                u"用“quillane-attach --help”查看用法。\n"_s},
        RunCase{"unknown_option", {u"--sever"_s}, 2, {}, u"quillane-attach：未知选项“--sever”。"_s},
        RunCase{
            "option_without_its_value", {u"--server"_s}, 2, {}, u"quillane-attach：命令行有误（"_s},
        RunCase{"attach_nothing", {u"-j"_s, u"2"_s}, 2, {}, u"quillane-attach：缺少文件或目录。"_s},
        RunCase{"jobs_not_a_number",
                {u"--jobs"_s, u"four"_s, u"x.mdf"_s},
                2,
                {},
                u"--jobs 须为 1 到 64 之间的整数（收到“four”）"_s},
        RunCase{"jobs_too_many",
                {u"-j"_s, u"65"_s, u"x.mdf"_s},
                2,
                {},
                u"--jobs 须为 1 到 64 之间的整数（收到“65”）"_s},
        RunCase{"map_without_equals",
                {u"--map"_s, u"/srv/data"_s, u"x.mdf"_s},
                2,
                {},
                u"--map 须写成“本机路径=服务器路径”（收到“/srv/data”）"_s},
        RunCase{"map_without_server_side",
                {u"--map"_s, u"/srv/data="_s, u"x.mdf"_s},
                2,
                {},
                u"--map 须写成“本机路径=服务器路径”"_s},
        RunCase{"attach_empty_argument", {u"x.mdf"_s, u""_s}, 2, {}, u"文件或目录不能为空"_s},
        RunCase{"inspect_nothing",
                {u"inspect"_s},
                2,
                {},
                u"quillane-attach inspect：缺少文件或目录。\n"
                u"用“quillane-attach inspect --help”查看用法。\n"_s},
        RunCase{"inspect_unknown_option",
                {u"inspect"_s, u"--jsn"_s, u"x.mdf"_s},
                2,
                {},
                u"quillane-attach inspect：未知选项“--jsn”。"_s},
        RunCase{"inspect_unknown_short_option",
                {u"inspect"_s, u"-x"_s, u"x.mdf"_s},
                2,
                {},
                u"未知选项“-x”"_s},
        RunCase{"inspect_value_where_none_is_taken",
                {u"inspect"_s, u"--json=yes"_s, u"x.mdf"_s},
                2,
                {},
                u"quillane-attach inspect：命令行有误（"_s},
        RunCase{"inspect_empty_argument", {u"inspect"_s, u""_s}, 2, {}, u"文件或目录不能为空"_s},
        RunCase{"inspect_help",
                {u"inspect"_s, u"--help"_s},
                0,
                u"用法：quillane-attach inspect [选项] 文件|目录...\n"_s,
                {}},
        RunCase{"inspect_help_lists_options",
                {u"inspect"_s, u"-h"_s},
                0,
                u"  --json      为脚本输出"_s,
                {}}),
    [](const auto& info) { return std::string(info.param.what); });

}  // namespace
