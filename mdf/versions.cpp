#include "mdf/versions.h"

#include <array>

namespace mdf {
namespace {

struct Release {
    int version;
    std::string_view name;
};

// In version order; where one release writes two versions (a service pack or cumulative update
// changed the format), both are listed.
constexpr std::array kReleases = {
    Release{611, "SQL Server 2005"},    Release{612, "SQL Server 2005"},
    Release{655, "SQL Server 2008"},    Release{660, "SQL Server 2008 R2"},
    Release{661, "SQL Server 2008 R2"}, Release{706, "SQL Server 2012"},
    Release{782, "SQL Server 2014"},    Release{852, "SQL Server 2016"},
    Release{868, "SQL Server 2017"},    Release{869, "SQL Server 2017"},
    Release{904, "SQL Server 2019"},    Release{957, "SQL Server 2022"},
};
static_assert(kReleases.back().version == kNewestKnownVersion);

}  // namespace

std::optional<std::string_view> ReleaseWriting(int version) {
    for (const Release& r : kReleases) {
        if (r.version == version) {
            return r.name;
        }
    }
    return std::nullopt;
}

std::optional<std::string_view> OldestReleaseAttaching(int version) {
    for (const Release& r : kReleases) {
        if (r.version >= version) {
            return r.name;
        }
    }
    return std::nullopt;
}

}  // namespace mdf
