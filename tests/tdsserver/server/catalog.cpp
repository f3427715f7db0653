// The attached databases, guarded by one mutex, and the databases file written after each change.
#include "catalog.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "config.h"
#include "transcript.h"

namespace tdsserver {
namespace {

std::mutex g_mutex;  // guards g_attached and the databases file
std::vector<AttachedDatabase> g_attached;

char16_t FoldChar(char16_t c) {
    return (c >= u'a' && c <= u'z') ? char16_t(c - 32) : c;
}

bool HeldLocked(const std::filesystem::path& canonical) {
    for (const auto& db : g_attached) {
        for (const auto& c : db.canonical) {
            if (c == canonical)
                return true;
        }
    }
    return false;
}

// Written whole to a temporary file and renamed, so a reader never sees half a file.
void WriteDatabasesFileLocked() {
    const std::string& path = Options().databasesPath;
    if (path.empty())
        return;
    std::vector<std::vector<std::u16string>> rows;
    for (const auto& db : g_attached) {
        std::vector<std::u16string> row{db.name};
        row.insert(row.end(), db.files.begin(), db.files.end());
        rows.push_back(std::move(row));
    }
    const std::string text = tdsfiles::FormatDatabases(rows);
    const std::string tmp = path + ".tmp";
    const int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        Log("cannot write " + tmp + ": " + std::strerror(errno));
        return;
    }
    (void)!::write(fd, text.data(), text.size());
    ::close(fd);
    std::rename(tmp.c_str(), path.c_str());
}

}  // namespace

bool SameName(const std::u16string& a, const std::u16string& b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (FoldChar(a[i]) != FoldChar(b[i]))
            return false;
    }
    return true;
}

const std::vector<std::u16string>& SystemDatabases() {
    static const std::vector<std::u16string> names{u"master", u"tempdb", u"model", u"msdb"};
    return names;
}

std::optional<std::u16string> FindDatabase(const std::u16string& name) {
    std::optional<std::u16string> found;
    for (const auto& s : SystemDatabases()) {
        if (SameName(s, name))
            found = s;
    }
    std::lock_guard lock(g_mutex);
    for (const auto& a : g_attached) {
        if (SameName(a.name, name))
            found = a.name;
    }
    return found;
}

std::vector<std::u16string> DatabaseNames() {
    std::vector<std::u16string> names = SystemDatabases();
    std::lock_guard lock(g_mutex);
    for (const auto& db : g_attached)
        names.push_back(db.name);
    return names;
}

bool IsHeld(const std::filesystem::path& canonical) {
    std::lock_guard lock(g_mutex);
    return HeldLocked(canonical);
}

Added AddDatabase(AttachedDatabase db) {
    std::lock_guard lock(g_mutex);
    for (const auto& s : SystemDatabases()) {
        if (SameName(s, db.name))
            return {AddResult::NameTaken};
    }
    for (const auto& a : g_attached) {
        if (SameName(a.name, db.name))
            return {AddResult::NameTaken};
    }
    for (std::size_t i = 0; i < db.canonical.size(); ++i) {
        if (HeldLocked(db.canonical[i]))
            return {AddResult::FileHeld, i};
    }
    g_attached.push_back(std::move(db));
    WriteDatabasesFileLocked();
    return {};
}

}  // namespace tdsserver
