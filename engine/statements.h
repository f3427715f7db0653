#pragma once

#include <QString>

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

}  // namespace quillane::engine
