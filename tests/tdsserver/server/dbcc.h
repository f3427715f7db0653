// DBCC checkprimaryfile: option 2 (the database's name, version and collation id as the primary
// file records them) and option 3 (one row per file the database had, with its recorded path).
#pragma once

#include <cstdint>

#include "token.h"
#include "tsql.h"

namespace tdsserver {

Outcome RunDbcc(Writer& w, const tsql::DbccCheckPrimaryFile& d, std::int32_t line);

}  // namespace tdsserver
