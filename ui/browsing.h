#pragma once

// The parts of browsing that need no window: listing a directory the way the file lists and the
// directory tree show it, the drive chooser's volumes, and where a name goes in the attach list.

#include <QString>
#include <QStringList>

#include "engine/file_names.h"

namespace quillane::ui {

// The mask and the order are shared with the command line, which must list a directory as the
// file list shows it.
using engine::kFileMask;
using engine::MatchesFileMask;
using engine::SortNames;

// The names of the files in `directory` that the file lists show: files only (no directories),
// no hidden or system files, matching the mask, sorted. Throws std::runtime_error with a text
// naming the directory when it cannot be read.
QStringList ListMaskedFiles(const QString& directory);

// The visible sub-directories of `directory`, by name, sorted. Throws like ListMaskedFiles.
QStringList ListSubdirectories(const QString& directory);

// The form the directory tree shows a directory in: absolute, cleaned, with the platform's
// separators and no trailing separator except at a root ("/", "C:\").
QString DirectoryText(const QString& path);

// `directory` and its ancestors, from the root down to `directory` itself, each as DirectoryText.
QStringList Ancestors(const QString& directory);

// The path of `name` inside `directory` (no doubled separator at a root).
QString ChildPath(const QString& directory, const QString& name);

// The roots of the mounted volumes that are ready to be read, in DirectoryText form, sorted.
QStringList VolumeRoots();

// The root among `roots` of the volume that holds `directory`: the longest root that is
// `directory` itself or one of its ancestors. Empty when none is.
QString VolumeRootOf(const QString& directory, const QStringList& roots);

// Where `name` goes in the sorted `items`: after every entry that sorts before it or equal to it,
// so that a name added twice stands next to its twin.
qsizetype SortedInsertPosition(const QStringList& items, const QString& name);

}  // namespace quillane::ui
