// The server's catalog: the system databases, the databases attached so far and the files each
// holds open, shared by every session; and the databases file that mirrors it for tests.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace tdsserver {

struct AttachedDatabase {
    std::u16string name;
    std::vector<std::u16string> files;             // as written in CREATE DATABASE
    std::vector<std::filesystem::path> canonical;  // the same files, resolved
};

// Database names compare as the server collation compares them (ASCII case folded).
bool SameName(const std::u16string& a, const std::u16string& b);

const std::vector<std::u16string>& SystemDatabases();

// The database of that name, spelled as the catalog spells it, if there is one.
std::optional<std::u16string> FindDatabase(const std::u16string& name);

// The system databases, then the attached ones in the order they were attached.
std::vector<std::u16string> DatabaseNames();

// Whether an attached database holds this file (as SQL Server holds its files open).
bool IsHeld(const std::filesystem::path& canonical);

enum class AddResult { Added, NameTaken, FileHeld };
struct Added {
    AddResult result = AddResult::Added;
    std::size_t heldFile = 0;  // for FileHeld: which of db.files
};
// Adds the database and rewrites the databases file, unless another client took the name or one
// of the files first.
Added AddDatabase(AttachedDatabase db);

}  // namespace tdsserver
