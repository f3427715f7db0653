// The answers of DBCC checkprimaryfile, read from the file's own pages.
#include "dbcc.h"

#include <string>

#include "config.h"
#include "files.h"
#include "messages.h"

namespace tdsserver {
namespace {

std::u16string Padded(std::u16string s, std::size_t width) {
    if (s.size() < width)
        s.append(width - s.size(), u' ');
    return s;
}

}  // namespace

Outcome RunDbcc(Writer& w, const tsql::DbccCheckPrimaryFile& d, std::int32_t line) {
    Outcome o;
    auto file = OpenPrimary(w, d.path, line);
    if (file && file->version > kServerDatabaseVersion) {
        Put(w, TooNew(file->databaseName, file->version), line);
        file.reset();
    }
    if (!file) {
        o.status = done::kError;
    } else if (d.option == 2) {
        ColMetadata(w, {{u"property", false, 128}, {u"value", false, 128}});
        Row(w, {u"Database name", file->databaseName});
        Row(w, {u"Database version", Decimal(file->version)});
        // SQL Server shows the collation by its id, as COLLATIONPROPERTY(name, 'CollationID')
        // gives it, never by name (mdf::CollationName has the names).
        Row(w, {u"Collation", Decimal(file->collationId)});
        Done(w, done::kMore | done::kCount, 0, 3);
    } else {
        ColMetadata(w, {{u"status", true, 0},
                        {u"fileid", true, 0},
                        {u"name", false, 128},
                        {u"filename", false, 260}});
        for (const auto& f : file->files) {
            Row(w, {std::int32_t(f.status), std::int32_t(f.fileId), Padded(f.logicalName, 128),
                    Padded(f.physicalName, 260)});
        }
        Done(w, done::kMore | done::kCount, 0, file->files.size());
    }
    Put(w, DbccDone(), line);
    return o;
}

}  // namespace tdsserver
