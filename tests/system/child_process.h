#pragma once
// Starting a program for a test: fork and exec with the given descriptors as
// its standard input, output and error (-1 keeps the test's own). The child
// gets `deathSignal` when the test process dies, so nothing outlives a test.
#include <signal.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace tornavel::testing {

inline pid_t Spawn(std::vector<std::string> args, int in, int out, int err, int deathSignal = SIGKILL)
{
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::prctl(PR_SET_PDEATHSIG, deathSignal);
        if (in >= 0) ::dup2(in, STDIN_FILENO);
        if (out >= 0) ::dup2(out, STDOUT_FILENO);
        if (err >= 0) ::dup2(err, STDERR_FILENO);
        std::vector<char*> argv;
        for (std::string& arg : args) argv.push_back(arg.data());
        argv.push_back(nullptr);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    return pid;
}

}  // namespace tornavel::testing
