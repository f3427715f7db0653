// quillane-testserver: a loopback TDS server that answers the statements Quillane sends the way
// SQL Server 2019 does, from the real bytes of the .mdf files named in them. A test fixture only.
//
// This file is the listener: start-up (options, signals, Kerberos environment), the socket on
// 127.0.0.1, "READY <port>" on stdout, and one thread per accepted connection (session.h). The
// other rooms are listed in README.md.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "config.h"
#include "session.h"

int main(int argc, char** argv) {
    using namespace tdsserver;
    ParseArgs(argc, argv);
    // Never outlive whoever started us (a test that crashed must not leave a server behind).
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (getppid() == 1)
        return 1;
    ::signal(SIGPIPE, SIG_IGN);
    ::signal(SIGTERM, [](int) { ::_exit(0); });
    ::signal(SIGINT, [](int) { ::_exit(0); });

    if (!Options().keytab.empty())
        ::setenv("KRB5_KTNAME", Options().keytab.c_str(), 1);
    // Replay detection adds nothing for a loopback fixture and needs a writable cache directory.
    ::setenv("KRB5RCACHETYPE", "none", 0);

    const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listener < 0) {
        Log(std::string("socket: ") + std::strerror(errno));
        return 1;
    }
    const int one = 1;
    ::setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(std::uint16_t(Options().port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        const int err = errno;
        Log("cannot listen on 127.0.0.1:" + std::to_string(Options().port) + ": " +
            std::strerror(err));
        return err == EADDRINUSE ? kExitPortTaken : 1;
    }
    // With SO_REUSEADDR two servers starting at once can both bind the port; only the first to
    // listen keeps it, and the other must try the next port as if the bind had failed.
    if (::listen(listener, 64) != 0) {
        const int err = errno;
        Log("cannot listen on 127.0.0.1:" + std::to_string(Options().port) + ": " +
            std::strerror(err));
        return err == EADDRINUSE ? kExitPortTaken : 1;
    }
    socklen_t len = sizeof addr;
    ::getsockname(listener, reinterpret_cast<sockaddr*>(&addr), &len);
    std::printf("READY %d\n", ntohs(addr.sin_port));
    std::fflush(stdout);

    while (true) {
        const int fd = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) {
            if (errno == EINTR || errno == ECONNABORTED || errno == EMFILE)
                continue;
            Log(std::string("accept: ") + std::strerror(errno));
            return 1;
        }
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        std::thread([fd] {
            Session s(fd);
            s.Run();
        }).detach();
    }
}
