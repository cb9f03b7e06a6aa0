#include "publish/selfmetrics.h"

#include <dirent.h>
#include <sys/resource.h>
#include <time.h>
#include <unistd.h>

#include <charconv>
#include <fstream>
#include <optional>
#include <sstream>
#include <vector>

namespace tornavel::service {

namespace {

std::string Number(double value)
{
    char buffer[32];
    return std::string(buffer, std::to_chars(buffer, buffer + sizeof buffer, value).ptr);
}

void Write(std::string& out, const char* name, const char* type, const char* help, double value)
{
    out += std::string("# HELP ") + name + " " + help + "\n# TYPE " + name + " " + type + "\n";
    out += std::string(name) + " " + Number(value) + "\n";
}

// The fields of /proc/self/stat after the command name (which may hold
// blanks and parentheses, so it is skipped up to its last ")"); field 3
// (the state) is the first.
std::vector<std::string> StatFields()
{
    std::ifstream file("/proc/self/stat");
    std::string line;
    std::getline(file, line);
    const auto close = line.rfind(')');
    if (close == std::string::npos) return {};
    std::istringstream rest(line.substr(close + 1));
    std::vector<std::string> fields;
    for (std::string field; rest >> field;) fields.push_back(field);
    return fields;
}

std::optional<double> Field(const std::vector<std::string>& fields, std::size_t number)
{
    const std::size_t index = number - 3;
    if (index >= fields.size()) return std::nullopt;
    double value = 0;
    const auto& text = fields[index];
    if (std::from_chars(text.data(), text.data() + text.size(), value).ec != std::errc()) return std::nullopt;
    return value;
}

std::optional<double> OpenFds()
{
    DIR* dir = ::opendir("/proc/self/fd");
    if (!dir) return std::nullopt;
    double count = 0;
    while (const dirent* entry = ::readdir(dir))
        if (entry->d_name[0] != '.') ++count;
    ::closedir(dir);
    return count - 1;  // the directory's own descriptor
}

// Unix time of the boot, from the two clocks: /proc/stat, which has it
// written out, is outside a sandbox that shows only processes.
double BootSeconds()
{
    timespec real{}, boot{};
    ::clock_gettime(CLOCK_REALTIME, &real);
    ::clock_gettime(CLOCK_BOOTTIME, &boot);
    return static_cast<double>(real.tv_sec - boot.tv_sec) + (real.tv_nsec - boot.tv_nsec) / 1e9;
}

}  // namespace

std::string RenderBuildInfo(const std::string& version)
{
    std::string out =
        "# HELP tornavel_monitor_build_info The monitor's version (value 1).\n"
        "# TYPE tornavel_monitor_build_info gauge\n";
    out += "tornavel_monitor_build_info{version=\"" + version + "\"} 1\n";
    return out;
}

std::string RenderProcessMetrics()
{
    const double ticks = static_cast<double>(::sysconf(_SC_CLK_TCK));
    const double page = static_cast<double>(::sysconf(_SC_PAGESIZE));
    const auto fields = StatFields();
    std::string out;
    // utime and stime (fields 14, 15), starttime (22), vsize (23), rss (24).
    if (const auto user = Field(fields, 14), system = Field(fields, 15); user && system)
        Write(out, "process_cpu_seconds_total", "counter", "User and system CPU time spent in seconds.",
              (*user + *system) / ticks);
    if (const auto rss = Field(fields, 24))
        Write(out, "process_resident_memory_bytes", "gauge", "Resident memory size in bytes.", *rss * page);
    if (const auto vsize = Field(fields, 23))
        Write(out, "process_virtual_memory_bytes", "gauge", "Virtual memory size in bytes.", *vsize);
    if (const auto start = Field(fields, 22))
        Write(out, "process_start_time_seconds", "gauge", "Start time of the process since unix epoch in seconds.",
              BootSeconds() + *start / ticks);
    if (const auto fds = OpenFds()) Write(out, "process_open_fds", "gauge", "Number of open file descriptors.", *fds);
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) == 0)
        Write(out, "process_max_fds", "gauge", "Maximum number of open file descriptors.",
              static_cast<double>(limit.rlim_cur));
    return out;
}

}  // namespace tornavel::service
