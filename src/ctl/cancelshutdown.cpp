#include "cancelshutdown.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "commandline.h"
#include "control/controlprotocol.h"
#include "controlclient.h"

namespace tornavel::ctl {

namespace {

// Withdrawing decisions is quick; a bound for a monitor that hangs.
constexpr int kPatienceSeconds = 30;

std::string Directory(const char* variable, const char* standard)
{
    const char* given = std::getenv(variable);
    return given && *given ? given : standard;
}

// Runs systemctl (found in PATH) with these words; its exit status.
int Systemctl(const std::vector<std::string>& words)
{
    std::vector<char*> argv{const_cast<char*>("systemctl")};
    for (const auto& word : words) argv.push_back(const_cast<char*>(word.c_str()));
    argv.push_back(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::execvp(argv[0], argv.data());
        ::_exit(127);
    }
    int status = 0;
    if (pid < 0 || ::waitpid(pid, &status, 0) != pid) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

int CancelShutdown(const std::string& socketPath, std::ostream& out, std::ostream& err,
                   std::vector<std::string>& withdrawn)
{
    if (::geteuid() != 0) {
        err << "tornavelctl: cancel-shutdown is for root (it stops tornavel-shutdown.service)\n";
        return kExitUnitFailed;
    }
    const std::string state = Directory("TORNAVEL_STATE_DIR", "/var/lib/tornavel-monitor");
    const std::string run = Directory("TORNAVEL_RUN_DIR", "/run/tornavel");

    const ControlAnswer answer = AskMonitor(socketPath, control::kCancelShutdown, kPatienceSeconds);
    if (answer.refused) {
        err << "tornavelctl: " << answer.why << "; nothing done\n";
        return kExitUnitFailed;
    }
    if (answer.reached && !answer.lines) {
        err << "tornavelctl: tornavel-monitor did not withdraw its decision: " << answer.why << "; nothing else done\n";
        return kExitUnitFailed;
    }
    if (answer.reached) {
        for (const std::string& line : *answer.lines) {
            const auto words = control::SplitWords(line);
            if (words.size() != 2 || words[0] != control::kCancelled) continue;
            withdrawn.push_back(control::Unescape(words[1]).value_or(words[1]));
            out << withdrawn.back() << ": shutdown decision withdrawn\n";
        }
        if (answer.lines->empty()) out << "tornavel-monitor had no shutdown decision pending\n";
    } else {
        // The monitor reads the renamed decision when it starts and keeps the cancel.
        const std::string decision = state + "/shutdown";
        if (::rename(decision.c_str(), (state + "/cancelled").c_str()) == 0) {
            out << "tornavel-monitor is not running: its decision in " << state << " is withdrawn\n";
        } else if (errno != ENOENT) {
            err << "tornavelctl: tornavel-monitor is not running and " << decision
                << " cannot be withdrawn: " << std::strerror(errno) << "; nothing else done\n";
            return kExitUnitFailed;
        } else {
            out << "tornavel-monitor is not running and has no shutdown decision pending\n";
        }
    }

    int status = kExitDone;
    if (Systemctl({"stop", "tornavel-shutdown.service"}) != 0) {
        err << "tornavelctl: systemctl stop tornavel-shutdown.service failed\n";
        status = kExitUnitFailed;
    }
    const std::string armed = run + "/kill-power";
    if (::unlink(armed.c_str()) == 0) {
        out << "the unit's power-off at the end of a shutdown is disarmed\n";
    } else if (errno != ENOENT) {
        err << "tornavelctl: cannot remove " << armed << ": " << std::strerror(errno) << "\n";
        status = kExitUnitFailed;
    }
    ::rmdir((run + "/shutdown-started").c_str());
    return status;
}

}  // namespace tornavel::ctl
