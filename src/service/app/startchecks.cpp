#include "app/startchecks.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>

#include "protection/shutdownflag.h"
#include "publish/credentials.h"

namespace tornavel::service {

namespace {

bool IsProgram(const std::string& path)
{
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

// The event program is started as the shell would find it: a name without a
// slash is looked up in PATH.
bool CanRun(const std::string& program)
{
    if (program.find('/') != std::string::npos) return IsProgram(program);
    const char* path = std::getenv("PATH");
    std::istringstream dirs(path ? path : "/usr/bin:/bin");
    for (std::string dir; std::getline(dirs, dir, ':');)
        if (IsProgram((dir.empty() ? "." : dir) + "/" + program)) return true;
    return false;
}

std::string Resolved(const std::string& path)
{
    char resolved[PATH_MAX];
    return ::realpath(path.c_str(), resolved) ? resolved : path;
}

}  // namespace

std::optional<std::string> StartProblem(const MonitorOptions& options)
{
    if (options.onEvent && !CanRun(*options.onEvent))
        return "--on-event program '" + *options.onEvent + "' does not exist or is not executable";
    if (const auto problem = BootIdProblem(options.protection)) return problem;
    if (const auto problem = FollowerFileProblem(options.protection)) return problem;
    return SameDeviceTwice(options);
}

std::optional<std::string> BootIdProblem(const ProtectOptions& protection)
{
    // A dry run records nothing, but it is how a setup is tried: it must
    // fail where the real run would.
    if (!protection.Enabled() || !CurrentBootId(protection.bootIdFile).empty()) return std::nullopt;
    return std::string("host protection: cannot read the boot id from ") + protection.bootIdFile +
           " (a decision must say which boot it belongs to; under systemd, the unit needs ProcSubset=all)";
}

std::optional<std::string> FollowerFileProblem(const ProtectOptions& protection)
{
    // Read at every request to the primary: refused now rather than failing for ever.
    for (const auto& [option, file] :
         {std::pair{"--follow-ca", protection.followCa}, std::pair{"--follow-auth", protection.followAuth}})
        if (file && !std::ifstream(*file)) return UnreadableFile(option, *file, errno);
    return std::nullopt;
}

std::optional<std::string> SameDeviceTwice(const MonitorOptions& options)
{
    // A device is known by its device number (a terminal) or its file.
    std::map<std::pair<dev_t, ino_t>, const UnitPort*> seen;
    for (const UnitPort& unit : options.units) {
        const std::string path = UnitDevice(unit, options.portsDir);
        struct stat status {};
        if (path.empty() || ::stat(path.c_str(), &status) != 0) continue;
        const auto key = S_ISCHR(status.st_mode) ? std::make_pair(status.st_rdev, ino_t{0})
                                                 : std::make_pair(status.st_dev, status.st_ino);
        const auto [place, fresh] = seen.emplace(key, &unit);
        if (!fresh)
            return "ports '" + place->second->label + "' and '" + unit.label + "' are the same device (" +
                   Resolved(path) + ")";
    }
    return std::nullopt;
}

}  // namespace tornavel::service
