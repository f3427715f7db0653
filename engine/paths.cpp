#include "engine/paths.h"

namespace quillane::engine {
namespace {

qsizetype LastSeparator(const QString& path) {
    for (qsizetype i = path.size() - 1; i >= 0; --i) {
        const QChar c = path[i];
        if (c == u'\\' || c == u'/' || c == u':') {
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
    return path.first(LastSeparator(path) + 1);
}

QString WithoutDirectory(const QString& path) {
    return path.sliced(LastSeparator(path) + 1);
}

QString EntryPath(const QString& directory, const QString& entry) {
    return directory + PathSeparator() + WithoutDirectory(entry);
}

QString GetFilePath(const QString& DbName, const QString& logName) {
    return DirectoryPart(DbName) + WithoutDirectory(logName);
}

}  // namespace quillane::engine
