#pragma once

// Which names a directory offers as primary data files, and in what order they are shown: the
// rules the window's file lists and the command line share.

#include <QString>
#include <QStringList>

namespace quillane::engine {

// The mask both file lists use.
inline constexpr char16_t kFileMask[] = u"*.mdf";

// Whether `name` matches "*.mdf" without regard to letter case, as the mask matches on Windows.
bool MatchesFileMask(const QString& name);

// Orders names ascending without regard to letter case (names that differ only in case keep a
// fixed order among themselves).
void SortNames(QStringList& names);

}  // namespace quillane::engine
