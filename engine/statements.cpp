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
    return AttachStatement(databaseName, QStringList{dataFile, logFile});
}

QString AttachStatement(const QString& databaseName, const QStringList& files,
                        AttachClause clause) {
    QStringList specs;
    for (const QString& file : files) {
        specs << QStringLiteral("( FILENAME = ") + NLiteral(file) + QStringLiteral(" )");
    }
    return QStringLiteral("CREATE DATABASE ") + BracketedName(databaseName) +
           QStringLiteral(" ON \r\n") + specs.join(QStringLiteral(",\r\n")) +
           (clause == AttachClause::Attach ? QStringLiteral("\r\n FOR ATTACH ")
                                           : QStringLiteral("\r\n FOR ATTACH_REBUILD_LOG "));
}

}  // namespace quillane::engine
