#include "cli/file_paths.h"

#include <QDir>
#include <QFileInfo>
#include <filesystem>
#include <system_error>

#include "engine/file_names.h"

namespace quillane::cli {

using namespace Qt::Literals::StringLiterals;

QString AbsolutePath(const QString& path) {
    return QDir::toNativeSeparators(QDir::cleanPath(QFileInfo(path).absoluteFilePath()));
}

QStringList PrimaryFilesIn(const QString& directory, QString& error) {
    namespace fs = std::filesystem;
    std::error_code code;
    QStringList names;
    fs::directory_iterator it(engine::ToFsPath(directory), code);
    for (const fs::directory_iterator end; !code && it != end; it.increment(code)) {
        const QString name = engine::FromFsPath(it->path().filename());
        if (engine::MatchesFileMask(name)) {
            names << name;
        }
    }
    if (code) {
        error = u"无法读取目录“%1”：%2"_s.arg(QDir::toNativeSeparators(directory),
                                              QString::fromLocal8Bit(code.message()));
        return {};
    }
    engine::SortNames(names);
    const QString base = AbsolutePath(directory);
    QStringList paths;
    for (const QString& name : names) {
        paths << AbsolutePath(base + u'/' + name);
    }
    return paths;
}

QStringList PrimaryFilesOf(const QString& target, QTextStream& err, bool& trouble) {
    if (!QFileInfo(target).isDir()) {
        return {AbsolutePath(target)};
    }
    QString error;
    const QStringList found = PrimaryFilesIn(target, error);
    if (!error.isEmpty()) {
        err << error << u'\n';
        trouble = true;
    } else if (found.isEmpty()) {
        err << u"目录“"_s << QDir::toNativeSeparators(target) << u"”中没有 *.mdf 文件。\n"_s;
        trouble = true;
    }
    err.flush();
    return found;
}

}  // namespace quillane::cli
