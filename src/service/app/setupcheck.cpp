#include "app/setupcheck.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>

#include "app/startchecks.h"

namespace tornavel::service {

namespace {

// Empty when the file can be used as asked, else the reason.
std::string Problem(const std::string& path, bool executable)
{
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) return std::strerror(errno);
    if (executable && (!S_ISREG(info.st_mode) || ::access(path.c_str(), X_OK) != 0)) return "not an executable file";
    return {};
}

}  // namespace

int CheckSetup(const MonitorOptions& options, std::FILE* out, std::FILE* err)
{
    int problems = 0;
    auto check = [&](const std::string& what, const std::string& path, bool executable) {
        if (const std::string problem = Problem(path, executable); !problem.empty()) {
            std::fprintf(err, "tornavel-monitor: %s %s: %s\n", what.c_str(), path.c_str(), problem.c_str());
            ++problems;
        }
    };
    for (const ListenAddress& address : options.listen) std::fprintf(out, "listen %s\n", address.text.c_str());
    if (options.webConfigFile)
        std::fprintf(out, "web config %s: %s, %zu user%s\n", options.webConfigFile->c_str(),
                     options.web.certPem.empty() ? "plain HTTP" : "HTTPS", options.web.users.size(),
                     options.web.users.size() == 1 ? "" : "s");
    for (const UnitPort& unit : options.units) {
        const std::string device = UnitDevice(unit, options.portsDir);
        std::fprintf(out, "unit %s%s%s on %s\n", unit.label.c_str(), unit.name.empty() ? "" : " named ",
                     unit.name.c_str(), device.c_str());
        check("port " + unit.label + ":", device, false);
    }
    if (options.textfile) {
        std::fprintf(out, "textfile %s\n", options.textfile->c_str());
        const std::string dir = std::filesystem::path(*options.textfile).parent_path().string();
        check("text file directory", dir.empty() ? "." : dir, false);
    }
    if (options.onEvent) {
        std::fprintf(out, "on-event %s (timeout %d s)\n", options.onEvent->c_str(), options.hookTimeoutSeconds);
        check("event program", *options.onEvent, true);
    }
    for (const auto& problem :
         {BootIdProblem(options.protection), FollowerFileProblem(options.protection), SameDeviceTwice(options)}) {
        if (!problem) continue;
        std::fprintf(err, "tornavel-monitor: %s\n", problem->c_str());
        ++problems;
    }
    std::fprintf(out, problems ? "not ready: %d problem%s\n" : "ready\n", problems, problems == 1 ? "" : "s");
    return problems ? 2 : 0;
}

}  // namespace tornavel::service
