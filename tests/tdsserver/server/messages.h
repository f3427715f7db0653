// SQL Server's own words: every message the test server sends, as number, state, severity and
// text, one function each, worded byte for byte as SQL Server 2019 words it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "token.h"

namespace tdsserver {

struct SqlMessage {
    std::int32_t number = 0;
    std::uint8_t state = 1;
    std::uint8_t severity = 16;  // > 10 travels as ERROR, otherwise as INFO
    std::u16string text;
};

// Writes the message as an ERROR or INFO token by its severity.
void Put(Writer& w, const SqlMessage& m, std::int32_t line = 1);

std::u16string Decimal(long long n);

// Opening files.
SqlMessage UnableToOpen(const std::u16string& path, int osError);  // 5120; os error 2, 5 or 32
SqlMessage NotPrimaryFile(const std::u16string& path);             // 5171
SqlMessage BadFileHeader(const std::u16string& path, std::u16string_view property);  // 5172
SqlMessage TooNew(const std::u16string& name, int version);                          // 948

// Attaching.
SqlMessage AlreadyExists(const std::u16string& name);    // 1801
SqlMessage FilesNotCreated();                            // 1802
SqlMessage CouldNotOpenNew(const std::u16string& name);  // 1813
SqlMessage FilesDoNotMatch();                            // 5173
// A file the statement did not name, not found where the primary file records it, and the log
// made in its place; both severity 10.
SqlMessage FileActivationFailure(const std::u16string& path);  // 5111
SqlMessage NewLogFileCreated(const std::u16string& path);      // 5182
SqlMessage FileAlreadyExists(const std::u16string& path);      // 5170
SqlMessage CreateFileFailed(const std::u16string& path);       // 5123, os error 3

// DBCC.
SqlMessage DbccDone();  // 2528

// Sessions.
SqlMessage DatabaseDoesNotExist(const std::u16string& name);                 // 911
SqlMessage CannotOpenRequestedDatabase(const std::u16string& name);          // 4060
SqlMessage LoginFailed(const std::u16string& login);                         // 18456
SqlMessage UntrustedDomain();                                                // 18452
SqlMessage ChangedDatabase(const std::u16string& name, std::uint8_t state);  // 5701
SqlMessage ChangedLanguage();                                                // 5703

}  // namespace tdsserver
