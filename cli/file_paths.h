#pragma once

// The absolute form of a path that the command line shows and attaches from.

#include <QString>

namespace quillane::cli {

// `path` made absolute against the working directory and cleaned ("." and ".." resolved, no
// doubled separators), in the platform's separators. Links are not followed: the server is told
// the path the user gave.
QString AbsolutePath(const QString& path);

}  // namespace quillane::cli
