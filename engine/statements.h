#pragma once

#include <QString>
#include <QStringList>

namespace quillane::engine {

// The text of a Unicode string literal: N'…' with every apostrophe doubled, so that a path such
// as D:\O'Brien\db.mdf stays one literal.
QString NLiteral(const QString& text);
// A bracketed name: […] with every "]" doubled.
QString BracketedName(const QString& name);

// DBCC checkprimaryfile(N'<path>', 2): the properties the primary file records.
QString NameQuery(const QString& entryPath);
// DBCC checkprimaryfile(N'<path>', 3): the files the primary file records.
QString FileQuery(const QString& DbName);
// CREATE DATABASE […] ON (data), (log) FOR ATTACH, laid out over four lines.
QString AttachStatement(const QString& databaseName, const QString& dataFile,
                        const QString& logFile);

// How a database is taken in: from all of its files, or from its data files with a new log.
enum class AttachClause { Attach, AttachRebuildLog };

// The attach statement naming every file of `files`, in the order given (the primary file first),
// one "( FILENAME = N'…' )" a line, in the layout of the two-file statement above; it ends in
// " FOR ATTACH " or " FOR ATTACH_REBUILD_LOG ".
QString AttachStatement(const QString& databaseName, const QStringList& files,
                        AttachClause clause = AttachClause::Attach);

}  // namespace quillane::engine
