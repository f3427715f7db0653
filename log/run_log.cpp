#include "log/run_log.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QtEndian>
#include <vector>

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

namespace quillane::log {
namespace {

// The locale's long time format without its time-zone field. Windows' long time format has no
// zone; Qt's CLDR formats on other systems add one ("t"), which a local log line does not want.
QString LongTimeFormat(const QLocale& locale) {
    const QString format = locale.timeFormat(QLocale::LongFormat);
    QString kept;
    bool quoted = false;
    for (const QChar c : format) {
        if (c == u'\'') {
            quoted = !quoted;
        }
        if (!quoted && c == u't') {
            continue;
        }
        kept += c;
    }
    return kept.trimmed();
}

// Appends the whole entry with one write in append mode, so that entries of processes logging
// to the same file at once never interleave. Returns false on any failure.
bool AppendToFile(const QString& path, const QByteArray& bytes) {
#ifdef Q_OS_WIN
    const HANDLE file = CreateFileW(reinterpret_cast<LPCWSTR>(path.utf16()), FILE_APPEND_DATA,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    DWORD written = 0;
    const bool wrote =
        WriteFile(file, bytes.constData(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
        written == static_cast<DWORD>(bytes.size());
    const bool closed = CloseHandle(file);
    return wrote && closed;
#else
    const QByteArray name = QFile::encodeName(path);
    const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0666);
    if (fd < 0) {
        return false;
    }
    const ssize_t written = ::write(fd, bytes.constData(), static_cast<size_t>(bytes.size()));
    const bool closed = ::close(fd) == 0;
    return written == static_cast<ssize_t>(bytes.size()) && closed;
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
      locale_(std::move(locale)) {}

QString RunLog::EntryText(const QDateTime& moment, const QLocale& locale, const QString& msg) {
    QString stamp = locale.toString(moment.date(), QLocale::ShortFormat);
    if (moment.time() != QTime(0, 0)) {
        stamp += u' ';
        stamp += locale.toString(moment.time(), LongTimeFormat(locale));
    }
    return u'[' + stamp + QStringLiteral("] ") + msg + QStringLiteral("\r\n");
}

QString RunLog::FilePath(const QDate& date) const {
    return folder_ + QStringLiteral("/Logs/") + date.toString(QStringLiteral("yyyy-MM-dd")) +
           QStringLiteral(".log");
}

void RunLog::AddLog(const QString& msg) {
    const QDateTime now = clock_();
    const QDir folder(folder_);
    // Another instance may create the folder between the look and the attempt: what counts is
    // that it exists afterwards, whoever made it.
    const bool ready = folder.mkdir(QStringLiteral("Logs")) ||
                       QFileInfo(folder.filePath(QStringLiteral("Logs"))).isDir();
    if (!ready || !AppendToFile(FilePath(now.date()), Utf16Le(EntryText(now, locale_, msg)))) {
        showMessage_(QStringLiteral("写入日志失败！"));
    }
}

}  // namespace quillane::log
