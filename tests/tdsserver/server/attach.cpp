// Attaching a database from its files.
#include "attach.h"

#include <filesystem>
#include <vector>

#include "catalog.h"
#include "config.h"
#include "files.h"
#include "messages.h"
#include "transcript.h"

namespace tdsserver {

Outcome RunAttach(Writer& w, const tsql::CreateDatabaseForAttach& c, std::int32_t line) {
    const Outcome failed{done::kError, 0, 0};
    if (FindDatabase(c.name)) {
        Put(w, AlreadyExists(c.name), line);
        return failed;
    }
    auto primary = OpenPrimary(w, c.files.front(), line);
    if (!primary) {
        Put(w, FilesNotCreated(), line);
        return failed;
    }
    if (primary->version > kServerDatabaseVersion) {
        Put(w, CouldNotOpenNew(c.name), line);
        Put(w, TooNew(c.name, primary->version), line);
        return failed;
    }
    std::vector<std::filesystem::path> canonical{Canonical(c.files.front())};
    bool mismatch = false;
    for (std::size_t i = 1; i < c.files.size(); ++i) {
        const std::u16string& path = c.files[i];
        canonical.push_back(Canonical(path));
        if (IsHeld(canonical.back())) {
            Put(w, UnableToOpen(path, 32), line);
            Put(w, FilesNotCreated(), line);
            return failed;
        }
        auto header = mdf::ReadFileHeader(ToPath(path));
        if (header.status == mdf::ReadStatus::NotFound ||
            header.status == mdf::ReadStatus::AccessDenied) {
            Put(w, UnableToOpen(path, header.status == mdf::ReadStatus::NotFound ? 2 : 5), line);
            Put(w, FilesNotCreated(), line);
            return failed;
        }
        if (header.status != mdf::ReadStatus::Ok) {
            Log("file " + tdsfiles::ToUtf8(path) + ": " + header.detail);
            Put(w, BadFileHeader(path, u"PageAudit"), line);
            Put(w, FilesNotCreated(), line);
            return failed;
        }
        mismatch = mismatch || header.value.bindingId != primary->bindingId;
    }
    if (mismatch) {
        Put(w, FilesDoNotMatch(), line);
        Put(w, CouldNotOpenNew(c.name), line);
        return failed;
    }
    // Another client may have won the name or a file while the files were being read.
    const Added added = AddDatabase({c.name, c.files, canonical});
    if (added.result == AddResult::NameTaken) {
        Put(w, AlreadyExists(c.name), line);
        return failed;
    }
    if (added.result == AddResult::FileHeld) {
        Put(w, UnableToOpen(c.files[added.heldFile], 32), line);
        Put(w, FilesNotCreated(), line);
        return failed;
    }
    Log("attached [" + tdsfiles::ToUtf8(c.name) + "]");
    return Outcome{};
}

}  // namespace tdsserver
