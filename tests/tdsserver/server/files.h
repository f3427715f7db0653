// Opening database files the way SQL Server does before it reads them: a file an attached
// database holds is in use, a missing or unreadable one is an operating system error, and one
// that is not what it should be gets the server's words for why.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

#include "mdf/mdf.h"
#include "token.h"

namespace tdsserver {

// A path as the client wrote it, for the file system; and resolved (.., symlinks) where it can
// be, so that two spellings of one file compare equal.
std::filesystem::path ToPath(const std::u16string& path);
std::filesystem::path Canonical(const std::u16string& path);

// Reports why the file cannot serve as a primary file (5120, 5171, 5172) and returns nothing, or
// returns what it records.
std::optional<mdf::PrimaryFile> OpenPrimary(Writer& w, const std::u16string& path,
                                            std::int32_t line);

}  // namespace tdsserver
