#include "controlclient.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "control/controlprotocol.h"
#include "control/linesocket.h"

namespace tornavel::ctl {

using namespace control;

ControlAnswer AskMonitor(const std::string& socketPath, const std::string& request, int patienceSeconds)
{
    ControlAnswer answer;
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (socketPath.size() >= sizeof address.sun_path) {
        answer.why = "control socket path too long";
        return answer;
    }
    std::memcpy(address.sun_path, socketPath.c_str(), socketPath.size() + 1);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        const int error = errno;
        ::close(fd);
        answer.refused = error == EACCES || error == EPERM;
        answer.why = answer.refused ? "only root may use tornavel-monitor's control socket " + socketPath : "";
        return answer;
    }
    answer.reached = true;
    SetTimeouts(fd, patienceSeconds);
    std::vector<std::string> lines;
    std::optional<std::string> line;
    // A monitor that refuses says why at once and may close before reading
    // the request: its answer is read whatever became of the writing.
    if (WriteLine(fd, kGreeting)) WriteLine(fd, request);
    while ((line = ReadLine(fd, kMaxLine)) && *line != kOk && line->rfind(kError, 0) != 0) lines.push_back(*line);
    ::close(fd);
    if (line && *line == kOk) {
        answer.lines = std::move(lines);
        return answer;
    }
    answer.why = line ? line->substr(std::min(line->size(), kError.size() + 1))
                      : "tornavel-monitor did not finish its answer on " + socketPath;
    return answer;
}

}  // namespace tornavel::ctl
