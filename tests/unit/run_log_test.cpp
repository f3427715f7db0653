#include "log/run_log.h"

#include <gtest/gtest.h>

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include "support/unprivileged.h"
#endif
#include "support/qt_printers.h"

#include <QDir>
#include <QTemporaryDir>
#include <atomic>
#include <latch>
#include <thread>

#include "log_reader.h"

using quillane::log::RunLog;
using namespace Qt::Literals::StringLiterals;

namespace {

const QLocale kChina(QLocale::Chinese, QLocale::China);

// Wine (8.0) appends by writing at the end of the file as it last saw it, so two handles
// appending at the same moment can write over each other's entry; Windows appends atomically.
// Races between writers are tested on Windows and Linux only.
bool UnderWine() {
#ifdef Q_OS_WIN
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
#else
    return false;
#endif
}

class RunLogTest : public testing::Test {
  protected:
    RunLog LogAt(const QString& folder) {
        return RunLog(
            folder, [this](const QString& text) { shown_.append(text); }, [this] { return now_; },
            kChina);
    }

    QByteArray Utf16Le(const QString& text) {
        QByteArray bytes;
        for (const QChar c : text) {
            bytes.append(char(c.unicode() & 0xff)).append(char(c.unicode() >> 8));
        }
        return bytes;
    }

    QTemporaryDir folder_;
    QDateTime now_{QDate(2026, 12, 10), QTime(13, 5, 9, 250)};
    QStringList shown_;
};

TEST_F(RunLogTest, WritesTheEntryAsUtf16LeWithoutAByteOrderMark) {
    RunLog log = LogAt(folder_.path());
    log.AddLog(u"附加数据库【db1】成功！"_s);

    const QString path = folder_.path() + u"/Logs/2026-12-10.log"_s;
    EXPECT_EQ(log.FilePath(now_.date()), path);
    EXPECT_EQ(testsupport::ReadBytes(path),
              Utf16Le(u"[2026/12/10 13:05:09] 附加数据库【db1】成功！\r\n"_s));
    EXPECT_TRUE(shown_.isEmpty());
}

TEST_F(RunLogTest, AppendsEntriesInOrderAndKeepsLineBreaksInsideOne) {
    RunLog log = LogAt(folder_.path());
    log.AddLog(u"first"_s);
    now_ = now_.addSecs(1);
    log.AddLog(u"检查数据库名出错！错误：boom\r\n Sql:DBCC x\r\n"_s);

    EXPECT_EQ(testsupport::FromUtf16Le(testsupport::ReadBytes(log.FilePath(now_.date()))),
              u"[2026/12/10 13:05:09] first\r\n"
              u"[2026/12/10 13:05:10] 检查数据库名出错！错误：boom\r\n Sql:DBCC x\r\n\r\n"_s);
}

TEST_F(RunLogTest, AtMidnightTheStampIsTheDateAloneAndANewDayGetsANewFile) {
    RunLog log = LogAt(folder_.path());
    now_ = QDateTime(QDate(2026, 12, 10), QTime(23, 59, 59, 999));
    log.AddLog(u"late"_s);
    now_ = QDateTime(QDate(2026, 12, 11), QTime(0, 0));
    log.AddLog(u"midnight"_s);
    now_ = QDateTime(QDate(2026, 12, 11), QTime(0, 0, 0, 1));
    log.AddLog(u"just after"_s);

    EXPECT_EQ(testsupport::FromUtf16Le(testsupport::ReadBytes(log.FilePath(QDate(2026, 12, 10)))),
              u"[2026/12/10 23:59:59] late\r\n"_s);
    EXPECT_EQ(testsupport::FromUtf16Le(testsupport::ReadBytes(log.FilePath(QDate(2026, 12, 11)))),
              u"[2026/12/11] midnight\r\n[2026/12/11 00:00:00] just after\r\n"_s);
}

TEST_F(RunLogTest, AFailureIsShownAndTheCallerGoesOn) {
    // Each case leaves the log unwritable in a way that does not depend on who runs the test
    // (root ignores permission bits).
    struct Case {
        const char* what;
        std::function<QString(const QString&)> prepare;  // returns the folder to log into
    };
    const Case cases[] = {
        {"folder_missing", [](const QString& base) { return base + u"/gone"_s; }},
        {"logs_is_a_file",
         [](const QString& base) {
             QFile file(base + u"/Logs"_s);
             EXPECT_TRUE(file.open(QIODevice::WriteOnly));
             return base;
         }},
        {"day_file_is_a_folder",
         [](const QString& base) {
             EXPECT_TRUE(QDir(base).mkpath(u"Logs/2026-12-10.log"_s));
             return base;
         }},
    };
    for (const Case& c : cases) {
        QTemporaryDir base;
        shown_.clear();
        RunLog log = LogAt(c.prepare(base.path()));
        log.AddLog(u"entry"_s);
        EXPECT_EQ(shown_, QStringList{u"写入日志失败！"_s}) << c.what;
    }
}

#ifndef Q_OS_WIN
// Windows' own ways of refusing a write are tested in run_log_windows_test.cpp.
TEST_F(RunLogTest, AReadOnlyFolderIsAFailure) {
    const QString logs = folder_.path() + u"/Logs"_s;
    ASSERT_TRUE(QDir(folder_.path()).mkdir(u"Logs"_s));
    const auto readAndEnter = QFile::ReadOwner | QFile::ExeOwner | QFile::ReadGroup |
                              QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther;
    ASSERT_TRUE(QFile::setPermissions(folder_.path(), readAndEnter));
    ASSERT_TRUE(QFile::setPermissions(logs, readAndEnter));
    auto logOnce = [&] {
        RunLog log = LogAt(folder_.path());
        log.AddLog(u"entry"_s);
        return shown_ == QStringList{u"写入日志失败！"_s};
    };
    const testsupport::Unprivileged result = testsupport::AsUnprivilegedUser(logOnce);
    if (result == testsupport::Unprivileged::CannotDrop) {
        GTEST_SKIP() << "running as root and cannot drop to uid 65534";
    }
    EXPECT_EQ(result, testsupport::Unprivileged::Held)
        << "a read-only Logs folder was not reported";
    EXPECT_FALSE(QFile::exists(logs + u"/2026-12-10.log"_s));
}

// A disk that fills up in the middle of an entry: the entry is reported lost and leaves nothing
// behind, so the next entry, once there is room again, starts on a line of its own. The full disk
// is a file size limit in a child process.
TEST_F(RunLogTest, AnEntryCutShortByAFullDiskLeavesNothingBehind) {
    RunLog log = LogAt(folder_.path());
    log.AddLog(u"first"_s);
    const QString path = log.FilePath(now_.date());
    const QByteArray before = testsupport::ReadBytes(path);
    ASSERT_FALSE(before.isEmpty());

    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // Room for a few more bytes only: the next write is cut short rather than refused.
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{static_cast<rlim_t>(before.size() + 10),
                           static_cast<rlim_t>(before.size() + 10)};
        if (setrlimit(RLIMIT_FSIZE, &limit) != 0) {
            _exit(2);
        }
        log.AddLog(u"this entry does not fit"_s);
        _exit(shown_ == QStringList{u"写入日志失败！"_s} ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    ASSERT_NE(WEXITSTATUS(status), 2) << "cannot limit the file size";
    EXPECT_EQ(WEXITSTATUS(status), 0) << "the cut-short entry was not reported";
    EXPECT_EQ(testsupport::ReadBytes(path), before);

    log.AddLog(u"second"_s);
    EXPECT_EQ(testsupport::FromUtf16Le(testsupport::ReadBytes(path)),
              u"[2026/12/10 13:05:09] first\r\n[2026/12/10 13:05:09] second\r\n"_s);
    EXPECT_TRUE(shown_.isEmpty());
}
#endif

// Nothing about the folder is remembered from one entry to the next: a Logs folder that somebody
// removes during a run is made again by the next entry, and one turned into a file is a failure.
TEST_F(RunLogTest, AFolderRemovedBetweenEntriesIsMadeAgain) {
    RunLog log = LogAt(folder_.path());
    log.AddLog(u"one"_s);
    const QString logs = folder_.path() + u"/Logs"_s;
    ASSERT_TRUE(QDir(logs).removeRecursively());

    log.AddLog(u"two"_s);
    EXPECT_EQ(testsupport::FromUtf16Le(testsupport::ReadBytes(log.FilePath(now_.date()))),
              u"[2026/12/10 13:05:09] two\r\n"_s);
    EXPECT_TRUE(shown_.isEmpty());

    ASSERT_TRUE(QDir(logs).removeRecursively());
    QFile blocker(logs);
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    log.AddLog(u"three"_s);
    EXPECT_EQ(shown_, QStringList{u"写入日志失败！"_s});
}

TEST_F(RunLogTest, AReaderHoldingTheFileOpenSeesNewEntries) {
    RunLog log = LogAt(folder_.path());
    log.AddLog(u"one"_s);
    QFile reader(log.FilePath(now_.date()));
    ASSERT_TRUE(reader.open(QIODevice::ReadOnly));
    const QByteArray before = reader.readAll();

    log.AddLog(u"two"_s);

    EXPECT_EQ(testsupport::FromUtf16Le(before + reader.readAll()),
              u"[2026/12/10 13:05:09] one\r\n[2026/12/10 13:05:09] two\r\n"_s);
    EXPECT_TRUE(shown_.isEmpty());
}

// Two instances that log the first entry of the day at the same moment both find "Logs" missing
// and both try to create it; the one that loses must still write its entry.
TEST_F(RunLogTest, WritersCreatingTheFolderAtOnceBothLog) {
    if (UnderWine()) {
        GTEST_SKIP() << "Wine does not append atomically";
    }
    for (int trial = 0; trial < 200; ++trial) {
        QTemporaryDir base;
        std::atomic<int> failures = 0;
        std::latch start(2);
        auto writer = [&](const QString& msg) {
            RunLog log(
                base.path(), [&](const QString&) { ++failures; }, [this] { return now_; }, kChina);
            start.arrive_and_wait();
            log.AddLog(msg);
        };
        std::thread a(writer, u"a"_s);
        std::thread b(writer, u"b"_s);
        a.join();
        b.join();
        ASSERT_EQ(failures, 0) << "trial " << trial;
        ASSERT_EQ(testsupport::ReadBytes(base.path() + u"/Logs/2026-12-10.log"_s).size(),
                  2 * Utf16Le(u"[2026/12/10 13:05:09] a\r\n"_s).size());
    }
}

TEST_F(RunLogTest, WritersLoggingAtOnceNeverInterleaveInsideAnEntry) {
    if (UnderWine()) {
        GTEST_SKIP() << "Wine does not append atomically";
    }
    // Two logs on one file, as two instances of the tool would be.
    constexpr int kEntries = 400;
    const QString longMessage(300, u'名');
    auto writer = [&](QChar tag) {
        RunLog log = LogAt(folder_.path());
        for (int i = 0; i < kEntries; ++i) {
            log.AddLog(QString(tag) + longMessage);
        }
    };
    std::thread a(writer, u'A');
    std::thread b(writer, u'B');
    a.join();
    b.join();

    const QStringList entries = testsupport::LogMessages(folder_.path() + u"/Logs/2026-12-10.log"_s,
                                                         u"2026/12/10 13:05:09"_s);
    ASSERT_EQ(entries.size(), 2 * kEntries);
    for (const QString& entry : entries) {
        ASSERT_TRUE(entry == u'A' + longMessage || entry == u'B' + longMessage) << "torn entry";
    }
}

}  // namespace
