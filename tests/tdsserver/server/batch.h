// One SQL batch: recorded in the transcript, put through the injected faults, compiled whole
// (tsql.h) so that a syntax error anywhere means nothing runs, then each statement handed to the
// room that answers it (dbcc.h, attach.h; SELECT name FROM sys.databases, USE and SET here), each
// closed by its DONE token.
#pragma once

#include <cstdint>
#include <vector>

namespace tdsserver {

struct Session;

// False when the connection ends.
bool HandleBatch(Session& s, const std::vector<std::uint8_t>& payload);

}  // namespace tdsserver
