#include "engine/path_map.h"

#include "engine/paths.h"

namespace quillane::engine {
namespace {

bool IsLocalSeparator(QChar c) {
#ifdef Q_OS_WIN
    return c == u'\\' || c == u'/';
#else
    return c == u'/';
#endif
}

constexpr Qt::CaseSensitivity kLocalCase =
#ifdef Q_OS_WIN
    Qt::CaseInsensitive;
#else
    Qt::CaseSensitive;
#endif

// How one side of a mapping writes its paths.
struct Style {
    bool (*isSeparator)(QChar);
    QChar separator;
    Qt::CaseSensitivity caseSensitivity;
};

bool IsWindowsSeparator(QChar c) {
    return c == u'\\' || c == u'/';
}
bool IsSlash(QChar c) {
    return c == u'/';
}

Style LocalStyle() {
    return {IsLocalSeparator, PathSeparator(), kLocalCase};
}

Style ServerStyle(const QString& serverPrefix) {
    return IsWindowsPath(serverPrefix) ? Style{IsWindowsSeparator, u'\\', Qt::CaseInsensitive}
                                       : Style{IsSlash, u'/', Qt::CaseSensitive};
}

// The prefix without its trailing separators: "/" and "D:\" become "" and "D:", so that a path
// lies under a prefix when it goes on with a separator.
QString Stem(const QString& prefix, const Style& style) {
    qsizetype end = prefix.size();
    while (end > 0 && style.isSeparator(prefix[end - 1])) {
        --end;
    }
    return prefix.first(end);
}

// How many characters of `path` the prefix covers, or -1 when the path does not lie under it.
qsizetype Covered(const QString& path, const QString& prefix, const Style& style) {
    const QString stem = Stem(prefix, style);
    if (!path.startsWith(stem, style.caseSensitivity)) {
        return -1;
    }
    if (path.size() == stem.size()) {
        return stem.isEmpty() ? -1 : stem.size();
    }
    return style.isSeparator(path[stem.size()]) ? stem.size() : -1;
}

// `rest` (what follows a prefix, from its separator on) with `from`'s separators written as `to`
// writes them.
QString Rewritten(const QString& rest, const Style& from, const Style& to) {
    QString out = rest;
    for (QChar& c : out) {
        if (from.isSeparator(c)) {
            c = to.separator;
        }
    }
    return out;
}

struct Match {
    const PathMapping* mapping = nullptr;
    qsizetype covered = -1;
};

template <typename SideOf, typename StyleOf>
Match Longest(const PathMap& map, const QString& path, SideOf side, StyleOf style) {
    Match best;
    for (const PathMapping& mapping : map) {
        const qsizetype covered = Covered(path, side(mapping), style(mapping));
        if (covered > best.covered) {
            best = {&mapping, covered};
        }
    }
    return best;
}

}  // namespace

bool ParsePathMapping(const QString& text, PathMapping& mapping) {
    const qsizetype equals = text.indexOf(u'=');
    if (equals <= 0 || equals + 1 >= text.size()) {
        return false;
    }
    mapping = {text.first(equals), text.sliced(equals + 1)};
    return true;
}

QString ToServerPath(const PathMap& map, const QString& local) {
    const Match match = Longest(
        map, local, [](const PathMapping& m) { return m.local; },
        [](const PathMapping&) { return LocalStyle(); });
    if (!match.mapping) {
        return local;
    }
    const Style server = ServerStyle(match.mapping->server);
    return Stem(match.mapping->server, server) +
           Rewritten(local.sliced(match.covered), LocalStyle(), server);
}

std::optional<QString> ToLocalPath(const PathMap& map, const QString& server) {
    if (map.isEmpty()) {
        return server;
    }
    const Match match = Longest(
        map, server, [](const PathMapping& m) { return m.server; },
        [](const PathMapping& m) { return ServerStyle(m.server); });
    if (!match.mapping) {
        return std::nullopt;
    }
    return Stem(match.mapping->local, LocalStyle()) + Rewritten(server.sliced(match.covered),
                                                                ServerStyle(match.mapping->server),
                                                                LocalStyle());
}

}  // namespace quillane::engine
