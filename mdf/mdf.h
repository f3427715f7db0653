// Reading SQL Server primary data files without a server: what a primary file records (the
// database's name, versions and collation, and every file of the database with the path it had at
// detach time) and the file header of any database file. Reads only pages 0, 9 and 32 (and the
// file list's IAM when the list spills); anything that does not add up is a status, never a guess.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace mdf {

inline constexpr std::size_t kPageSize = 8192;

using BindingId = std::array<std::uint8_t, 16>;

struct FileEntry {
    std::int32_t status = 0;      // 0x40 marks a log file (IsLogFile)
    std::int16_t fileId = 0;      // 1 = primary data file, 2 = first log file
    std::u16string logicalName;   // trailing blanks removed
    std::u16string physicalName;  // trailing blanks removed
};

// Whether the entry is a log file. Only the status says so: a second log file takes whatever id
// is free when it is added, so ids above 2 are data and log files alike.
inline bool IsLogFile(const FileEntry& entry) {
    return (entry.status & 0x40) != 0;
}

// What a primary data file records about its database.
struct PrimaryFile {
    std::u16string databaseName;
    std::int16_t version = 0;        // database version, e.g. 655 (2008) or 904 (2019)
    std::int16_t createVersion = 0;  // version the database was created at
    std::int16_t databaseId = 0;
    std::uint32_t collationId = 0;
    BindingId bindingId{};         // shared by every file of one database (page 0)
    std::vector<FileEntry> files;  // in record order
};

// What page 0 of any database file (data or log) records. The binding id is the first
// variable-length column of page 0's record (slot 0, followed through the slot array): record
// offset 106 at version 611, 110 at 655, 111 from 706 on, so it is found via the record's
// column-offset array rather than at a fixed offset.
struct FileHeader {
    std::int16_t fileId = 0;
    BindingId bindingId{};
};

enum class ReadStatus {
    Ok,
    NotFound,      // the path does not exist (the server's operating system error 2)
    AccessDenied,  // exists but cannot be opened for reading (error 5)
    NotPrimary,    // readable, but page 9 is not a boot page (5171)
    BadHeader,     // page 0 is not a file header or is cut short (5172)
    Damaged,       // boot page or file list is inconsistent (torn records, bad lengths, ...)
};

template <typename T>
struct ReadResult {
    ReadStatus status = ReadStatus::Ok;
    std::string detail;  // for Damaged/BadHeader: what was wrong, for the server's log
    T value{};
    explicit operator bool() const { return status == ReadStatus::Ok; }
};

ReadResult<PrimaryFile> ReadPrimaryFile(const std::filesystem::path& path);
ReadResult<FileHeader> ReadFileHeader(const std::filesystem::path& path);

// The binding id as 32 hex digits in on-disk byte order (what mdfmake's --binding takes), and
// back (exactly 32 hex digits, false on anything else; the dashed display form below is
// byte-swapped and deliberately not accepted, to keep the two from being confused).
std::string BindingIdHex(const BindingId& id);
bool ParseBindingId(std::string_view text, BindingId& out);
// The binding id as SQL Server displays it (DBCC FILEHEADER): first three groups little-endian.
std::string BindingIdGuid(const BindingId& id);

const char* ToString(ReadStatus status);

std::string ToUtf8(const std::u16string& text);
std::u16string FromUtf8(const std::string& text);  // invalid sequences become U+FFFD

}  // namespace mdf
