// Duration of one transaction against a UPS on a real (pseudo-)terminal, and
// of one that gets no answer. Usage: bench_transact PORTS_DIR UPS_PORT SILENT_PORT
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "serial/comport.h"
#include "serial/posixport.h"

using namespace tornavel;

namespace {

double MedianMs(ComPort& port, const PortHandle& handle, const Bytes& command, int runs)
{
    std::vector<double> ms;
    for (int i = 0; i < runs; ++i) {
        Bytes answer;
        const auto start = std::chrono::steady_clock::now();
        port.Transact(handle, command, answer);
        ms.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    }
    std::sort(ms.begin(), ms.end());
    return ms[ms.size() / 2];
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s PORTS_DIR UPS_PORT SILENT_PORT\n", argv[0]);
        return 2;
    }
    PosixPortOpener opener{PortMap(std::string(argv[1]))};
    SteadyClock clock;
    ComPort port(opener, clock);

    PortHandle ups = port.OpenPort(std::atoi(argv[2]), 2400, 8, 'N', "1");
    PortHandle silent = port.OpenPort(std::atoi(argv[3]), 2400, 8, 'N', "1");
    if (!ups || !silent) {
        std::fprintf(stderr, "cannot open the ports\n");
        return 1;
    }
    Bytes answer;
    port.Transact(ups, "Y", answer);
    std::printf("transact \"Q\" against the simulator: median of 20 = %.1f ms\n", MedianMs(port, ups, "Q", 20));
    std::printf("transact \"L\" against the simulator: median of 20 = %.1f ms\n", MedianMs(port, ups, "L", 20));
    std::printf("transact to a silent port:           median of 5  = %.1f ms\n", MedianMs(port, silent, "Y", 5));
    port.Transact(ups, "R", answer);
    port.ClosePort(ups);
    port.ClosePort(silent);
    return 0;
}
