// CREATE DATABASE … FOR ATTACH and FOR ATTACH_REBUILD_LOG: the checks SQL Server makes before it
// takes a database in (the name is free, every file opens, no file is in use, the primary file is
// not too new, every other file belongs to it), in SQL Server's order and with its messages; the
// files the statement does not name taken from where the primary file records them; a missing
// log made anew; and the attach itself.
#pragma once

#include <cstdint>

#include "token.h"
#include "tsql.h"

namespace tdsserver {

Outcome RunAttach(Writer& w, const tsql::CreateDatabaseForAttach& c, std::int32_t line);

}  // namespace tdsserver
