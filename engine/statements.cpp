#include "engine/statements.h"

namespace quillane::engine {

QString NLiteral(const QString& text) {
    QString doubled = text;
    doubled.replace(u'\'', QStringLiteral("''"));
    return QStringLiteral("N'") + doubled + u'\'';
}

QString BracketedName(const QString& name) {
    QString doubled = name;
    doubled.replace(u']', QStringLiteral("]]"));
    return u'[' + doubled + u']';
}

QString NameQuery(const QString& entryPath) {
    return QStringLiteral("DBCC checkprimaryfile(") + NLiteral(entryPath) + QStringLiteral(", 2)");
}

QString FileQuery(const QString& DbName) {
    return QStringLiteral("DBCC checkprimaryfile(") + NLiteral(DbName) + QStringLiteral(", 3)");
}

QString AttachStatement(const QString& databaseName, const QString& dataFile,
                        const QString& logFile) {
    return QStringLiteral("CREATE DATABASE ") + BracketedName(databaseName) +
           QStringLiteral(" ON \r\n( FILENAME = ") + NLiteral(dataFile) +
           QStringLiteral(" ),\r\n( FILENAME = ") + NLiteral(logFile) +
           QStringLiteral(" )\r\n FOR ATTACH ");
}

}  // namespace quillane::engine
