#pragma once

// The paths the command line's arguments stand for: a file as given, made absolute; a directory
// as the primary files in it.

#include <QString>
#include <QStringList>
#include <QTextStream>

namespace quillane::cli {

// `path` made absolute against the working directory and cleaned ("." and ".." resolved, no
// doubled separators), in the platform's separators. Links are not followed: the server is told
// the path the user gave.
QString AbsolutePath(const QString& path);

// The primary files a directory argument stands for: every name in it that matches "*.mdf"
// without regard to case (hidden names and directories so named included: an attach would be
// asked to open them too), sorted as the window's file list sorts, each as an absolute path.
// Fills `error` and returns nothing when the directory cannot be read.
QStringList PrimaryFilesIn(const QString& directory, QString& error);

// What one argument stands for: a directory's primary files (PrimaryFilesIn), else the file
// itself. A directory that cannot be read or holds no *.mdf is said on `err` and sets `trouble`.
QStringList PrimaryFilesOf(const QString& target, QTextStream& err, bool& trouble);

}  // namespace quillane::cli
