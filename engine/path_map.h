#pragma once

// Paths as this machine sees them and as the server sees them. A server in a container, or on
// another machine that mounts the same storage, reaches the files under another prefix: the
// host's /srv/mssql/data is /var/opt/mssql/data inside the container. Each mapping pairs a local
// directory with the server's name for it; paths under neither are left as they are.

#include <QList>
#include <QString>
#include <optional>

namespace quillane::engine {

struct PathMapping {
    QString local;   // a directory on this machine
    QString server;  // the same directory as the server names it
};

using PathMap = QList<PathMapping>;

// "LOCAL=SERVER", split at the first "=". False when either side is empty.
bool ParsePathMapping(const QString& text, PathMapping& mapping);

// The path the server is told for the local path `local`: the longest local prefix that holds it
// (whole directory names only) replaced by its server prefix, the separators of the rest written
// as the server writes them ("\" for a server prefix that is a Windows path). Unchanged when no
// mapping holds it.
QString ToServerPath(const PathMap& map, const QString& local);

// The local path of the server path `server`, the other way round; a Windows server prefix is
// matched without regard to letter case, as the server matches its paths. With no mappings every
// path is its own local path; with some, a path under none of them cannot be seen from here and
// gives nothing.
std::optional<QString> ToLocalPath(const PathMap& map, const QString& server);

}  // namespace quillane::engine
