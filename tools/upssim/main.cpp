// upssim: pseudo-terminals that play APC Smart-UPS units, a modem, a silent
// port and a noisy one, for the tests, the demo and trying the program
// without hardware. Run "upssim --help" for everything it does.
#include "options.h"
#include "simulator.h"
#include "tornavel_version.h"

#include <cstdio>

int main(int argc, char** argv)
{
    using namespace upssim;
    std::string error;
    const auto options = ParseOptions(argc, argv, error);
    if (!options) {
        std::fprintf(stderr, "upssim: %s\nTry 'upssim --help'.\n", error.c_str());
        return 2;
    }
    if (options->help) {
        std::fputs(HelpText(), stdout);
        return 0;
    }
    if (options->version) {
        std::puts("upssim " TORNAVEL_VERSION);
        return 0;
    }
    InstallStopSignals();
    Simulator simulator(*options);
    if (!simulator.Start(error)) {
        std::fprintf(stderr, "upssim: %s\n", error.c_str());
        return 1;
    }
    simulator.Run();
    return 0;
}
