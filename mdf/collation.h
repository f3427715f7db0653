// The names of the collations that a primary file records only by number.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace mdf {

// The collation's name, as sys.fn_helpcollations() spells it, for a collation id as the boot page
// records it (the value COLLATIONPROPERTY(name, 'CollationID') gives), or nothing for an id this
// table does not know. Knows every collation of SQL Server 2017; the _UTF8 ones of later versions
// are not known. Safe to call from several threads.
std::optional<std::u16string_view> CollationName(std::uint32_t id);

}  // namespace mdf
