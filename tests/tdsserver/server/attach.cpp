// Attaching a database from its files.
#include "attach.h"

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

// The database's log file when the primary file records exactly one and the statement did not
// name it. Only such a log is rebuilt when it is missing; a database with several logs needs
// them all.
const mdf::FileEntry* UnnamedSingleLog(const mdf::PrimaryFile& primary,
                                       const std::vector<std::int16_t>& namedIds) {
    const mdf::FileEntry* log = nullptr;
    for (const auto& f : primary.files) {
        if (!(f.status & 0x40))
            continue;
        if (log)
            return nullptr;
        log = &f;
    }
    if (!log)
        return nullptr;
    for (const std::int16_t id : namedIds) {
        if (id == log->fileId)
            return nullptr;
    }
    return log;
}

// Where a rebuilt log goes: the default log directory, named after the database.
fs::path RebuiltLogPath(const std::u16string& database) {
    const fs::path dir =
        Options().logDir.empty() ? fs::temp_directory_path() : fs::path(Options().logDir);
    return dir / (tdsfiles::ToUtf8(database) + "_log.ldf");
}

// A detached database was shut down cleanly, so a missing single log is made anew, as FOR ATTACH
// does: 5111 for the recorded path, a new empty log of the database, 5182 for where it went.
std::optional<std::u16string> RebuildLog(Writer& w, const tsql::CreateDatabaseForAttach& c,
                                         const mdf::FileEntry& log, const mdf::PrimaryFile& primary,
                                         std::int32_t line) {
    Put(w, FileActivationFailure(log.physicalName), line);
    const fs::path path = RebuiltLogPath(c.name);
    const std::u16string text = tdsfiles::FromUtf8(path.string());
    std::error_code ec;
    if (fs::exists(path, ec)) {
        Put(w, FileAlreadyExists(text), line);
        Put(w, CouldNotOpenNew(c.name), line);
        return std::nullopt;
    }
    try {
        mdf::WriteLogFile(path, primary.bindingId, log.fileId);
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

    // A file the statement did not name is where the primary file records it.
    std::optional<fs::path> rebuilt;
    if (const mdf::FileEntry* log = UnnamedSingleLog(*primary, namedIds)) {
        if (mdf::ReadFileHeader(ToPath(log->physicalName)).status == mdf::ReadStatus::NotFound) {
            const auto made = RebuildLog(w, c, *log, *primary, line);
            if (!made)
                return kFailed;
            rebuilt = ToPath(*made);
            files.paths.push_back(*made);
            files.canonical.push_back(Canonical(*made));
        } else {
            std::int16_t id = 0;
            const Opened opened = OpenOtherFile(w, log->physicalName, *primary, line, id);
            if (opened == Opened::Refused)
                return kFailed;
            if (opened == Opened::Mismatch) {
                Put(w, FilesDoNotMatch(), line);
                Put(w, CouldNotOpenNew(c.name), line);
                return kFailed;
            }
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
