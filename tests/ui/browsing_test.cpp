#include "ui/browsing.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <stdexcept>

#include "ui_test_support.h"

using quillane::ui::Ancestors;
using quillane::ui::DirectoryText;
using quillane::ui::ListMaskedFiles;
using quillane::ui::ListSubdirectories;
using quillane::ui::MergeNames;
using quillane::ui::VolumeRootOf;

namespace {

void Touch(const QDir& dir, const QString& name) {
    QFile file(dir.filePath(name));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << name.toStdString();
}

class ListingTest : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(temp_.isValid());
        dir_ = QDir(temp_.path());
        for (const char* name : {"b.mdf", "NORTHWND.MDF", "a.Mdf", "x.ldf", ".hidden.mdf",
                                 "c.mdf.bak", "Zed.mdf", "mdf", "数据.mdf"}) {
            Touch(dir_, QString::fromUtf8(name));
        }
        // Directories are never files, whatever their names say.
        for (const char* name : {"dir.mdf", "Sub", "alpha", ".cache"}) {
            ASSERT_TRUE(dir_.mkdir(QString::fromUtf8(name)));
        }
    }

    QTemporaryDir temp_;
    QDir dir_;
};

TEST_F(ListingTest, FilesMatchTheMaskWithoutRegardToCaseAndSortSo) {
    EXPECT_EQ(ListMaskedFiles(dir_.path()),
              (QStringList{"a.Mdf", "b.mdf", "NORTHWND.MDF", "Zed.mdf", "数据.mdf"}));
}

TEST_F(ListingTest, SubdirectoriesAreVisibleDirectoriesOnlySortedWithoutRegardToCase) {
    EXPECT_EQ(ListSubdirectories(dir_.path()), (QStringList{"alpha", "dir.mdf", "Sub"}));
}

#ifndef Q_OS_WIN
// A link counts as what it points to; one that points nowhere is neither a file nor a directory.
TEST_F(ListingTest, LinksCountAsWhatTheyPointTo) {
    ASSERT_TRUE(QFile::link(dir_.filePath(QStringLiteral("b.mdf")), dir_.filePath("link.mdf")));
    ASSERT_TRUE(QFile::link(dir_.filePath(QStringLiteral("Sub")), dir_.filePath("linked")));
    ASSERT_TRUE(QFile::link(dir_.filePath(QStringLiteral("gone.mdf")), dir_.filePath("dead.mdf")));
    ASSERT_TRUE(QFile::link(dir_.filePath(QStringLiteral("Sub")), dir_.filePath("sub.mdf")));
    const quillane::ui::DirectoryListing listing = quillane::ui::ListDirectory(dir_.path());
    EXPECT_EQ(listing.files,
              (QStringList{"a.Mdf", "b.mdf", "link.mdf", "NORTHWND.MDF", "Zed.mdf", "数据.mdf"}));
    EXPECT_EQ(listing.subdirectories,
              (QStringList{"alpha", "dir.mdf", "linked", "Sub", "sub.mdf"}));
}
#endif

TEST_F(ListingTest, ADirectoryThatCannotBeReadRaisesAnErrorNamingIt) {
    const QString missing = dir_.filePath(QStringLiteral("gone"));
    const QString notADirectory = dir_.filePath(QStringLiteral("x.ldf"));
    for (const QString& path : {missing, notADirectory}) {
        try {
            ListMaskedFiles(path);
            ADD_FAILURE() << "no error for " << path.toStdString();
        } catch (const std::runtime_error& error) {
            EXPECT_TRUE(QString::fromUtf8(error.what()).contains(QDir::toNativeSeparators(path)))
                << error.what();
        }
        EXPECT_THROW(ListSubdirectories(path), std::runtime_error);
    }
}

// The rule "添加" follows, one name at a time: each goes after every entry that sorts before it or
// equal to it without regard to case.
QStringList InsertedOneByOne(QStringList items, const QStringList& added) {
    for (const QString& name : added) {
        qsizetype at = 0;
        while (at < items.size() && QString::compare(items[at], name, Qt::CaseInsensitive) <= 0) {
            ++at;
        }
        items.insert(at, name);
    }
    return items;
}

TEST(MergeNamesTest, NamesGoToTheirSortedPlaceAndTwinsStandTogether) {
    const QStringList items{"a.mdf", "C.mdf", "c.MDF", "d.mdf"};
    const struct {
        QStringList added;
        QStringList merged;
    } cases[] = {
        {{}, {"a.mdf", "C.mdf", "c.MDF", "d.mdf"}},
        {{"0.mdf"}, {"0.mdf", "a.mdf", "C.mdf", "c.MDF", "d.mdf"}},
        {{"A.MDF"}, {"a.mdf", "A.MDF", "C.mdf", "c.MDF", "d.mdf"}},
        {{"b.mdf"}, {"a.mdf", "b.mdf", "C.mdf", "c.MDF", "d.mdf"}},
        {{"数据.mdf"}, {"a.mdf", "C.mdf", "c.MDF", "d.mdf", "数据.mdf"}},
        // Several at once, twins of each other and of entries: the earlier first.
        {{"A.MDF", "a.mdf", "c.mdf", "e.mdf"},
         {"a.mdf", "A.MDF", "a.mdf", "C.mdf", "c.MDF", "c.mdf", "d.mdf", "e.mdf"}},
    };
    for (const auto& c : cases) {
        QList<qsizetype> rows;
        EXPECT_EQ(MergeNames(items, c.added, &rows), c.merged) << c.added.join(u' ').toStdString();
        ASSERT_EQ(rows.size(), items.size());
        for (qsizetype i = 0; i < items.size(); ++i) {
            EXPECT_EQ(c.merged.value(rows[i]), items[i]) << i;
        }
    }
    EXPECT_EQ(MergeNames({}, {"b.mdf", "a.mdf"}), (QStringList{"a.mdf", "b.mdf"}));
}

TEST(MergeNamesTest, AllAtOnceEndsAsOneAtATime) {
    // Letter case, names that fold alike in other scripts, a name beyond the BMP.
    const QStringList pool{"Sales.mdf", "SALES.MDF",  "sales.mdf", "_x.mdf",     "[x].mdf",
                           "K.mdf",     "\u212A.mdf", "k.mdf",     "Straße.mdf", "STRASSE.mdf",
                           "σ.mdf",     "ς.mdf",      "Σ.mdf",     "𐐀.mdf",      "𐐨.mdf",
                           "é.mdf",     "E.mdf",      "库存.mdf"};
    QStringList items = pool.mid(0, 9);
    quillane::ui::SortNames(items);
    QStringList added = pool;
    quillane::ui::SortNames(added);
    EXPECT_EQ(MergeNames(items, added), InsertedOneByOne(items, added));
    const QStringList twice = added + added;
    EXPECT_EQ(MergeNames(items, twice), InsertedOneByOne(items, twice));
}

#ifndef Q_OS_WIN
TEST(VolumeRootOfTest, TheLongestRootHoldingTheDirectoryIsItsDrive) {
    const QStringList roots{"/", "/work", "/work2", "/media/usb"};
    const struct {
        const char* directory;
        const char* root;
    } cases[] = {
        {"/", "/"},
        {"/tmp", "/"},
        {"/work", "/work"},
        {"/work/a/b", "/work"},
        {"/work2", "/work2"},
        {"/workshop", "/"},
        {"/media/usb/x", "/media/usb"},
        {"/media", "/"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(VolumeRootOf(QString::fromUtf8(c.directory), roots), QString::fromUtf8(c.root))
            << c.directory;
    }
    EXPECT_EQ(VolumeRootOf(QStringLiteral("/tmp"), {"/work"}), QString());
}

TEST(DirectoryTextTest, NoTrailingSeparatorExceptAtTheRootAndAncestorsFromTheRootDown) {
    EXPECT_EQ(DirectoryText(QStringLiteral("/a/b/")), QStringLiteral("/a/b"));
    EXPECT_EQ(DirectoryText(QStringLiteral("/a//b/../c")), QStringLiteral("/a/c"));
    EXPECT_EQ(DirectoryText(QStringLiteral("/")), QStringLiteral("/"));
    EXPECT_EQ(Ancestors(QStringLiteral("/a/b/")), (QStringList{"/", "/a", "/a/b"}));
    EXPECT_EQ(Ancestors(QStringLiteral("/")), (QStringList{"/"}));
}
#endif

}  // namespace
