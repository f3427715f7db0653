// The names of the collations that a primary file records only by number.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace mdf {

// The collation's name for a collation id as the boot page records it (the value
// COLLATIONPROPERTY(name, 'CollationID') gives), or nothing for an id this table does not know.
std::optional<std::u16string_view> CollationName(std::uint32_t id);

}  // namespace mdf
