#include <gtest/gtest.h>

#include "support/qt_printers.h"

#include "engine/paths.h"

using namespace quillane::engine;
using namespace Qt::Literals::StringLiterals;

namespace {

TEST(GetFilePath, RelocatesTheLogBesideTheDataFile) {
    struct Case {
        QString dbName, logName, expected;
    };
    const Case cases[] = {
        {u"D:\\restore\\db1.mdf"_s, u"E:\\old\\db1_log.ldf"_s, u"D:\\restore\\db1_log.ldf"_s},
        // A Windows path recorded in the file still relocates under a Linux directory.
        {u"/srv/restore/db1.mdf"_s, u"E:\\old\\db1_log.ldf"_s, u"/srv/restore/db1_log.ldf"_s},
        {u"/srv/restore/db1.mdf"_s, u"/var/old/db1_log.ldf"_s, u"/srv/restore/db1_log.ldf"_s},
        // A drive-relative name ends its directory at the colon.
        {u"D:\\restore\\db1.mdf"_s, u"E:db1_log.ldf"_s, u"D:\\restore\\db1_log.ldf"_s},
        {u"D:db1.mdf"_s, u"E:\\old\\db1_log.ldf"_s, u"D:db1_log.ldf"_s},
        // At a root the entry path holds a doubled separator, which is kept.
        {u"D:\\\\db1.mdf"_s, u"E:\\old\\db1_log.ldf"_s, u"D:\\\\db1_log.ldf"_s},
        {u"//db1.mdf"_s, u"C:\\db1_log.ldf"_s, u"//db1_log.ldf"_s},
        // A log name without any directory, or no log name yet.
        {u"/srv/db1.mdf"_s, u"db1_log.ldf"_s, u"/srv/db1_log.ldf"_s},
        {u"/srv/db1.mdf"_s, QString(), u"/srv/"_s},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(GetFilePath(c.dbName, c.logName), c.expected) << c.dbName.toStdString();
    }
}

TEST(EntryPath, JoinsTheDirectoryAndTheNameWithOneMoreSeparator) {
    const QString sep = PathSeparator();
    struct Case {
        QString directory, entry, expected;
    };
    const Case cases[] = {
        {u"/srv/restore"_s, u"db1.mdf"_s, u"/srv/restore"_s + sep + u"db1.mdf"_s},
        // The separator is added even where the directory already ends with one.
        {u"/"_s, u"db1.mdf"_s, u"/"_s + sep + u"db1.mdf"_s},
        {u"D:\\"_s, u"db1.mdf"_s, u"D:\\"_s + sep + u"db1.mdf"_s},
        // Any directory part of the entry's text is dropped.
        {u"/srv"_s, u"C:\\old\\db1.mdf"_s, u"/srv"_s + sep + u"db1.mdf"_s},
        {u"/srv"_s, u"sub/db1.mdf"_s, u"/srv"_s + sep + u"db1.mdf"_s},
        {u"/srv"_s, u"C:db1.mdf"_s, u"/srv"_s + sep + u"db1.mdf"_s},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(EntryPath(c.directory, c.entry), c.expected) << c.entry.toStdString();
    }
}

TEST(Trim, RemovesBlanksAndControlCharactersOnly) {
    EXPECT_EQ(Trim(u" \t\r\n db1 \x1f\x01"_s), u"db1"_s);
    EXPECT_EQ(Trim(u"a b"_s), u"a b"_s);
    EXPECT_EQ(Trim(u"\x3000名\x3000"_s), u"\x3000名\x3000"_s);  // an ideographic blank is text
    EXPECT_EQ(Trim(u"   "_s), QString());
}

}  // namespace
