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

// What one reading of a directory gives the browsing controls.
struct DirectoryListing {
    // The names of the files that the file lists show: files only (no directories), no hidden or
    // system files, matching the mask, sorted.
    QStringList files;
    // The visible sub-directories, by name, sorted: what the directory tree shows below it.
    QStringList subdirectories;
};

// Reads `directory` once for both. Throws std::runtime_error with a text naming the directory
// when it cannot be read.
DirectoryListing ListDirectory(const QString& directory);

// The `files` and the `subdirectories` of ListDirectory alone.
QStringList ListMaskedFiles(const QString& directory);
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

// The attach list after "添加": every name of `added` inserted into the sorted `items`, in its
// order, after every entry that sorts before it or equal to it without regard to case, so that a
// name added twice stands next to its twin. One pass over both lists, however many are added.
// `rowsOfItems`, when given, receives the row of every entry of `items` in the result.
QStringList MergeNames(const QStringList& items, const QStringList& added,
                       QList<qsizetype>* rowsOfItems = nullptr);

}  // namespace quillane::ui
