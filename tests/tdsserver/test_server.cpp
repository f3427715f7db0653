#include "test_server.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <stdexcept>
#include <system_error>
#include <thread>

#include "kdc_env.h"
#include "transcript.h"

namespace testsrv {
namespace {

constexpr int kExitPortTaken = 2;  // the server's exit status when its port is in use
constexpr auto kReadyWait = std::chrono::seconds(20);

std::filesystem::path MakeTempDir() {
    const char* base = std::getenv("TMPDIR");
    std::string templ = std::string(base && *base ? base : "/tmp") + "/quillane-tds-XXXXXX";
    if (!::mkdtemp(templ.data())) {
        throw std::system_error(errno, std::generic_category(), "mkdtemp " + templ);
    }
    return templ;
}

struct Launch {
    pid_t pid = -1;
    int port = 0;
    int exitStatus = -1;  // set when the server ended before saying READY
    std::string output;
};

Launch Start(const std::vector<std::string>& args, const std::vector<std::string>& env) {
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0)
        throw std::system_error(errno, std::generic_category());
    const pid_t parent = ::getpid();
    const pid_t pid = ::fork();
    if (pid < 0)
        throw std::system_error(errno, std::generic_category(), "fork");
    if (pid == 0) {
        // The server must not outlive the test (this holds for the forking thread: tests start
        // servers from their main thread).
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (::getppid() != parent)
            ::_exit(127);
        ::dup2(out[1], 1);
        std::vector<char*> argv, envp;
        for (const auto& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        for (const auto& e : env)
            envp.push_back(const_cast<char*>(e.c_str()));
        envp.push_back(nullptr);
        ::execve(argv[0], argv.data(), envp.data());
        ::_exit(127);
    }
    ::close(out[1]);
    Launch l;
    l.pid = pid;
    const auto deadline = std::chrono::steady_clock::now() + kReadyWait;
    std::string buf;
    while (true) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              deadline - std::chrono::steady_clock::now())
                              .count();
        if (left <= 0)
            break;
        pollfd pfd{out[0], POLLIN, 0};
        if (::poll(&pfd, 1, int(left)) <= 0)
            continue;
        char chunk[256];
        const ssize_t n = ::read(out[0], chunk, sizeof chunk);
        if (n <= 0)
            break;
        buf.append(chunk, std::size_t(n));
        const auto eol = buf.find('\n');
        if (eol != std::string::npos) {
            if (buf.rfind("READY ", 0) == 0)
                l.port = std::atoi(buf.c_str() + 6);
            break;
        }
    }
    ::close(out[0]);
    l.output = buf;
    if (l.port <= 0) {
        int status = 0;
        // Gone already (port taken, bad arguments) or stuck: either way, make sure it is gone.
        if (::waitpid(pid, &status, WNOHANG) == 0) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
        }
        l.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        l.pid = -1;
    }
    return l;
}

}  // namespace

std::filesystem::path ServerBinary() {
    return QUILLANE_TESTSERVER_PATH;
}

TestServer::TestServer(Options o) : dir_(MakeTempDir()) {
    std::filesystem::create_directory(dir_ / "log");
    std::vector<std::string> args{ServerBinary().string(),        "--transcript",
                                  (dir_ / "transcript").string(), "--databases",
                                  (dir_ / "databases").string(),  "--log-dir",
                                  (dir_ / "log").string()};
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e)
        env.emplace_back(*e);
    if (o.kerberos) {
        args.insert(args.end(), {"--keytab", testkdc::Keytab().string()});
        // The acceptor reads the realm's krb5.conf, whatever the test process points at.
        std::erase_if(env, [](const std::string& e) { return e.rfind("KRB5_CONFIG=", 0) == 0; });
        env.push_back("KRB5_CONFIG=" + (testkdc::Dir() / "krb5.conf").string());
    }
    for (const auto& l : o.sqlLogins)
        args.insert(args.end(), {"--sql-login", l});
    if (o.closeAfter >= 0)
        args.insert(args.end(), {"--close-after", std::to_string(o.closeAfter)});
    if (o.delayMs > 0)
        args.insert(args.end(), {"--delay-ms", std::to_string(o.delayMs)});
    if (o.delayBatch > 0)
        args.insert(args.end(), {"--delay-batch", std::to_string(o.delayBatch)});
    if (o.statementDelayMs > 0)
        args.insert(args.end(), {"--statement-delay-ms", std::to_string(o.statementDelayMs)});
    if (o.exitAfter >= 0)
        args.insert(args.end(), {"--exit-after", std::to_string(o.exitAfter)});
    if (o.refuseLogins)
        args.push_back("--refuse-logins");

    std::vector<int> ports;
    if (o.port == -1) {
        for (int p = 14331; p <= 14360; ++p)
            ports.push_back(p);
    } else {
        ports.push_back(o.port);
    }
    std::string last;
    for (int p : ports) {
        auto withPort = args;
        withPort.insert(withPort.end(), {"--port", std::to_string(p)});
        Launch l = Start(withPort, env);
        if (l.port > 0) {
            pid_ = l.pid;
            port_ = l.port;
            return;
        }
        last = "exit status " + std::to_string(l.exitStatus) + ", output '" + l.output + "'";
        if (l.exitStatus != kExitPortTaken)
            break;
    }
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
    throw std::runtime_error("quillane-testserver did not start (" + last +
                             "); see its stderr above");
}

TestServer::~TestServer() {
    Stop();
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
}

int TestServer::Port() const {
    return port_;
}

std::vector<Batch> TestServer::Transcript() const {
    std::vector<Batch> out;
    for (auto& r : tdsfiles::ReadTranscript(dir_ / "transcript")) {
        out.push_back({std::move(r.login), std::move(r.text)});
    }
    return out;
}

std::vector<std::vector<std::u16string>> TestServer::Databases() const {
    return tdsfiles::ReadDatabases(dir_ / "databases");
}

std::filesystem::path TestServer::LogDir() const {
    return dir_ / "log";
}

void TestServer::Stop() {
    if (pid_ <= 0)
        return;
    ::kill(pid_, SIGTERM);
    int status = 0;
    for (int i = 0; i < 100; ++i) {
        if (::waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, &status, 0);
    pid_ = -1;
}

bool TestServer::Running() const {
    if (pid_ <= 0)
        return false;
    int status = 0;
    const pid_t r = ::waitpid(pid_, &status, WNOHANG);
    if (r == pid_) {
        pid_ = -1;
        return false;
    }
    return true;
}

}  // namespace testsrv
