// Reading and writing SQL Server primary data files, for the loopback test server and
// the test fixtures. Reads only what the server needs to answer DBCC checkprimaryfile and
// CREATE DATABASE ... FOR ATTACH: the file header (page 0), the boot page (page 9) and the
// file list (page 32).
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
    std::int32_t status = 0;      // 0x40 marks a log file
    std::int16_t fileId = 0;      // 1 = primary data file, 2 = first log file
    std::u16string logicalName;   // trailing blanks removed
    std::u16string physicalName;  // trailing blanks removed
};

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

// The fixture maker: writes a primary data file (and a log file) in the same layout the
// reader understands and that SQL Server writes.
struct FixtureSpec {
    std::u16string databaseName;
    std::int16_t version = 904;
    std::uint32_t collationId = 872468488;  // SQL_Latin1_General_CP1_CI_AS
    BindingId bindingId{};                  // all zero = derive one from the name
    bool tornPageProtection = false;        // write pages with torn bits (flag 0x100)
    std::vector<FileEntry> files;           // e.g. {2, 1, u"db1", u"E:\\old\\db1.mdf"}, ...
    // Added after the first cut; defaults keep older callers unchanged.
    std::int16_t createVersion = 0;  // 0 = same as `version`
    std::int16_t databaseId = 5;
};

// Writes the primary data file at `path`. Throws std::runtime_error on I/O failure.
void WritePrimaryFile(const std::filesystem::path& path, const FixtureSpec& fixture);
// Writes a log file whose page 0 carries `bindingId` and `fileId`.
void WriteLogFile(const std::filesystem::path& path, const BindingId& bindingId,
                  std::int16_t fileId = 2);

// Writes a log file that matches the primary data file at `primaryPath` (its binding id).
// Throws std::runtime_error when the primary file's header cannot be read.
void WriteMatchingLogFile(const std::filesystem::path& primaryPath,
                          const std::filesystem::path& logPath, std::int16_t fileId = 2);

// Overwrites `size` bytes at `offset` within page `pageId` of an existing file and keeps the
// page's protection consistent (torn bits redone, checksum recomputed), so that a test's
// deliberate damage is caught by the check it aims at rather than by the page checksum.
// Throws std::runtime_error on I/O failure or when the range lies outside the file.
void PatchPage(const std::filesystem::path& path, std::uint32_t pageId, std::size_t offset,
               const void* data, std::size_t size);

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
