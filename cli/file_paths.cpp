#include "cli/file_paths.h"

#include <QDir>
#include <QFileInfo>

namespace quillane::cli {

QString AbsolutePath(const QString& path) {
    return QDir::toNativeSeparators(QDir::cleanPath(QFileInfo(path).absoluteFilePath()));
}

}  // namespace quillane::cli
