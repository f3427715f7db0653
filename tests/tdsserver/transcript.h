// The two files the test server leaves for tests to read.
//
// Transcript: one record per batch received, in arrival order:
//   "BATCH <n> BYTES <len> LOGIN <login>\n" <len bytes of UTF-8 text> "\n"
// The text is the batch exactly as sent; unpaired UTF-16 surrogates are kept as their 3-byte
// generalized UTF-8 form, so every batch reads back to the same UTF-16 it arrived as.
//
// Databases: one line per attached database, "name\tfile1\tfile2...\n", UTF-8, rewritten
// whole (write then rename) after every successful attach. The files are those the database
// holds: as the statement named them, then a log found where the primary file records it or
// rebuilt. A name or path may hold any character SQL Server allows, tab and line breaks included,
// so within a field a backslash, tab, CR and LF are written as \\, \t, \r and \n; nothing else
// is escaped.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace tdsfiles {

struct TranscriptRecord {
    long long number = 0;
    std::string login;
    std::u16string text;
};

std::string ToUtf8(std::u16string_view text);
std::u16string FromUtf8(std::string_view text);

std::string FormatTranscriptRecord(long long number, const std::string& login,
                                   std::u16string_view text);
// Reads every complete record; a record cut short at the end of the file is left out.
std::vector<TranscriptRecord> ReadTranscript(const std::filesystem::path& file);

std::string FormatDatabases(const std::vector<std::vector<std::u16string>>& rows);
std::vector<std::vector<std::u16string>> ParseDatabases(std::string_view text);
std::vector<std::vector<std::u16string>> ReadDatabases(const std::filesystem::path& file);

}  // namespace tdsfiles
