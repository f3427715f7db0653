#include "mdf/collation.h"

namespace mdf {

std::optional<std::u16string_view> CollationName(std::uint32_t id) {
    // The collations detached files usually carry.
    switch (id) {
        case 872468488:
            return u"SQL_Latin1_General_CP1_CI_AS";
        case 53256:
            return u"Latin1_General_CI_AS";
        default:
            return std::nullopt;
    }
}

}  // namespace mdf
