#include "log/log_folder.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <functional>

#include "log/run_log.h"
#include "support/qt_printers.h"
#include "support/unprivileged.h"

using quillane::log::LogFolderFacts;
using quillane::log::RunLogFolder;
using quillane::log::RunLogFolderAtStartUp;
using quillane::log::StateHome;
using namespace Qt::Literals::StringLiterals;

namespace {

TEST(RunLogFolderTest, BesideAWritableExecutableElseInTheStateDirectory) {
    const struct {
        const char* what;
        LogFolderFacts facts;
        QString folder;
    } cases[] = {
        {"build tree",
         {u"/home/dba/quillane/build/ui"_s, true, false, u"/home/dba/.local/state"_s},
         u"/home/dba/quillane/build/ui"_s},
        {"portable copy on a share",
         {u"/mnt/tools/quillane"_s, true, false, u"/s"_s},
         u"/mnt/tools/quillane"_s},
        {"installed, ordinary user",
         {u"/usr/bin"_s, false, true, u"/home/dba/.local/state"_s},
         u"/home/dba/.local/state/quillane"_s},
        {"installed, root can write there",
         {u"/usr/bin"_s, true, true, u"/root/.local/state"_s},
         u"/root/.local/state/quillane"_s},
        {"read-only copy elsewhere",
         {u"/media/cdrom"_s, false, false, u"/srv/state/"_s},
         u"/srv/state/quillane"_s},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(RunLogFolder(c.facts), c.folder) << c.what;
    }
}

TEST(StateHomeTest, XdgStateHomeWhenAbsoluteElseDotLocalState) {
    const struct {
        QString xdgStateHome;
        QString home;
        QString stateHome;
    } cases[] = {
        {u""_s, u"/home/dba"_s, u"/home/dba/.local/state"_s},  // unset reads as empty
        {u"/var/tmp/state"_s, u"/home/dba"_s, u"/var/tmp/state"_s},
        {u"/var/tmp/state/"_s, u"/home/dba"_s, u"/var/tmp/state"_s},
        {u"state"_s, u"/home/dba"_s, u"/home/dba/.local/state"_s},  // relative: ignored
        {u"./state"_s, u"/home/dba/"_s, u"/home/dba/.local/state"_s},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(StateHome(c.xdgStateHome, c.home), c.stateHome) << c.xdgStateHome.toStdString();
    }
}

// The start-up decision on a real disk, with the state directory in a scratch folder.
class LogFolderAtStartUpTest : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(scratch_.isValid());
        stateHome_ = scratch_.filePath(u"state"_s);
        previous_ = qgetenv("XDG_STATE_HOME");
        hadPrevious_ = qEnvironmentVariableIsSet("XDG_STATE_HOME");
        qputenv("XDG_STATE_HOME", QFile::encodeName(stateHome_));
    }
    void TearDown() override {
        if (hadPrevious_) {
            qputenv("XDG_STATE_HOME", previous_);
        } else {
            qunsetenv("XDG_STATE_HOME");
        }
    }

    QTemporaryDir scratch_;
    QString stateHome_;
    QByteArray previous_;
    bool hadPrevious_ = false;
};

TEST_F(LogFolderAtStartUpTest, AWritableDirectoryKeepsTheLogBesideItAndLeavesNoTrace) {
    const QString exeDir = scratch_.filePath(u"bin"_s);
    ASSERT_TRUE(QDir().mkpath(exeDir));

    EXPECT_EQ(RunLogFolderAtStartUp(exeDir), exeDir);
    EXPECT_TRUE(QDir(exeDir).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot));
    EXPECT_FALSE(QFile::exists(stateHome_));
}

TEST_F(LogFolderAtStartUpTest, AReadOnlyDirectorySendsTheFirstEntryToTheStateDirectory) {
    const QString exeDir = scratch_.filePath(u"bin"_s);
    ASSERT_TRUE(QDir().mkpath(exeDir));
    const auto readAndEnter = QFile::ReadOwner | QFile::ExeOwner | QFile::ReadGroup |
                              QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther;
    ASSERT_TRUE(QFile::setPermissions(exeDir, readAndEnter));
    // Nothing of the state directory exists yet; whoever runs below must be able to make it.
    ASSERT_TRUE(QFile::setPermissions(
        scratch_.path(), readAndEnter | QFile::WriteOwner | QFile::WriteGroup | QFile::WriteOther));
    const QString expected = stateHome_ + u"/quillane"_s;
    const QDateTime now(QDate(2026, 12, 10), QTime(9, 30));

    auto startAndLog = [&] {
        const QString folder = RunLogFolderAtStartUp(exeDir);
        QStringList shown;
        quillane::log::RunLog log(
            folder, [&](const QString& text) { shown.append(text); }, [&] { return now; });
        log.AddLog(u"first entry"_s);
        return folder == expected && shown.isEmpty() &&
               QFile::exists(expected + u"/Logs/2026-12-10.log"_s);
    };
    const testsupport::Unprivileged result = testsupport::AsUnprivilegedUser(startAndLog);
    if (result == testsupport::Unprivileged::CannotDrop) {
        GTEST_SKIP() << "running as root and cannot drop to uid 65534";
    }
    EXPECT_EQ(result, testsupport::Unprivileged::Held)
        << "the first entry did not reach " << expected.toStdString();
    EXPECT_TRUE(QDir(exeDir).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot));
}

}  // namespace
