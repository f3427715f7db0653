// Starts quillane-testserver (the loopback stand-in for SQL Server) for a test, and reads back
// what it saw: the batches it received and the databases it attached.
#pragma once

#include <sys/types.h>
#include <filesystem>
#include <string>
#include <vector>

namespace testsrv {

struct Batch {
    std::string login;
    std::u16string text;
};

struct Options {
    std::vector<std::string> sqlLogins = {};  // "user:password"
    bool kerberos = true;                     // pass the test KDC's keytab (testkdc::Keytab())
    int port = -1;  // -1: first free in 14331..14360 (the Kerberos range); 0: any; else exact
    int closeAfter = -1;
    int delayMs = 0;
    int delayBatch = -1;       // with delayMs: only this batch (counted from 1) is delayed
    int statementDelayMs = 0;  // every statement waits this long before it runs
    int exitAfter = -1;
    bool refuseLogins = false;
};

class TestServer {
  public:
    // Starts the server and waits (bounded) for it to listen; throws std::runtime_error when it
    // cannot.
    explicit TestServer(Options o = {});
    ~TestServer();  // SIGTERM + wait
    TestServer(const TestServer&) = delete;
    TestServer& operator=(const TestServer&) = delete;

    int Port() const;
    std::vector<Batch> Transcript() const;
    std::vector<std::vector<std::u16string>> Databases() const;  // name, file1, file2, ...
    // The server's default log directory, where FOR ATTACH rebuilds a log it cannot find.
    std::filesystem::path LogDir() const;
    void Stop();
    bool Running() const;

  private:
    mutable pid_t pid_ = -1;  // reaped by Running() once the server has gone
    int port_ = 0;
    std::filesystem::path dir_;
};

// Compiled-in path of quillane-testserver.
std::filesystem::path ServerBinary();

}  // namespace testsrv
