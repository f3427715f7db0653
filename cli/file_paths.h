#pragma once

// Paths between Qt's text and the file system's own form, and the absolute form the command line
// shows and attaches from.

#include <QString>
#include <filesystem>

namespace quillane::cli {

std::filesystem::path ToFsPath(const QString& path);
QString FromFsPath(const std::filesystem::path& path);

// `path` made absolute against the working directory and cleaned ("." and ".." resolved, no
// doubled separators), in the platform's separators. Links are not followed: the server is told
// the path the user gave.
QString AbsolutePath(const QString& path);

}  // namespace quillane::cli
