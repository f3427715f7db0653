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
#else
#include <dirent.h>
#include <sys/stat.h>

#include <QFile>
#include <cerrno>
#include <memory>
#endif

namespace quillane::ui {

namespace {

Qt::CaseSensitivity PathCase() {
#ifdef Q_OS_WIN
    return Qt::CaseInsensitive;
#else
    return Qt::CaseSensitive;
#endif
}

[[noreturn]] void ThrowUnreadable(const QString& directory, const std::error_code& error) {
    const QString text =
        QStringLiteral("无法读取目录“%1”：%2")
            .arg(QDir::toNativeSeparators(directory), QString::fromLocal8Bit(error.message()));
    throw std::runtime_error(text.toStdString());
}

// One pass over a directory, each entry a masked file, a sub-directory or neither. Reading
// errors at any point (opening, or an entry that cannot be examined) are the directory's errors.
// A directory of a hundred thousand files must not cost a path and a look at the disk for each
// entry where the listing itself says what the entry is (Windows asks for the attributes).
#ifdef Q_OS_WIN
// The hidden and system attributes.
bool IsHiddenOrSystem(const QString& path) {
    const DWORD attributes = GetFileAttributesW(reinterpret_cast<LPCWSTR>(path.utf16()));
    return attributes != INVALID_FILE_ATTRIBUTES &&
           (attributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)) != 0;
}

DirectoryListing Read(const QString& directory) {
    namespace fs = std::filesystem;
    std::error_code error;
    fs::directory_iterator it(engine::ToFsPath(directory), error);
    if (error) {
        ThrowUnreadable(directory, error);
    }
    DirectoryListing listing;
    for (const fs::directory_iterator end; it != end; it.increment(error)) {
        if (error) {
            ThrowUnreadable(directory, error);
        }
        const QString name = engine::FromFsPath(it->path().filename());
        if (IsHiddenOrSystem(ChildPath(directory, name))) {
            continue;
        }
        std::error_code typeError;
        if (it->is_directory(typeError)) {
            listing.subdirectories.append(name);
        } else if (MatchesFileMask(name) && it->is_regular_file(typeError)) {
            listing.files.append(name);
        }
    }
    if (error) {
        ThrowUnreadable(directory, error);
    }
    return listing;
}
#else
DirectoryListing Read(const QString& directory) {
    DIR* const dir = ::opendir(QFile::encodeName(directory).constData());
    if (dir == nullptr) {
        ThrowUnreadable(directory, std::error_code(errno, std::generic_category()));
    }
    const std::unique_ptr<DIR, int (*)(DIR*)> closer(dir, &::closedir);
    DirectoryListing listing;
    for (;;) {
        errno = 0;
        const dirent* entry = ::readdir(dir);
        if (entry == nullptr) {
            if (errno != 0) {
                ThrowUnreadable(directory, std::error_code(errno, std::generic_category()));
            }
            return listing;
        }
        // Dot files are the hidden ones here ("." and ".." among them).
        if (entry->d_name[0] == '.') {
            continue;
        }
        bool isFile = entry->d_type == DT_REG;
        bool isDirectory = entry->d_type == DT_DIR;
        if (entry->d_type == DT_LNK || entry->d_type == DT_UNKNOWN) {
            // What a link points to counts; a dangling one is neither.
            struct stat info {};
            if (::fstatat(::dirfd(dir), entry->d_name, &info, 0) == 0) {
                isFile = S_ISREG(info.st_mode);
                isDirectory = S_ISDIR(info.st_mode);
            }
        }
        if (!isFile && !isDirectory) {
            continue;
        }
        const QString name = QFile::decodeName(entry->d_name);
        if (isDirectory) {
            listing.subdirectories.append(name);
        } else if (MatchesFileMask(name)) {
            listing.files.append(name);
        }
    }
}
#endif

}  // namespace

DirectoryListing ListDirectory(const QString& directory) {
    DirectoryListing listing = Read(directory);
    SortNames(listing.files);
    SortNames(listing.subdirectories);
    return listing;
}

QStringList ListMaskedFiles(const QString& directory) {
    return ListDirectory(directory).files;
}

QStringList ListSubdirectories(const QString& directory) {
    return ListDirectory(directory).subdirectories;
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

QStringList MergeNames(const QStringList& items, const QStringList& added,
                       QList<qsizetype>* rowsOfItems) {
    // Folded once each, then one merge: an entry of `items` goes first among equals, and so do the
    // added names that came earlier. The added names keep their order among equals, and come in
    // the file list's order, which is this one.
    std::vector<std::u32string> itemKeys;
    itemKeys.reserve(static_cast<std::size_t>(items.size()));
    for (const QString& item : items) {
        itemKeys.push_back(engine::FoldedName(item));
    }
    std::vector<std::pair<std::u32string, qsizetype>> addedKeys;
    addedKeys.reserve(static_cast<std::size_t>(added.size()));
    for (qsizetype i = 0; i < added.size(); ++i) {
        addedKeys.emplace_back(engine::FoldedName(added[i]), i);
    }
    std::stable_sort(addedKeys.begin(), addedKeys.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });

    QStringList merged;
    merged.reserve(items.size() + added.size());
    if (rowsOfItems != nullptr) {
        rowsOfItems->clear();
        rowsOfItems->reserve(items.size());
    }
    std::size_t next = 0;
    for (qsizetype i = 0; i < items.size(); ++i) {
        const std::u32string& key = itemKeys[static_cast<std::size_t>(i)];
        for (; next < addedKeys.size() && addedKeys[next].first < key; ++next) {
            merged.append(added[addedKeys[next].second]);
        }
        if (rowsOfItems != nullptr) {
            rowsOfItems->append(merged.size());
        }
        merged.append(items[i]);
    }
    for (; next < addedKeys.size(); ++next) {
        merged.append(added[addedKeys[next].second]);
    }
    return merged;
}

}  // namespace quillane::ui
