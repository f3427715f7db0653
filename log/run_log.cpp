#include "log/run_log.h"

#include <cerrno>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QtEndian>
#include <vector>

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace quillane::log {
namespace {

#ifdef Q_OS_WIN
// After a short write of `part` (the start of an entry) to the end of the file at `path`: when the
// file still ends with exactly that part, nothing was appended after it, and the file is cut back
// to where the entry began. An append-only handle cannot change the file's length, so this takes
// a handle of its own.
void CutPartialEntry(const QString& path, const QByteArray& part) {
    const HANDLE file =
        CreateFileW(reinterpret_cast<LPCWSTR>(path.utf16()), GENERIC_READ | GENERIC_WRITE,
                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return;
    }
    LARGE_INTEGER size{};
    if (GetFileSizeEx(file, &size) && size.QuadPart >= part.size()) {
        LARGE_INTEGER begin{};
        begin.QuadPart = size.QuadPart - part.size();
        QByteArray tail(part.size(), Qt::Uninitialized);
        DWORD read = 0;
        if (SetFilePointerEx(file, begin, nullptr, FILE_BEGIN) &&
            ReadFile(file, tail.data(), static_cast<DWORD>(tail.size()), &read, nullptr) &&
            read == static_cast<DWORD>(tail.size()) && tail == part &&
            SetFilePointerEx(file, begin, nullptr, FILE_BEGIN)) {
            SetEndOfFile(file);
        }
    }
    CloseHandle(file);
}
#endif

enum class Appended { Yes, NoFolder, Failed };

// Appends the whole entry with one write in append mode, so that entries of processes logging
// to the same file at once never interleave. An entry is written whole or not at all: after a
// short write (a full disk, a size limit) the part that did get in is cut off again, as long as
// nothing was appended after it, so that the next entry does not start in the middle of a line.
// NoFolder when the file could not be made because its folder is missing.
Appended AppendToFile(const QString& path, const QByteArray& nativePath, const QByteArray& bytes) {
#ifdef Q_OS_WIN
    Q_UNUSED(nativePath);
    // Every write of an append-only handle goes to the end of the file as it is at that moment,
    // whoever else has it open for writing; full sharing lets readers and other writers be.
    const QString native = QDir::toNativeSeparators(path);
    const HANDLE file = CreateFileW(reinterpret_cast<LPCWSTR>(native.utf16()), FILE_APPEND_DATA,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return GetLastError() == ERROR_PATH_NOT_FOUND ? Appended::NoFolder : Appended::Failed;
    }
    DWORD written = 0;
    const bool wrote =
        WriteFile(file, bytes.constData(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
        written == static_cast<DWORD>(bytes.size());
    const bool closed = CloseHandle(file);
    if (!wrote && written > 0) {
        CutPartialEntry(native, bytes.first(written));
    }
    return wrote && closed ? Appended::Yes : Appended::Failed;
#else
    Q_UNUSED(path);
    const int fd = ::open(nativePath.constData(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0666);
    if (fd < 0) {
        return errno == ENOENT ? Appended::NoFolder : Appended::Failed;
    }
    const ssize_t written = ::write(fd, bytes.constData(), static_cast<size_t>(bytes.size()));
    const bool wrote = written == static_cast<ssize_t>(bytes.size());
    if (!wrote && written > 0) {
        // In append mode the write ended where the file position now stands.
        const off_t end = ::lseek(fd, 0, SEEK_CUR);
        struct stat info {};
        if (end >= written && ::fstat(fd, &info) == 0 && info.st_size == end) {
            (void)!::ftruncate(fd, end - written);
        }
    }
    const bool closed = ::close(fd) == 0;
    return wrote && closed ? Appended::Yes : Appended::Failed;
#endif
}

QByteArray Utf16Le(const QString& text) {
    QByteArray bytes(text.size() * 2, Qt::Uninitialized);
    qToLittleEndian<char16_t>(text.utf16(), text.size(), bytes.data());
    return bytes;
}

}  // namespace

RunLog::RunLog(QString folder, MessageSink showMessage, Clock clock, QLocale locale)
    : folder_(std::move(folder)),
      showMessage_(std::move(showMessage)),
      clock_(std::move(clock)),
      locale_(std::move(locale)),
      format_(locale_) {}

QString RunLog::EntryText(const QDateTime& moment, const QLocale& locale, const QString& msg) {
    return EntryFormat(locale).Entry(moment, msg);
}

QString RunLog::FilePath(const QDate& date) const {
    return folder_ + QStringLiteral("/Logs/") + date.toString(QStringLiteral("yyyy-MM-dd")) +
           QStringLiteral(".log");
}

bool RunLog::Append(const QDate& day, const QByteArray& bytes) {
    if (day != day_) {
        day_ = day;
        dayFile_ = FilePath(day_);
        dayFileNative_ = QFile::encodeName(dayFile_);
    }
    // The folder is made when the first entry finds it missing. Another instance may create it
    // between the look and the attempt: what counts is that it exists afterwards, whoever made it.
    Appended appended = AppendToFile(dayFile_, dayFileNative_, bytes);
    if (appended == Appended::NoFolder) {
        const QDir folder(folder_);
        if (folder.mkdir(QStringLiteral("Logs")) ||
            QFileInfo(folder.filePath(QStringLiteral("Logs"))).isDir()) {
            appended = AppendToFile(dayFile_, dayFileNative_, bytes);
        }
    }
    return appended == Appended::Yes;
}

void RunLog::AddLog(const QString& msg) {
    const QDateTime now = clock_();
    if (!Append(now.date(), Utf16Le(format_.Entry(now, msg)))) {
        showMessage_(QStringLiteral("写入日志失败！"));
    }
}

void RunLog::AddLines(const QList<Line>& lines) {
    bool ok = true;
    for (qsizetype first = 0; ok && first < lines.size();) {
        const QDate day = lines[first].moment.date();
        QString text;
        qsizetype next = first;
        for (; next < lines.size() && lines[next].moment.date() == day; ++next) {
            text += format_.Entry(lines[next].moment, lines[next].msg);
        }
        ok = Append(day, Utf16Le(text));
        first = next;
    }
    if (!ok) {
        showMessage_(QStringLiteral("写入日志失败！"));
    }
}

}  // namespace quillane::log
