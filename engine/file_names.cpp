#include "engine/file_names.h"

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

}  // namespace quillane::engine
