#include "engine/file_names.h"

#include <QFile>
#include <algorithm>

namespace quillane::engine {

bool MatchesFileMask(const QString& name) {
    return name.endsWith(QStringLiteral(".mdf"), Qt::CaseInsensitive);
}

void SortNames(QStringList& names) {
    std::stable_sort(names.begin(), names.end(), [](const QString& a, const QString& b) {
        const int folded = QString::compare(a, b, Qt::CaseInsensitive);
        return folded != 0 ? folded < 0 : QString::compare(a, b, Qt::CaseSensitive) < 0;
    });
}

std::filesystem::path ToFsPath(const QString& path) {
#ifdef Q_OS_WIN
    return std::filesystem::path(path.toStdWString());
#else
    return std::filesystem::path(QFile::encodeName(path).toStdString());
#endif
}

QString FromFsPath(const std::filesystem::path& path) {
#ifdef Q_OS_WIN
    return QString::fromStdWString(path.native());
#else
    return QFile::decodeName(QByteArray::fromStdString(path.native()));
#endif
}

}  // namespace quillane::engine
