// quillane-attach inspect as a DBA runs it: the real program over generated directories and the
// real samples, read back through its JSON, its text and its exit status.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <filesystem>
#include <iostream>

#include "inspect_table.h"
#include "mdf_fixture.h"
#include "program_result.h"
#include "support/qt_printers.h"

namespace {

using namespace Qt::Literals::StringLiterals;
namespace fs = std::filesystem;

const fs::path kSamples = QUILLANE_SAMPLES_DIR;

// The program as uid 65534 can start it: a build tree under a directory closed to others (a
// clone in a mode-0700 temporary directory) keeps that user from the built file itself, so the
// user gets a copy in a directory open to everyone. The program links no library of the tree.
QString ProgramForNobody() {
    static const QString copy = [] {
        static QTemporaryDir dir;
        const QString path = dir.filePath(u"quillane-attach"_s);
        if (!dir.isValid() || !QFile::copy(QStringLiteral(QUILLANE_ATTACH_PATH), path)) {
            return QStringLiteral(QUILLANE_ATTACH_PATH);
        }
        ::chmod(QFile::encodeName(dir.path()).constData(), 0755);
        ::chmod(QFile::encodeName(path).constData(), 0755);
        return path;
    }();
    return copy;
}

// Runs quillane-attach; `asNobody` runs it as uid 65534, a user who cannot read a file with mode
// 000 (root reads it whatever its permission bits say).
Result Attach(const QStringList& arguments, const QString& workingDir = {}, bool asNobody = false) {
    QProcess process;
    process.setProgram(asNobody ? ProgramForNobody() : QStringLiteral(QUILLANE_ATTACH_PATH));
    process.setArguments(arguments);
    if (!workingDir.isEmpty()) {
        process.setWorkingDirectory(workingDir);
    }
    if (asNobody) {
        process.setChildProcessModifier([] {
            if (::setgid(65534) != 0 || ::setuid(65534) != 0) {
                ::_exit(99);
            }
        });
    }
    process.start();
    EXPECT_TRUE(process.waitForFinished(60000)) << "quillane-attach did not finish";
    Result r;
    r.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    r.out = QString::fromUtf8(process.readAllStandardOutput());
    r.err = QString::fromUtf8(process.readAllStandardError());
    return r;
}

QString Verdict(const QJsonObject& object) {
    const QJsonValue error = object[u"error"_s];
    if (error.isNull()) {
        return u"ready"_s;
    }
    return QString::number(error[u"number"_s].toInt()) + u'/' +
           QString::number(error[u"osError"_s].toInt()) + u' ' + error[u"path"_s].toString();
}

QString Verdict(const inspecttable::Row& row) {
    return row.error == 0 ? u"ready"_s
                          : QString::number(row.error) + u'/' + QString::number(row.osError) +
                                u' ' + row.failing;
}

class InspectTest : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(temp_.isValid());
        // Open to everyone, so that "nobody" reaches the file it must fail to read.
        ::chmod(QFile::encodeName(temp_.path()).constData(), 0755);
        base_ = QDir(temp_.path()).canonicalPath();
        rows_ = inspecttable::MakeTable(base_);
    }

    const inspecttable::Row& RowNamed(const std::string& label) const {
        for (const auto& row : rows_) {
            if (row.label == label) {
                return row;
            }
        }
        throw std::runtime_error("no row " + label);
    }

    // The one JSON object inspect gives for a row's argument.
    QJsonObject Json(const std::string& label) const {
        const Result r = Attach({u"inspect"_s, u"--json"_s, RowNamed(label).argument});
        const QList<QJsonObject> objects = r.Objects();
        EXPECT_EQ(objects.size(), 1) << r.out.toStdString() << r.err.toStdString();
        return objects.value(0);
    }

    QTemporaryDir temp_;
    QString base_;
    std::vector<inspecttable::Row> rows_;
};

// Every row of the table: the verdict in JSON and in words, and the exit status.
TEST_F(InspectTest, EveryRowGetsTheServersVerdict) {
    for (const inspecttable::Row& row : rows_) {
        SCOPED_TRACE(row.label);
        const bool nobody = row.unreadable && ::geteuid() == 0;
        const Result json = Attach({u"inspect"_s, u"--json"_s, row.argument}, {}, nobody);
        if (json.status == 99) {
            std::cout << "[ skipped  ] " << row.label
                      << ": running as root and cannot drop to uid 65534\n";
            continue;
        }
        EXPECT_EQ(json.status, row.error == 0 ? 0 : 1) << json.err.toStdString();
        EXPECT_EQ(json.err, QString());
        const QList<QJsonObject> objects = json.Objects();
        ASSERT_EQ(objects.size(), 1) << json.out.toStdString();
        EXPECT_EQ(Verdict(objects[0]), Verdict(row));
        EXPECT_EQ(objects[0][u"ready"_s].toBool(), row.error == 0);

        const Result text = Attach({u"inspect"_s, row.argument}, {}, nobody);
        EXPECT_EQ(text.status, json.status);
        QString verdict = u"\n结论        "_s;
        if (row.error == 0) {
            verdict += u"可以附加\n"_s;
        } else {
            verdict += u"不能附加：服务器将报错 "_s + QString::number(row.error);
            if (row.osError != 0) {
                verdict += u"（操作系统错误 "_s + QString::number(row.osError) + u"）"_s;
            }
        }
        EXPECT_TRUE(text.out.contains(verdict)) << text.out.toStdString();
        EXPECT_TRUE(text.out.endsWith(
            row.error == 0 ? u"共 1 个主数据库文件：1 个可以附加，0 个不能附加。\n"_s
                           : u"共 1 个主数据库文件：0 个可以附加，1 个不能附加。\n"_s))
            << text.out.toStdString();
    }
}

// What each recorded file is, where an attach from here looks for it, and what lies there.
TEST_F(InspectTest, EveryRecordedFileWithItsPlanAndCheck) {
    auto files = [](const QJsonObject& object) {
        QStringList out;
        for (const QJsonValue& f : object[u"files"_s].toArray()) {
            out << QString::number(f[u"fileId"_s].toInt()) + u' ' + f[u"type"_s].toString() + u' ' +
                       f[u"attachPath"_s].toString() + u' ' + f[u"check"_s].toString();
        }
        return out;
    };
    const QString every = RowNamed("every_file").argument;
    const QJsonObject orders = Json("every_file");
    EXPECT_EQ(files(orders), (QStringList{
                                 u"1 data "_s + every + u"/Orders.mdf primary"_s,
                                 u"2 log "_s + every + u"/Orders_log.ldf found"_s,
                                 u"3 data "_s + every + u"/Orders_2.ndf found"_s,
                                 u"4 log "_s + every + u"/Orders_log2.ldf found"_s,
                             }));
    EXPECT_EQ(orders[u"files"_s][2][u"recordedPath"_s].toString(), u"F:\\more\\Orders_2.ndf"_s);
    EXPECT_EQ(orders[u"files"_s][3][u"logicalName"_s].toString(), u"Orders_log2"_s);

    // Not moved: the log is where it was recorded, in another directory than the primary file.
    const QString inPlace = RowNamed("in_place").argument;
    EXPECT_EQ(files(Json("in_place")), (QStringList{
                                           u"1 data "_s + inPlace + u"/InPlace.mdf primary"_s,
                                           u"2 log "_s + inPlace + u"/logs/InPlace_log.ldf found"_s,
                                       }));

    const QString foreign = RowNamed("log_foreign").argument;
    EXPECT_EQ(files(Json("log_foreign")).value(1),
              u"2 log "_s + foreign + u"/Hr_log.ldf otherDatabase"_s);
    const QString behind = RowNamed("ndf_left_behind").argument;
    EXPECT_EQ(files(Json("ndf_left_behind")).value(2),
              u"3 data "_s + behind + u"/Crm_2.ndf missing"_s);

    // Names and paths with CJK, apostrophes and ":" come through whole.
    const QString renamed = RowNamed("awkward_renamed").argument;
    const QJsonObject sales = Json("awkward_renamed");
    EXPECT_EQ(sales[u"databaseName"_s].toString(), u"销售'数据"_s);
    EXPECT_EQ(files(sales), (QStringList{
                                u"1 data "_s + renamed + u"/销售'数据:2024.mdf primary"_s,
                                u"2 log "_s + renamed + u"/销售'数据_log.ldf found"_s,
                            }));
    const QString linux = RowNamed("awkward_linux").argument;
    const QJsonObject its = Json("awkward_linux");
    EXPECT_EQ(its[u"databaseName"_s].toString(), u"it's:销售"_s);
    EXPECT_EQ(files(its), (QStringList{
                              u"1 data "_s + linux + u"/Sales.mdf primary"_s,
                              u"2 log "_s + linux + u"/it's:销售_log.ldf found"_s,
                          }));

    const QJsonObject future = Json("too_new");
    EXPECT_EQ(future[u"version"_s].toInt(), 958);
    EXPECT_TRUE(future[u"release"_s].isNull());
    EXPECT_TRUE(future[u"oldestReleaseToAttach"_s].isNull());
    EXPECT_EQ(Json("empty")[u"read"_s].toString(), u"badHeader"_s);
    EXPECT_EQ(Json("truncated")[u"read"_s].toString(), u"damaged"_s);
    EXPECT_EQ(Json("ldf_as_mdf")[u"read"_s].toString(), u"notPrimary"_s);
}

// Several arguments: one object per primary file in argument order, and exit status 0 only when
// every one of them is ready.
TEST_F(InspectTest, ExitStatusSpeaksForEveryFile) {
    QStringList ready;
    QStringList all;
    qsizetype failing = 0;
    for (const auto& row : rows_) {
        if (row.unreadable && ::geteuid() == 0) {
            continue;  // root reads it: that row is run as another user above
        }
        all << row.argument;
        if (row.error == 0) {
            ready << row.argument;
        } else {
            ++failing;
        }
    }
    const Result good = Attach(QStringList{u"inspect"_s, u"--json"_s} + ready);
    EXPECT_EQ(good.status, 0) << good.out.toStdString();
    EXPECT_EQ(good.Objects().size(), ready.size());

    const Result mixed = Attach(QStringList{u"inspect"_s} + all);
    EXPECT_EQ(mixed.status, 1);
    EXPECT_TRUE(mixed.out.endsWith(u"共 "_s + QString::number(all.size()) + u" 个主数据库文件："_s +
                                   QString::number(ready.size()) + u" 个可以附加，"_s +
                                   QString::number(failing) + u" 个不能附加。\n"_s))
        << mixed.out.toStdString();
}

// A directory stands for every name in it that matches *.mdf in any letter case, in the file
// list's order; a relative argument is shown and attached from as an absolute path.
TEST_F(InspectTest, DirectoryArgumentsInFileListOrder) {
    const QString dir = base_ + u"/listing"_s;
    ASSERT_TRUE(QDir().mkpath(dir + u"/sub.mdf"_s));
    for (const QString& name : {u"b.mdf"_s, u"A.MDF"_s, u"a.mdf"_s, u"c.Mdf"_s, u"数据.mdf"_s,
                                u".hidden.mdf"_s, u"notes.txt"_s, u"x.ldf"_s, u"y.mdf.bak"_s}) {
        QFile(dir + u'/' + name).open(QIODevice::WriteOnly);
    }
    const Result r = Attach({u"inspect"_s, u"--json"_s, u"listing"_s}, base_);
    QStringList files;
    for (const QJsonObject& o : r.Objects()) {
        files << o[u"file"_s].toString().sliced(dir.size() + 1);
    }
    EXPECT_EQ(files, (QStringList{u".hidden.mdf"_s, u"A.MDF"_s, u"a.mdf"_s, u"b.mdf"_s, u"c.Mdf"_s,
                                  u"sub.mdf"_s, u"数据.mdf"_s}));

    const Result relative =
        Attach({u"inspect"_s, u"--json"_s, u"./moved/../moved/Sales.mdf"_s}, base_);
    EXPECT_EQ(relative.status, 0) << relative.out.toStdString();
    EXPECT_EQ(relative.Objects().value(0)[u"file"_s].toString(), base_ + u"/moved/Sales.mdf"_s);
}

// Directories that give nothing to inspect are said so on standard error and are not "ready".
TEST_F(InspectTest, DirectoriesWithNothingToInspect) {
    const QString empty = base_ + u"/nothing"_s;
    ASSERT_TRUE(QDir().mkpath(empty));
    QFile(empty + u"/readme.txt"_s).open(QIODevice::WriteOnly);
    const Result none = Attach({u"inspect"_s, empty, RowNamed("moved").argument});
    EXPECT_EQ(none.status, 1);
    EXPECT_EQ(none.err, u"目录“"_s + empty + u"”中没有 *.mdf 文件。\n"_s);
    EXPECT_TRUE(none.out.contains(u"结论        可以附加"_s));  // the other argument still is

    if (::geteuid() == 0) {
        return;  // root lists any directory
    }
    const QString closed = base_ + u"/closed"_s;
    ASSERT_TRUE(QDir().mkpath(closed));
    ::chmod(QFile::encodeName(closed).constData(), 0);
    const Result denied = Attach({u"inspect"_s, closed});
    ::chmod(QFile::encodeName(closed).constData(), 0755);
    EXPECT_EQ(denied.status, 1);
    EXPECT_TRUE(denied.err.startsWith(u"无法读取目录“"_s + closed + u"”："_s))
        << denied.err.toStdString();
}

TEST_F(InspectTest, ProgramAnswersHelpVersionAndUsageErrors) {
    EXPECT_EQ(Attach({u"--version"_s}).out, u"quillane-attach 1.0.0\n"_s);
    const Result help = Attach({u"inspect"_s, u"--help"_s});
    EXPECT_EQ(help.status, 0);
    EXPECT_TRUE(help.out.contains(u"--json"_s));
    const Result nothing = Attach({});
    EXPECT_EQ(nothing.status, 2);
    EXPECT_EQ(nothing.out, QString());
    EXPECT_EQ(Attach({u"inspect"_s}).status, 2);
}

// The four real samples, each with a log made for it beside it under the name it records.
TEST_F(InspectTest, RealSamplesAreReadAsTheyRecord) {
    if (!fs::is_directory(kSamples)) {
        GTEST_SKIP() << "samples directory " << kSamples << " is absent";
    }
    struct Sample {
        const char* file;
        const char* log;
        int version;
        int createVersion;
        const char* release;
        QString databaseName;
    };
    const Sample samples[] = {
        {"pubs.mdf", "pubs_log.ldf", 655, 655, "SQL Server 2008", u"C:\\DBS\\PUBS.MDF"_s},
        {"aspnetdb.mdf", "aspnetdb_log.LDF", 611, 611, "SQL Server 2005",
         u"D:\\DESARROLLO\\KSI\\TRACTIS\\DEMO\\TRACTIS_DEMO\\APP_DATA\\ASPNETDB.MDF"_s},
        {"database1-2012.mdf", "Database1_log.ldf", 706, 706, "SQL Server 2012",
         u"C:\\USERS\\JAWAD\\DOCUMENTS\\VISUAL STUDIO 2012\\PROJECTS\\MVCAPPLICATION1\\"
         u"MVCAPPLICATION1\\APP_DATA\\DATABASE1.MDF"_s},
        {"database1-2014.mdf", "Database1_log.ldf", 904, 782, "SQL Server 2019",
         u"C:\\USERS\\ЯН\\DESKTOP\\WEBFORMS\\APP_DATA\\DATABASE1.MDF"_s},
    };
    for (const Sample& s : samples) {
        SCOPED_TRACE(s.file);
        const QString dir = base_ + u"/sample-"_s + QString::fromUtf8(s.file);
        ASSERT_TRUE(QDir().mkpath(dir));
        const fs::path copy = fs::path(dir.toStdString()) / s.file;
        fs::copy_file(kSamples / s.file, copy);
        mdf::WriteMatchingLogFile(copy, fs::path(dir.toStdString()) / s.log);

        const Result r = Attach({u"inspect"_s, u"--json"_s, dir});
        EXPECT_EQ(r.status, 0) << r.out.toStdString();
        const QJsonObject o = r.Objects().value(0);
        EXPECT_EQ(o[u"databaseName"_s].toString(), s.databaseName);
        EXPECT_EQ(o[u"version"_s].toInt(), s.version);
        EXPECT_EQ(o[u"createVersion"_s].toInt(), s.createVersion);
        EXPECT_EQ(o[u"release"_s].toString(), QString::fromUtf8(s.release));
        const QJsonArray files = o[u"files"_s].toArray();
        ASSERT_EQ(files.size(), 2);
        EXPECT_EQ(files[0][u"attachPath"_s].toString(), dir + u'/' + QString::fromUtf8(s.file));
        EXPECT_EQ(files[1][u"attachPath"_s].toString(), dir + u'/' + QString::fromUtf8(s.log));
        EXPECT_EQ(files[1][u"type"_s].toString(), u"log"_s);
        EXPECT_EQ(files[1][u"check"_s].toString(), u"found"_s);
    }
}

}  // namespace
