#include "log/log_folder.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryFile>

namespace quillane::log {
namespace {

// The one sure way to know whether a directory takes new files (permissions, ACLs, read-only
// mounts, a network share): make one. The probe is removed again at once.
bool CanCreateFilesIn(const QString& directory) {
    QTemporaryFile probe(QDir(directory).filePath(QStringLiteral(".quillane-probe-XXXXXX")));
    return probe.open();
}

bool IsInstallDirectory(const QString& directory) {
    const QString installed =
        QFileInfo(QStringLiteral(QUILLANE_INSTALL_BINDIR)).canonicalFilePath();
    return !installed.isEmpty() && QFileInfo(directory).canonicalFilePath() == installed;
}

QString ThisUsersStateHome() {
#ifdef Q_OS_WIN
    // %LOCALAPPDATA%, where Qt 6.7's GenericStateLocation points as well.
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
#else
    // Qt 6.7 has GenericStateLocation for this; Debian 12's Qt 6.4 does not.
    return StateHome(qEnvironmentVariable("XDG_STATE_HOME"), QDir::homePath());
#endif
}

}  // namespace

QString RunLogFolder(const LogFolderFacts& facts) {
    if (facts.executableDirWritable && !facts.installed) {
        return facts.executableDir;
    }
    return QDir::cleanPath(facts.stateHome + QStringLiteral("/quillane"));
}

QString StateHome(const QString& xdgStateHome, const QString& home) {
    if (!xdgStateHome.isEmpty() && QDir::isAbsolutePath(xdgStateHome)) {
        return QDir::cleanPath(xdgStateHome);
    }
    return QDir::cleanPath(home + QStringLiteral("/.local/state"));
}

QString RunLogFolderAtStartUp(const QString& executableDir) {
    const LogFolderFacts facts{executableDir, CanCreateFilesIn(executableDir),
                               IsInstallDirectory(executableDir), ThisUsersStateHome()};
    const QString folder = RunLogFolder(facts);
    QDir().mkpath(folder);
    return folder;
}

}  // namespace quillane::log
