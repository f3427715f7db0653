// Attaching a database from its files.
#include "attach.h"

#include <algorithm>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <system_error>
#include <vector>

#include "catalog.h"
#include "config.h"
#include "files.h"
#include "mdf_fixture.h"
#include "messages.h"
#include "transcript.h"

namespace tdsserver {
namespace {

namespace fs = std::filesystem;

constexpr Outcome kFailed{done::kError, 0, 0};

// The files the database will hold: as the statement named them, then those found or made.
struct Files {
    std::vector<std::u16string> paths;
    std::vector<fs::path> canonical;
};

enum class Opened { Ok, Refused, Mismatch };

// Opens a file of the database other than the primary file. Reports what keeps it from being
// opened (in use, missing, denied, no file header), each followed by 1802, as SQL Server does;
// a file of another database is only a mismatch here, for the caller to report once.
Opened OpenOtherFile(Writer& w, const std::u16string& path, const mdf::PrimaryFile& primary,
                     std::int32_t line, std::int16_t& fileId) {
    if (IsHeld(Canonical(path))) {
        Put(w, UnableToOpen(path, 32), line);
        Put(w, FilesNotCreated(), line);
        return Opened::Refused;
    }
    auto header = mdf::ReadFileHeader(ToPath(path));
    if (header.status == mdf::ReadStatus::NotFound ||
        header.status == mdf::ReadStatus::AccessDenied) {
        Put(w, UnableToOpen(path, header.status == mdf::ReadStatus::NotFound ? 2 : 5), line);
        Put(w, FilesNotCreated(), line);
        return Opened::Refused;
    }
    if (header.status != mdf::ReadStatus::Ok) {
        Log("file " + tdsfiles::ToUtf8(path) + ": " + header.detail);
        Put(w, BadFileHeader(path, u"PageAudit"), line);
        Put(w, FilesNotCreated(), line);
        return Opened::Refused;
    }
    fileId = header.value.fileId;
    return header.value.bindingId == primary.bindingId ? Opened::Ok : Opened::Mismatch;
}

// Where a rebuilt log goes: the default log directory, named after the database.
fs::path RebuiltLogPath(const std::u16string& database) {
    const fs::path dir =
        Options().logDir.empty() ? fs::temp_directory_path() : fs::path(Options().logDir);
    return dir / (tdsfiles::ToUtf8(database) + "_log.ldf");
}

// A detached database was shut down cleanly, so its log can be made anew: 5111 for each log not
// found where the primary file records it, one new empty log of the database, 5182 for where it
// went. FOR ATTACH does this for a database with a single log; FOR ATTACH_REBUILD_LOG for any.
std::optional<std::u16string> RebuildLog(Writer& w, const tsql::CreateDatabaseForAttach& c,
                                         const std::vector<const mdf::FileEntry*>& missing,
                                         const mdf::PrimaryFile& primary, std::int32_t line) {
    for (const mdf::FileEntry* log : missing) {
        Put(w, FileActivationFailure(log->physicalName), line);
    }
    const fs::path path = RebuiltLogPath(c.name);
    const std::u16string text = tdsfiles::FromUtf8(path.string());
    std::error_code ec;
    if (fs::exists(path, ec)) {
        Put(w, FileAlreadyExists(text), line);
        Put(w, CouldNotOpenNew(c.name), line);
        return std::nullopt;
    }
    try {
        mdf::WriteLogFile(path, primary.bindingId, missing.front()->fileId);
    } catch (const std::exception& e) {
        Log("cannot make a new log: " + std::string(e.what()));
        Put(w, CreateFileFailed(text), line);
        Put(w, CouldNotOpenNew(c.name), line);
        return std::nullopt;
    }
    Put(w, NewLogFileCreated(text), line);
    return text;
}

}  // namespace

Outcome RunAttach(Writer& w, const tsql::CreateDatabaseForAttach& c, std::int32_t line) {
    if (FindDatabase(c.name)) {
        Put(w, AlreadyExists(c.name), line);
        return kFailed;
    }
    auto primary = OpenPrimary(w, c.files.front(), line);
    if (!primary) {
        Put(w, FilesNotCreated(), line);
        return kFailed;
    }
    if (primary->version > kServerDatabaseVersion) {
        Put(w, CouldNotOpenNew(c.name), line);
        Put(w, TooNew(c.name, primary->version), line);
        return kFailed;
    }
    Files files{{c.files.front()}, {Canonical(c.files.front())}};
    std::vector<std::int16_t> namedIds{1};
    bool mismatch = false;
    for (std::size_t i = 1; i < c.files.size(); ++i) {
        std::int16_t id = 0;
        const Opened opened = OpenOtherFile(w, c.files[i], *primary, line, id);
        if (opened == Opened::Refused)
            return kFailed;
        mismatch = mismatch || opened == Opened::Mismatch;
        namedIds.push_back(id);
        files.paths.push_back(c.files[i]);
        files.canonical.push_back(Canonical(c.files[i]));
    }
    if (mismatch) {
        Put(w, FilesDoNotMatch(), line);
        Put(w, CouldNotOpenNew(c.name), line);
        return kFailed;
    }

    // Every file the statement did not name is where the primary file records it: the data files
    // first, then the logs.
    const auto named = [&](std::int16_t id) {
        return std::find(namedIds.begin(), namedIds.end(), id) != namedIds.end();
    };
    std::vector<const mdf::FileEntry*> foundLogs;
    std::vector<const mdf::FileEntry*> missingLogs;
    std::size_t logs = 0;
    for (const bool log : {false, true}) {
        for (const mdf::FileEntry& f : primary->files) {
            logs += log && mdf::IsLogFile(f) ? 1 : 0;
            if (mdf::IsLogFile(f) != log || named(f.fileId))
                continue;
            if (log &&
                mdf::ReadFileHeader(ToPath(f.physicalName)).status == mdf::ReadStatus::NotFound) {
                missingLogs.push_back(&f);
                continue;
            }
            std::int16_t id = 0;
            const Opened opened = OpenOtherFile(w, f.physicalName, *primary, line, id);
            if (opened == Opened::Refused)
                return kFailed;
            if (opened == Opened::Mismatch) {
                Put(w, FilesDoNotMatch(), line);
                Put(w, CouldNotOpenNew(c.name), line);
                return kFailed;
            }
            if (log) {
                foundLogs.push_back(&f);
            } else {
                files.paths.push_back(f.physicalName);
                files.canonical.push_back(Canonical(f.physicalName));
            }
        }
    }
    std::optional<fs::path> rebuilt;
    if (!missingLogs.empty() && (c.rebuildLog || logs == 1)) {
        // The new log stands for all of them.
        const auto made = RebuildLog(w, c, missingLogs, *primary, line);
        if (!made)
            return kFailed;
        rebuilt = ToPath(*made);
        files.paths.push_back(*made);
        files.canonical.push_back(Canonical(*made));
    } else if (!missingLogs.empty()) {
        Put(w, UnableToOpen(missingLogs.front()->physicalName, 2), line);
        Put(w, FilesNotCreated(), line);
        return kFailed;
    } else {
        for (const mdf::FileEntry* log : foundLogs) {
            files.paths.push_back(log->physicalName);
            files.canonical.push_back(Canonical(log->physicalName));
        }
    }

    // Another client may have won the name or a file while the files were being read.
    const Added added = AddDatabase({c.name, files.paths, files.canonical});
    if (added.result != AddResult::Added && rebuilt) {
        std::error_code ec;
        fs::remove(*rebuilt, ec);
    }
    if (added.result == AddResult::NameTaken) {
        Put(w, AlreadyExists(c.name), line);
        return kFailed;
    }
    if (added.result == AddResult::FileHeld) {
        Put(w, UnableToOpen(files.paths[added.heldFile], 32), line);
        Put(w, FilesNotCreated(), line);
        return kFailed;
    }
    Log("attached [" + tdsfiles::ToUtf8(c.name) + "]");
    return Outcome{};
}

}  // namespace tdsserver
