// Figures of tornavel-monitor while it polls units (printed, never asserted):
//   bench_monitor PID PORT UNITS SECONDS SCRAPES
// CPU use of the process over SECONDS without scrapes (per unit and whole),
// its resident memory, then the latency of SCRAPES requests of /metrics made
// one after another while the units are still polled.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace {

// CPU time of all the process's threads in nanoseconds (schedstat), far
// finer than the clock ticks of /proc/PID/stat at this low a use.
double CpuSeconds(int pid)
{
    double total = 0;
    const std::string tasks = "/proc/" + std::to_string(pid) + "/task";
    for (const auto& task : std::filesystem::directory_iterator(tasks)) {
        std::ifstream schedstat(task.path() / "schedstat");
        double nanoseconds = 0;
        if (schedstat >> nanoseconds) total += nanoseconds / 1e9;
    }
    return total;
}

double ResidentMb(int pid, const char* key)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind(key, 0) == 0) return std::stod(line.substr(std::string(key).size())) / 1024.0;
    return 0;
}

// One GET of /metrics; the bytes received (0 on failure).
std::size_t Scrape(int port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    std::size_t total = 0;
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
        const std::string request = "GET /metrics HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n";
        (void)!::send(fd, request.data(), request.size(), MSG_NOSIGNAL);
        char buffer[8192];
        ssize_t n;
        while ((n = ::recv(fd, buffer, sizeof buffer, 0)) > 0) total += static_cast<std::size_t>(n);
    }
    ::close(fd);
    return total;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 6) {
        std::fprintf(stderr, "usage: bench_monitor PID PORT UNITS SECONDS SCRAPES\n");
        return 2;
    }
    const int pid = std::stoi(argv[1]);
    const int port = std::stoi(argv[2]);
    const int units = std::stoi(argv[3]);
    const int seconds = std::stoi(argv[4]);
    const int scrapes = std::stoi(argv[5]);

    const double cpuStart = CpuSeconds(pid);
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    const double cpu = CpuSeconds(pid) - cpuStart;
    std::printf("monitor CPU use while polling %d units: %.3f %% of one core per unit (%.3f %% in all, %.3f s over %d s)\n",
                units, 100.0 * cpu / seconds / units, 100.0 * cpu / seconds, cpu, seconds);
    std::printf("monitor resident memory: %.1f MB (peak %.1f MB)\n", ResidentMb(pid, "VmRSS:"),
                ResidentMb(pid, "VmHWM:"));

    std::vector<double> latencies;
    std::size_t bytes = 0;
    for (int i = 0; i < scrapes; ++i) {
        const auto start = std::chrono::steady_clock::now();
        bytes = Scrape(port);
        latencies.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    std::sort(latencies.begin(), latencies.end());
    std::printf("monitor /metrics scrape: median %.2f ms, 90th percentile %.2f ms, worst %.2f ms (%d scrapes of %zu bytes)\n",
                latencies[latencies.size() / 2], latencies[latencies.size() * 9 / 10], latencies.back(), scrapes, bytes);
    std::printf("monitor resident memory after the scrapes: %.1f MB\n", ResidentMb(pid, "VmRSS:"));
    return 0;
}
