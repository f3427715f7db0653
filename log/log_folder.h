#pragma once

// Where the daily run log lives. The folder "Logs" beside the executable is the rule wherever that
// directory can be written (a build tree, a portable copy); an installed program cannot write
// beside itself, so its log goes to the user's state directory instead. Decided once, at start-up,
// by each program that writes the log.

#include <QString>

namespace quillane::log {

// What the decision looks at, as found on this machine.
struct LogFolderFacts {
    // The directory that holds the running executable.
    QString executableDir;
    // Whether this user can create files in it.
    bool executableDirWritable = false;
    // Whether it is the directory the program is installed to (/usr/bin for the package). Even
    // root, who can write there, leaves it to the package manager.
    bool installed = false;
    // The user's state directory (StateHome).
    QString stateHome;
};

// The folder that holds "Logs" (what RunLog takes): the executable's directory when it is
// writable and not the installed one, else "quillane" in the state directory.
QString RunLogFolder(const LogFolderFacts& facts);

// The user's state directory as the XDG base directory rules give it: $XDG_STATE_HOME when it is
// an absolute path, else ~/.local/state (an unset, empty or relative value is ignored).
QString StateHome(const QString& xdgStateHome, const QString& home);

// Finds the facts for `executableDir` on this machine, decides with RunLogFolder and, when the
// state directory is the answer, creates the folder there (RunLog creates "Logs" inside it). When
// that cannot be created the answer stands: each entry then reports "写入日志失败！".
QString RunLogFolderAtStartUp(const QString& executableDir);

}  // namespace quillane::log
