// The fixture maker of the tests: writes primary data files and log files in the layout that
// SQL Server writes and the reader (mdf/mdf.h) reads, and patches pages of existing files.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "mdf/mdf.h"

namespace mdf {

// What a fixture primary file records.
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

}  // namespace mdf
