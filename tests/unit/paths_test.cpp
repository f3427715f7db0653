#include <gtest/gtest.h>

#include "support/qt_printers.h"

#include "engine/paths.h"

using namespace quillane::engine;
using namespace Qt::Literals::StringLiterals;

namespace {

// The entry path and the relocated log path, in one table: a local name ends its directory at this
// platform's separators only, a recorded (server) path at the separators of the server's platform.
TEST(Paths, LocalNamesAndRecordedPathsEachKeepTheirOwnSeparators) {
    const QString sep = PathSeparator();
    struct Case {
        const char* what;
        QString directory, entry;  // the entry path is formed from these
        QString recordedLog;
        QString entryPath, relocatedLog;
    };
    const Case cases[] = {
        {"worked example: a Windows log path relocates beside the data file", u"/srv/restore"_s,
         u"db1.mdf"_s, u"E:\\old\\db1_log.ldf"_s, u"/srv/restore"_s + sep + u"db1.mdf"_s,
         u"/srv/restore"_s + sep + u"db1_log.ldf"_s},
        {"a server on Linux", u"/srv"_s, u"db1.mdf"_s, u"/var/opt/mssql/data/db1_log.ldf"_s,
         u"/srv"_s + sep + u"db1.mdf"_s, u"/srv"_s + sep + u"db1_log.ldf"_s},
        {"a colon in a Linux server's file name is part of the name", u"/srv"_s, u"db1.mdf"_s,
         u"/var/opt/mssql/data/a:b_log.ldf"_s, u"/srv"_s + sep + u"db1.mdf"_s,
         u"/srv"_s + sep + u"a:b_log.ldf"_s},
        {"a drive-relative Windows name ends at the colon", u"/srv"_s, u"db1.mdf"_s,
         u"E:db1_log.ldf"_s, u"/srv"_s + sep + u"db1.mdf"_s, u"/srv"_s + sep + u"db1_log.ldf"_s},
        {"a UNC path", u"/srv"_s, u"db1.mdf"_s, u"\\\\fs\\share\\db1_log.ldf"_s,
         u"/srv"_s + sep + u"db1.mdf"_s, u"/srv"_s + sep + u"db1_log.ldf"_s},
        {"forward slashes after a drive letter", u"/srv"_s, u"db1.mdf"_s, u"C:/data/db1_log.ldf"_s,
         u"/srv"_s + sep + u"db1.mdf"_s, u"/srv"_s + sep + u"db1_log.ldf"_s},
        {"a backslash makes a recorded path a Windows one", u"/srv"_s, u"db1.mdf"_s,
         u"data\\db1_log.ldf"_s, u"/srv"_s + sep + u"db1.mdf"_s,
         u"/srv"_s + sep + u"db1_log.ldf"_s},
        {"a bare log name, or none yet", u"/srv"_s, u"db1.mdf"_s, QString(),
         u"/srv"_s + sep + u"db1.mdf"_s, u"/srv"_s + sep},
        {"at a root the separator is doubled, and kept", u"/"_s, u"db1.mdf"_s, u"C:\\db1_log.ldf"_s,
         u"/"_s + sep + u"db1.mdf"_s, u"/"_s + sep + u"db1_log.ldf"_s},
        {"a directory part typed into the entry is dropped", u"/srv"_s, u"sub/db1.mdf"_s,
         u"db1_log.ldf"_s, u"/srv"_s + sep + u"db1.mdf"_s, u"/srv"_s + sep + u"db1_log.ldf"_s},
#ifdef Q_OS_WIN
        {"Windows: \\ and : end a local directory too", u"D:\\restore"_s, u"C:\\old\\db1.mdf"_s,
         u"E:\\old\\db1_log.ldf"_s, u"D:\\restore\\db1.mdf"_s, u"D:\\restore\\db1_log.ldf"_s},
        {"Windows: a drive-relative entry", u"D:\\restore"_s, u"C:db1.mdf"_s, u"E:db1_log.ldf"_s,
         u"D:\\restore\\db1.mdf"_s, u"D:\\restore\\db1_log.ldf"_s},
        {"Windows: at a drive root the separator is doubled, and kept", u"C:\\"_s, u"db1.mdf"_s,
         u"E:\\old\\db1_log.ldf"_s, u"C:\\\\db1.mdf"_s, u"C:\\\\db1_log.ldf"_s},
#else
        {"Linux: a colon is part of a file name", u"/srv"_s, u"prod:sales.mdf"_s,
         u"E:\\old\\prod_log.ldf"_s, u"/srv/prod:sales.mdf"_s, u"/srv/prod_log.ldf"_s},
        {"Linux: so is a backslash", u"/srv"_s, u"C:\\old\\db1.mdf"_s, u"E:\\old\\db1_log.ldf"_s,
         u"/srv/C:\\old\\db1.mdf"_s, u"/srv/db1_log.ldf"_s},
#endif
    };
    for (const Case& c : cases) {
        const QString entryPath = EntryPath(c.directory, c.entry);
        EXPECT_EQ(entryPath, c.entryPath) << c.what;
        EXPECT_EQ(GetFilePath(entryPath, c.recordedLog), c.relocatedLog) << c.what;
    }
}

TEST(Trim, RemovesBlanksAndControlCharactersOnly) {
    EXPECT_EQ(Trim(u" \t\r\n db1 \x1f\x01"_s), u"db1"_s);
    EXPECT_EQ(Trim(u"a b"_s), u"a b"_s);
    EXPECT_EQ(Trim(u"\x3000名\x3000"_s), u"\x3000名\x3000"_s);  // an ideographic blank is text
    EXPECT_EQ(Trim(u"   "_s), QString());
}

}  // namespace
