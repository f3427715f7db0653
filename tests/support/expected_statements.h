#pragma once

// The statements as the server must receive them, spelt out here rather than taken from the
// engine, so that a test compares the engine's text with an independent one: N'…' with
// apostrophes doubled, […] with "]" doubled, one file a line, and the CR LF a query's text ends
// with.

#include <QString>
#include <QStringList>

namespace testsupport {

inline QString Literal(QString text) {
    return QStringLiteral("N'") + text.replace(QStringLiteral("'"), QStringLiteral("''")) + u'\'';
}

inline QString NameSql(const QString& path) {
    return QStringLiteral("DBCC checkprimaryfile(") + Literal(path) + QStringLiteral(", 2)\r\n");
}

inline QString FileSql(const QString& path) {
    return QStringLiteral("DBCC checkprimaryfile(") + Literal(path) + QStringLiteral(", 3)\r\n");
}

// Names `files` in order, the primary file first.
inline QString AttachSql(QString name, const QStringList& files, bool rebuildLog = false) {
    QStringList specs;
    for (const QString& file : files) {
        specs << QStringLiteral("( FILENAME = ") + Literal(file) + QStringLiteral(" )");
    }
    return QStringLiteral("CREATE DATABASE [") +
           name.replace(QStringLiteral("]"), QStringLiteral("]]")) + QStringLiteral("] ON \r\n") +
           specs.join(QStringLiteral(",\r\n")) +
           (rebuildLog ? QStringLiteral("\r\n FOR ATTACH_REBUILD_LOG \r\n")
                       : QStringLiteral("\r\n FOR ATTACH \r\n"));
}

// The window's statement: the primary file and its log.
inline QString AttachSql(const QString& name, const QString& data, const QString& log) {
    return AttachSql(name, QStringList{data, log});
}

}  // namespace testsupport
