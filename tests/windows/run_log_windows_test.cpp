// The run log on Windows' own file calls: an append-only handle with full sharing lets readers
// and other writers be, every entry lands at the true end of the file, and the ways Windows
// refuses a write are reported.
#include "log/run_log.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <QDir>
#include <QTemporaryDir>

#include "log_reader.h"
#include "support/qt_printers.h"

using quillane::log::RunLog;
using namespace Qt::Literals::StringLiterals;

namespace {

const QLocale kChina(QLocale::Chinese, QLocale::China);
const QDateTime kNow(QDate(2026, 12, 10), QTime(13, 5, 9));

QByteArray Entry(const QString& msg) {
    const QString text = RunLog::EntryText(kNow, kChina, msg);
    return QByteArray(reinterpret_cast<const char*>(text.utf16()), text.size() * 2);
}

// A handle of another program on the day's file, closed with the test.
class OtherHandle {
  public:
    OtherHandle(const QString& path, DWORD access, DWORD share)
        : handle_(CreateFileW(reinterpret_cast<LPCWSTR>(QDir::toNativeSeparators(path).utf16()),
                              access, share, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                              nullptr)) {}
    ~OtherHandle() { Close(); }
    OtherHandle(const OtherHandle&) = delete;
    OtherHandle& operator=(const OtherHandle&) = delete;

    bool Valid() const { return handle_ != INVALID_HANDLE_VALUE; }
    void Close() {
        if (Valid()) {
            CloseHandle(handle_);
            handle_ = INVALID_HANDLE_VALUE;
        }
    }
    // Everything from where this handle stands to the end.
    QByteArray ReadOn() {
        QByteArray all;
        char buffer[4096];
        DWORD got = 0;
        while (ReadFile(handle_, buffer, sizeof(buffer), &got, nullptr) && got > 0) {
            all.append(buffer, static_cast<qsizetype>(got));
        }
        return all;
    }
    bool Write(const QByteArray& bytes) {
        DWORD written = 0;
        return WriteFile(handle_, bytes.constData(), static_cast<DWORD>(bytes.size()), &written,
                         nullptr) &&
               written == static_cast<DWORD>(bytes.size());
    }

  private:
    HANDLE handle_;
};

class RunLogWindowsTest : public testing::Test {
  protected:
    RunLog Log() {
        return RunLog(
            folder_.path(), [this](const QString& text) { shown_.append(text); },
            [] { return kNow; }, kChina);
    }
    QString DayFile() { return Log().FilePath(kNow.date()); }

    QTemporaryDir folder_;
    QStringList shown_;
};

// A log viewer keeps the file open while the tool writes: whatever it shares beyond reading, as
// long as it lets writers in, each entry reaches it.
TEST_F(RunLogWindowsTest, AReaderThatLetsWritersInSeesEveryEntry) {
    for (const DWORD share : {DWORD(FILE_SHARE_READ | FILE_SHARE_WRITE),
                              DWORD(FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE)}) {
        QTemporaryDir fresh;
        folder_.swap(fresh);
        RunLog log = Log();
        log.AddLog(u"one"_s);
        OtherHandle reader(DayFile(), GENERIC_READ, share);
        ASSERT_TRUE(reader.Valid());
        EXPECT_EQ(reader.ReadOn(), Entry(u"one"_s));

        log.AddLog(u"two"_s);
        log.AddLog(u"三"_s);

        EXPECT_EQ(reader.ReadOn(), Entry(u"two"_s) + Entry(u"三"_s)) << "share mode " << share;
        EXPECT_TRUE(shown_.isEmpty());
    }
}

// A program that opens the file and lets nobody write (FILE_SHARE_READ alone) keeps the entry
// out: that is reported, and the next entry goes in once it has let go.
TEST_F(RunLogWindowsTest, AReaderThatShutsWritersOutIsReportedAndLetGo) {
    RunLog log = Log();
    log.AddLog(u"one"_s);
    {
        OtherHandle reader(DayFile(), GENERIC_READ, FILE_SHARE_READ);
        ASSERT_TRUE(reader.Valid());
        log.AddLog(u"lost"_s);
        EXPECT_EQ(shown_, QStringList{u"写入日志失败！"_s});
    }
    log.AddLog(u"two"_s);
    EXPECT_EQ(testsupport::ReadBytes(DayFile()), Entry(u"one"_s) + Entry(u"two"_s));
    EXPECT_EQ(shown_.size(), 1);
}

// Another writer (a second instance of the tool) holding its own handle and writing between our
// entries: every entry is appended after whatever is there, none writes over another.
TEST_F(RunLogWindowsTest, AnotherWriterHoldingTheFileKeepsItsBytesAndOurs) {
    RunLog log = Log();
    log.AddLog(u"ours 1"_s);
    OtherHandle writer(DayFile(), FILE_APPEND_DATA,
                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE);
    ASSERT_TRUE(writer.Valid());
    ASSERT_TRUE(writer.Write(Entry(u"theirs 1"_s)));
    log.AddLog(u"ours 2"_s);
    ASSERT_TRUE(writer.Write(Entry(u"theirs 2"_s)));
    log.AddLog(u"ours 3"_s);
    writer.Close();

    EXPECT_EQ(testsupport::ReadBytes(DayFile()), Entry(u"ours 1"_s) + Entry(u"theirs 1"_s) +
                                                     Entry(u"ours 2"_s) + Entry(u"theirs 2"_s) +
                                                     Entry(u"ours 3"_s));
    EXPECT_TRUE(shown_.isEmpty());
}

// A day's file marked read-only (copied from a CD, or protected by hand) refuses the entry.
TEST_F(RunLogWindowsTest, AReadOnlyFileIsReportedAndLeftAsItWas) {
    RunLog log = Log();
    log.AddLog(u"one"_s);
    const QString native = QDir::toNativeSeparators(DayFile());
    const auto path = reinterpret_cast<LPCWSTR>(native.utf16());
    ASSERT_TRUE(SetFileAttributesW(path, FILE_ATTRIBUTE_READONLY));
    if (OtherHandle probe(DayFile(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE);
        probe.Valid()) {
        SetFileAttributesW(path, FILE_ATTRIBUTE_NORMAL);
        GTEST_SKIP() << "the read-only attribute keeps no writer out here (Wine run as root)";
    }

    log.AddLog(u"lost"_s);

    EXPECT_EQ(shown_, QStringList{u"写入日志失败！"_s});
    SetFileAttributesW(path, FILE_ATTRIBUTE_NORMAL);
    EXPECT_EQ(testsupport::ReadBytes(DayFile()), Entry(u"one"_s));
}

// The executable's directory in Windows' own form, with "\" and a drive letter, as a user's
// shortcut may start the program: the folder and the day's file are made there all the same.
TEST_F(RunLogWindowsTest, AFolderWrittenWithBackslashes) {
    const QString native = QDir::toNativeSeparators(folder_.path());
    ASSERT_TRUE(native.contains(u'\\'));
    RunLog log(
        native, [this](const QString& text) { shown_.append(text); }, [] { return kNow; }, kChina);
    log.AddLog(u"one"_s);

    EXPECT_EQ(testsupport::ReadBytes(folder_.path() + u"/Logs/2026-12-10.log"_s), Entry(u"one"_s));
    EXPECT_TRUE(shown_.isEmpty());
}

}  // namespace
