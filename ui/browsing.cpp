#include "ui/browsing.h"

#include <QDir>
#include <QFileInfo>
#include <QStorageInfo>
#include <algorithm>
#include <filesystem>
#include <stdexcept>
#include <system_error>

#ifdef Q_OS_WIN
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#endif

namespace quillane::ui {

namespace {

namespace fs = std::filesystem;

Qt::CaseSensitivity PathCase() {
#ifdef Q_OS_WIN
    return Qt::CaseInsensitive;
#else
    return Qt::CaseSensitive;
#endif
}

// Dot files here; the hidden and system attributes on Windows.
bool IsHiddenOrSystem(const QString& path) {
#ifdef Q_OS_WIN
    const DWORD attributes = GetFileAttributesW(reinterpret_cast<LPCWSTR>(path.utf16()));
    return attributes != INVALID_FILE_ATTRIBUTES &&
           (attributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)) != 0;
#else
    return QFileInfo(path).isHidden();
#endif
}

[[noreturn]] void ThrowUnreadable(const QString& directory, const std::error_code& error) {
    const QString text =
        QStringLiteral("无法读取目录“%1”：%2")
            .arg(QDir::toNativeSeparators(directory), QString::fromLocal8Bit(error.message()));
    throw std::runtime_error(text.toStdString());
}

// One pass over a directory, keeping the visible entries that `keep` accepts. Reading errors at
// any point (opening, or an entry that cannot be examined) are the directory's errors.
template <typename Keep>
QStringList Scan(const QString& directory, Keep keep) {
    std::error_code error;
    fs::directory_iterator it(engine::ToFsPath(directory), error);
    if (error) {
        ThrowUnreadable(directory, error);
    }
    QStringList names;
    for (const fs::directory_iterator end; it != end; it.increment(error)) {
        if (error) {
            ThrowUnreadable(directory, error);
        }
        const QString name = engine::FromFsPath(it->path().filename());
        if (IsHiddenOrSystem(ChildPath(directory, name))) {
            continue;
        }
        std::error_code typeError;
        if (keep(*it, name, typeError)) {
            names.append(name);
        }
    }
    if (error) {
        ThrowUnreadable(directory, error);
    }
    SortNames(names);
    return names;
}

}  // namespace

QStringList ListMaskedFiles(const QString& directory) {
    return Scan(directory,
                [](const fs::directory_entry& entry, const QString& name, std::error_code& error) {
                    return MatchesFileMask(name) && entry.is_regular_file(error);
                });
}

QStringList ListSubdirectories(const QString& directory) {
    return Scan(directory, [](const fs::directory_entry& entry, const QString&,
                              std::error_code& error) { return entry.is_directory(error); });
}

QString DirectoryText(const QString& path) {
    return QDir::toNativeSeparators(QDir::cleanPath(QDir(path).absolutePath()));
}

QStringList Ancestors(const QString& directory) {
    QStringList chain;
    QString current = QDir::fromNativeSeparators(DirectoryText(directory));
    while (true) {
        chain.prepend(QDir::toNativeSeparators(current));
        const QString parent = QFileInfo(current).path();
        if (parent == current || parent.isEmpty() || parent == QStringLiteral(".")) {
            break;
        }
        current = parent;
    }
    return chain;
}

QString ChildPath(const QString& directory, const QString& name) {
    const QString base = QDir::fromNativeSeparators(directory);
    return QDir::toNativeSeparators(base.endsWith(u'/') ? base + name : base + u'/' + name);
}

QStringList VolumeRoots() {
    QStringList roots;
    for (const QStorageInfo& volume : QStorageInfo::mountedVolumes()) {
        // Bind mounts of single files (a container's /etc/hosts) are volumes too, but not
        // places to browse.
        if (volume.isValid() && volume.isReady() && QFileInfo(volume.rootPath()).isDir()) {
            const QString root = DirectoryText(volume.rootPath());
            if (!roots.contains(root, PathCase())) {
                roots.append(root);
            }
        }
    }
    SortNames(roots);
    return roots;
}

QString VolumeRootOf(const QString& directory, const QStringList& roots) {
    const QString dir = QDir::fromNativeSeparators(directory);
    QString best;
    for (const QString& root : roots) {
        const QString r = QDir::fromNativeSeparators(root);
        const QString prefix = r.endsWith(u'/') ? r : r + u'/';
        const bool holds = dir.compare(r, PathCase()) == 0 || dir.startsWith(prefix, PathCase());
        if (holds && root.size() > best.size()) {
            best = root;
        }
    }
    return best;
}

qsizetype SortedInsertPosition(const QStringList& items, const QString& name) {
    const auto at =
        std::upper_bound(items.begin(), items.end(), name, [](const QString& a, const QString& b) {
            return QString::compare(a, b, Qt::CaseInsensitive) < 0;
        });
    return at - items.begin();
}

}  // namespace quillane::ui
