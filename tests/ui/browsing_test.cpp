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
using quillane::ui::SortedInsertPosition;
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

TEST(SortedInsertPositionTest, NamesGoToTheirSortedPlaceAndTwinsStandTogether) {
    const QStringList items{"a.mdf", "C.mdf", "c.MDF", "d.mdf"};
    const struct {
        const char* name;
        qsizetype at;
    } cases[] = {
        {"0.mdf", 0}, {"a.mdf", 1}, {"A.MDF", 1}, {"b.mdf", 1},
        {"c.mdf", 3}, {"d.mdf", 4}, {"e.mdf", 4}, {"数据.mdf", 4},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(SortedInsertPosition(items, QString::fromUtf8(c.name)), c.at) << c.name;
    }
    EXPECT_EQ(SortedInsertPosition({}, QStringLiteral("a.mdf")), 0);
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
