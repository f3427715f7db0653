#pragma once

// Checks that need a user whom permission bits stop: root reads and writes whatever the bits say,
// so as root the check runs in a child process that has become "nobody" (uid 65534).

#include <sys/wait.h>
#include <unistd.h>

#include <functional>

namespace testsupport {

enum class Unprivileged { Held, Failed, CannotDrop };

// Runs `check` as a user without privileges: in this process when it has none, else in a child
// that drops to uid and gid 65534. CannotDrop when the child could not become that user.
inline Unprivileged AsUnprivilegedUser(const std::function<bool()>& check) {
    if (::geteuid() != 0) {
        return check() ? Unprivileged::Held : Unprivileged::Failed;
    }
    const pid_t child = ::fork();
    if (child < 0) {
        return Unprivileged::CannotDrop;
    }
    if (child == 0) {
        if (::setgid(65534) != 0 || ::setuid(65534) != 0) {
            ::_exit(2);
        }
        ::_exit(check() ? 0 : 1);
    }
    int status = 0;
    if (::waitpid(child, &status, 0) != child || !WIFEXITED(status)) {
        return Unprivileged::Failed;
    }
    switch (WEXITSTATUS(status)) {
        case 0:
            return Unprivileged::Held;
        case 2:
            return Unprivileged::CannotDrop;
        default:
            return Unprivileged::Failed;
    }
}

}  // namespace testsupport
