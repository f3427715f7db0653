#pragma once

// Which names a directory offers as primary data files, and in what order they are shown: the
// rules the window's file lists and the command line share, with the conversion both need
// between Qt's text and the file system's paths.

#include <QString>
#include <QStringList>
#include <filesystem>
#include <string>

namespace quillane::engine {

// The mask both file lists use.
inline constexpr char16_t kFileMask[] = u"*.mdf";

// Whether `name` matches "*.mdf" without regard to letter case, as the mask matches on Windows.
bool MatchesFileMask(const QString& name);

// Orders names ascending without regard to letter case (names that differ only in case keep a
// fixed order among themselves).
void SortNames(QStringList& names);

// What the order without regard to letter case compares: every code unit of `name` with its case
// folded (a low surrogate after a high one stands for the folded code point of the pair). Two
// names compare as their folded names do, element by element and then by length, exactly as
// QString::compare(a, b, Qt::CaseInsensitive) compares them, but without folding again at every
// comparison of a sort.
std::u32string FoldedName(const QString& name);

// A path as the file system takes it (UTF-16 on Windows, the locale's encoding elsewhere), and
// back.
std::filesystem::path ToFsPath(const QString& path);
QString FromFsPath(const std::filesystem::path& path);

}  // namespace quillane::engine
