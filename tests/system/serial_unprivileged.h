#pragma once
// Runs a piece of a test as an unprivileged user: root walks past TIOCEXCL,
// so exclusivity can only be seen without root.
#include <grp.h>
#include <pwd.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <optional>

namespace tornavel::testing {

// A child's exit code when it could not give up root.
constexpr int kCannotDropPrivileges = 99;

// True when the test runs unprivileged already or can become "nobody".
inline bool CanRunUnprivileged()
{
    return ::geteuid() != 0 || ::getpwnam("nobody") != nullptr;
}

// Runs body in a forked child (as "nobody" when the test runs as root) and
// returns the child's exit code, or nullopt if it did not exit normally.
// The body must not use gtest assertions: it reports through its result.
template <typename Body>
std::optional<int> RunUnprivileged(Body body)
{
    const passwd* nobody = ::getpwnam("nobody");
    const uid_t uid = nobody ? nobody->pw_uid : 0;
    const gid_t gid = nobody ? nobody->pw_gid : 0;
    const pid_t pid = ::fork();
    if (pid < 0) return std::nullopt;
    if (pid == 0) {
        if (::geteuid() == 0 && (!nobody || ::setgroups(0, nullptr) != 0 || ::setgid(gid) != 0 || ::setuid(uid) != 0))
            ::_exit(kCannotDropPrivileges);
        ::_exit(body());
    }
    int status = 0;
    if (::waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return std::nullopt;
    return WEXITSTATUS(status);
}

}  // namespace tornavel::testing
