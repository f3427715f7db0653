// Which SQL Server release writes which database version (boot page offset 100), and so which
// releases can attach a file: a release upgrades older versions as it attaches them and refuses
// newer ones with error 948. (How far back each release reaches is not recorded here.)
//
// The versions are the ones each release writes once it has opened a database, as listed by
// "Microsoft SQL Server Internal Database Versions and Compatibility Levels"
// (sqlserverbuilds.blogspot.com/2014/01/sql-server-internal-database-versions.html: 611/612 2005,
// 655 2008, 660/661 2008 R2, 706 2012, 782 2014, 852 2016, 868/869 2017, 904 2019, 957 2022) and
// by Aaron Bertrand, "The importance of SQL Server's internal database version" (MSSQLTips tip
// 7261, 2022), which lists the same numbers; error 948's own text is Microsoft's
// (learn.microsoft.com, MSSQLSERVER_948). The real samples agree: 611, 655, 706 and 904.
#pragma once

#include <optional>
#include <string_view>

namespace mdf {

// The newest version any release writes (SQL Server 2022). A newer file is refused by every
// release this table knows, with error 948.
inline constexpr int kNewestKnownVersion = 957;

// The release that writes `version`, e.g. "SQL Server 2019" for 904; nothing for versions that
// only pre-release builds wrote.
std::optional<std::string_view> ReleaseWriting(int version);

// The oldest release that can attach a file of `version`: the one that writes it, or for a
// pre-release version the first release that writes a newer one. Nothing when `version` is newer
// than kNewestKnownVersion.
std::optional<std::string_view> OldestReleaseAttaching(int version);

}  // namespace mdf
