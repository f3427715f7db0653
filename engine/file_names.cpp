#include "engine/file_names.h"

#include <QFile>
#include <algorithm>
#include <vector>

namespace quillane::engine {

bool MatchesFileMask(const QString& name) {
    return name.endsWith(QStringLiteral(".mdf"), Qt::CaseInsensitive);
}

std::u32string FoldedName(const QString& name) {
    std::u32string folded(static_cast<std::size_t>(name.size()), U'\0');
    char16_t previous = 0;
    for (qsizetype i = 0; i < name.size(); ++i) {
        const char16_t unit = name.at(i).unicode();
        char32_t point = unit;
        if (QChar::isLowSurrogate(unit) && QChar::isHighSurrogate(previous)) {
            point = QChar::surrogateToUcs4(previous, unit);
        }
        folded[static_cast<std::size_t>(i)] = QChar::toCaseFolded(point);
        previous = unit;
    }
    return folded;
}

void SortNames(QStringList& names) {
    // A directory's worth of names: each is folded once, not at every comparison.
    struct Keyed {
        std::u32string folded;
        QString name;
    };
    std::vector<Keyed> keyed;
    keyed.reserve(static_cast<std::size_t>(names.size()));
    for (QString& name : names) {
        keyed.push_back({FoldedName(name), std::move(name)});
    }
    std::stable_sort(keyed.begin(), keyed.end(), [](const Keyed& a, const Keyed& b) {
        const int folded = a.folded.compare(b.folded);
        return folded != 0 ? folded < 0 : QString::compare(a.name, b.name, Qt::CaseSensitive) < 0;
    });
    for (qsizetype i = 0; i < names.size(); ++i) {
        names[i] = std::move(keyed[static_cast<std::size_t>(i)].name);
    }
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
