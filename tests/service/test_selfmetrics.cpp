// The monitor's own metrics: its version, and process_* read from /proc that
// follow what this very process does.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <regex>
#include <vector>

#include "publish/selfmetrics.h"

namespace tornavel::service {
namespace {

double Value(const std::string& text, const std::string& name)
{
    std::smatch match;
    if (!std::regex_search(text, match, std::regex("\n" + name + " ([0-9.e+]+)\n"))) return -1;
    return std::stod(match[1]);
}

double CpuSeconds()
{
    timespec t{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return t.tv_sec + t.tv_nsec / 1e9;
}

// Open descriptors counted another way: each number that fcntl knows.
int OpenDescriptors()
{
    int count = 0;
    for (int fd = 0; fd < 4096; ++fd)
        if (::fcntl(fd, F_GETFD) != -1) ++count;
    return count;
}

TEST(SelfMetrics, BuildInfoCarriesTheVersion)
{
    EXPECT_NE(RenderBuildInfo("1.2.3").find("\ntornavel_monitor_build_info{version=\"1.2.3\"} 1\n"), std::string::npos);
}

TEST(SelfMetrics, ProcessFiguresFollowTheProcess)
{
    const std::string before = RenderProcessMetrics();
    for (const char* name : {"process_cpu_seconds_total", "process_resident_memory_bytes", "process_open_fds",
                             "process_start_time_seconds", "process_virtual_memory_bytes", "process_max_fds"})
        EXPECT_GE(Value(before, name), 0) << name << " missing:\n" << before;
    EXPECT_NE(before.find("# TYPE process_cpu_seconds_total counter\n"), std::string::npos);

    // Ten more descriptors, 64 MiB more touched memory, a third of a CPU second more.
    std::vector<int> fds;
    for (int i = 0; i < 10; ++i) fds.push_back(::open("/dev/null", O_RDONLY | O_CLOEXEC));
    std::vector<char> memory(64 << 20);
    std::memset(memory.data(), 1, memory.size());
    const double cpuStart = CpuSeconds();
    volatile unsigned spin = 0;
    while (CpuSeconds() - cpuStart < 0.35) spin = spin + 1;
    const std::string after = RenderProcessMetrics();
    const int openAfter = OpenDescriptors();
    for (int fd : fds) ::close(fd);

    EXPECT_EQ(Value(after, "process_open_fds"), openAfter) << after;
    EXPECT_EQ(Value(after, "process_open_fds") - Value(before, "process_open_fds"), 10) << after;
    EXPECT_GE(Value(after, "process_resident_memory_bytes") - Value(before, "process_resident_memory_bytes"), 48 << 20);
    EXPECT_GE(Value(after, "process_cpu_seconds_total") - Value(before, "process_cpu_seconds_total"), 0.3);

    // Started before now, and not before this test run began (a day is ample).
    const double now = std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
    const double start = Value(after, "process_start_time_seconds");
    EXPECT_LE(start, now + 1);
    EXPECT_GT(start, now - 86400);
    EXPECT_NEAR(start, Value(before, "process_start_time_seconds"), 0.1) << "a start time does not move";
}

}  // namespace
}  // namespace tornavel::service
