// How the test server was started (its command line) and what it says it is: the options every
// other room reads, the server's name and database version, and its stderr log.
#pragma once

#include <map>
#include <string>

namespace tdsserver {

inline constexpr int kServerDatabaseVersion = 904;  // SQL Server 2019
inline constexpr char16_t kServerName[] = u"QUILLANE-TEST";
inline constexpr int kExitPortTaken = 2;  // exit status when --port is in use

struct Config {
    int port = 0;
    std::string keytab;
    std::map<std::string, std::string> sqlLogins;  // user -> password
    std::string transcriptPath;
    std::string databasesPath;
    // SQL Server's default log directory: where FOR ATTACH rebuilds a log it cannot find.
    std::string logDir;
    // Fault injection (faults.h).
    int closeAfter = -1;
    int delayMs = 0;
    long long delayBatch = -1;  // with delayMs: only this batch (counted from 1) waits
    int statementDelayMs = 0;   // every statement of every batch waits this long before it runs
    int exitAfter = -1;
    bool refuseLogins = false;
    // Windows drives as a Windows client under Wine sees this machine: 'Z' -> "/" makes
    // "Z:\srv\a.mdf" the file /srv/a.mdf. Statements, messages and the databases file keep the
    // client's own spelling.
    std::map<char, std::string> drives;
};

// Set once by ParseArgs before any session starts; read-only afterwards.
const Config& Options();
void ParseArgs(int argc, char** argv);

// One line on stderr, prefixed with the program's name.
void Log(const std::string& text);

}  // namespace tdsserver
