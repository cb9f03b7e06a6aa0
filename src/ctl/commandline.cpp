#include "commandline.h"

#include <array>
#include <string_view>

namespace tornavel::ctl {

namespace {

struct Verb {
    std::string_view name;
    std::size_t fewest;  // words after the verb
    std::size_t most;
};

constexpr std::size_t kAny = 1000;
constexpr std::array<Verb, 7> kVerbs = {{
    {"show", 1, 1},
    {"set", 3, kAny},
    {"backup", 2, 2},
    {"apply", 2, kAny},
    {"test", 2, 2},
    {"diagnose", 1, 1},
    {"cancel-shutdown", 0, 0},
}};

}  // namespace

CommandLine ParseCommandLine(const std::vector<std::string>& args)
{
    CommandLine line;
    const auto needsValue = [&](std::size_t& i, std::string& into) {
        if (i + 1 >= args.size()) {
            line.error = args[i] + " needs a value";
            return false;
        }
        into = args[++i];
        return true;
    };
    std::vector<std::string> words;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        std::string value;
        if (arg == "--help" || arg == "-h" || arg == "--version") {
            CommandLine only;
            only.verb = arg == "--version" ? "version" : "help";
            for (const std::string& other : args) only.json = only.json || other == "--json";
            return only;
        }
        if (arg == "--json")
            line.json = true;
        else if (arg == "--dry-run")
            line.dryRun = true;
        else if (arg == "--yes")
            line.yes = true;
        else if (arg == "--ports") {
            if (!needsValue(i, value)) return line;
            line.portsDir = value;
        } else if (arg == "--socket") {
            if (!needsValue(i, value)) return line;
            line.controlSocket = value;
        } else if (arg == "--out") {
            if (!needsValue(i, value)) return line;
            line.out = value;
        } else if (arg.size() > 1 && arg[0] == '-' && arg != "-") {
            line.error = "unknown option " + arg;
            return line;
        } else
            words.push_back(arg);
    }
    if (words.empty()) {
        line.error = "no command given";
        return line;
    }
    line.verb = words.front();
    line.words.assign(words.begin() + 1, words.end());
    for (const Verb& verb : kVerbs) {
        if (verb.name != line.verb) continue;
        if (line.verb == "set" && line.words.size() % 2 == 0)
            line.error = "set takes a port and SETTING VALUE pairs";
        else if (line.words.size() < verb.fewest || line.words.size() > verb.most)
            line.error = "wrong number of arguments for " + line.verb;
        else if (line.dryRun && line.verb != "apply")
            line.error = "--dry-run belongs to apply";
        else if (line.out && line.verb != "diagnose")
            line.error = "--out belongs to diagnose";
        return line;
    }
    line.error = "unknown command " + line.verb;
    return line;
}

const char* UsageText()
{
    return R"(Usage: tornavelctl [OPTIONS] COMMAND ...

Reads and changes the settings of Smart-UPS units, as the window's parameter
page does, through a running tornavel-monitor or on the port itself.

Commands:
  show PORT                      the unit's values with names and units
  set PORT SETTING VALUE...      change settings by name (register0 needs --yes)
  backup PORT FILE               write the unit's settings to a YAML file
  apply FILE PORT... [--dry-run] bring each unit to the file's values
  test PORT TEST                 self-test, indicator, mains-failure,
                                 calibrate or stop-calibration (these two need --yes)
  diagnose PORT [--out FILE]     a report of the line, the handshake and the
                                 full read, every answer timed; changes nothing
  cancel-shutdown                (root) call off the host protection shutdown:
                                 the monitor withdraws its decision,
                                 tornavel-shutdown.service stops, the unit's
                                 power-off is disarmed

Settings: alarm-delay, self-test-interval, sensitivity, output-on-battery,
  low-transfer, high-transfer, grace-delay, return-charge, wakeup-delay,
  low-battery-warning, name, battery-date, manufacture-date, register0

PORT is COM1 to COM16 (see --ports) or a device path.

Options:
  --json          one JSON object for scripts, errors too (tornavelctl(1))
  --dry-run       apply: print the plan, change nothing
  --yes           confirm a register 0 change or a calibration
  --ports DIR     COMn is DIR/comN
  --socket PATH   the monitor's control socket (default /run/tornavel-monitor/control)
  --out FILE      diagnose: write the report to FILE
  --help, --version

Exit status: 0 every value reads back as asked, 1 a unit refused, did not
answer or did not take a value, 2 a wrong command line or settings file,
128+N ended by signal N (the step under way finished, the unit left).
)";
}

}  // namespace tornavel::ctl
