#include "engine/paths.h"

namespace quillane::engine {
namespace {

bool IsWindowsSeparator(QChar c) {
    return c == u'\\' || c == u'/' || c == u':';
}

bool IsSlash(QChar c) {
    return c == u'/';
}

bool IsLocalSeparator(QChar c) {
#ifdef Q_OS_WIN
    return IsWindowsSeparator(c);
#else
    return IsSlash(c);
#endif
}

qsizetype LastOf(const QString& path, bool (*isSeparator)(QChar)) {
    for (qsizetype i = path.size() - 1; i >= 0; --i) {
        if (isSeparator(path[i])) {
            return i;
        }
    }
    return -1;
}

}  // namespace

QString Trim(const QString& text) {
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text[begin].unicode() <= 32) {
        ++begin;
    }
    while (end > begin && text[end - 1].unicode() <= 32) {
        --end;
    }
    return text.sliced(begin, end - begin);
}

QChar PathSeparator() {
#ifdef Q_OS_WIN
    return u'\\';
#else
    return u'/';
#endif
}

QString DirectoryPart(const QString& path) {
    return path.first(LastOf(path, IsLocalSeparator) + 1);
}

QString WithoutDirectory(const QString& path) {
    return path.sliced(LastOf(path, IsLocalSeparator) + 1);
}

bool IsWindowsPath(const QString& recorded) {
    const bool drive = recorded.size() >= 2 && recorded[1] == u':' &&
                       ((recorded[0] >= u'A' && recorded[0] <= u'Z') ||
                        (recorded[0] >= u'a' && recorded[0] <= u'z'));
    return drive || recorded.startsWith(u"\\\\") || recorded.contains(u'\\');
}

QString RecordedFileName(const QString& recorded) {
    return recorded.sliced(
        LastOf(recorded, IsWindowsPath(recorded) ? IsWindowsSeparator : IsSlash) + 1);
}

QString EntryPath(const QString& directory, const QString& entry) {
    return directory + PathSeparator() + WithoutDirectory(entry);
}

QString GetFilePath(const QString& DbName, const QString& logName) {
    return DirectoryPart(DbName) + RecordedFileName(logName);
}

}  // namespace quillane::engine
