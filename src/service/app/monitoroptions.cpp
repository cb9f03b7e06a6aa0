#include "app/monitoroptions.h"

#include <algorithm>
#include <cctype>

#include "serial/portmap.h"
#include "serial/serialdevice.h"

namespace tornavel::service {

std::optional<int> ParseWholeNumber(const std::string& text, int lowest, int highest)
{
    if (text.empty() || text.size() > 6) return std::nullopt;
    int value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + (c - '0');
    }
    if (value < lowest || value > highest) return std::nullopt;
    return value;
}

bool TakeWholeNumber(const std::string& name, const std::string& value, int lowest, int highest, int& into,
                     std::string& error)
{
    const auto parsed = ParseWholeNumber(value, lowest, highest);
    if (!parsed) {
        error = name + " takes a whole number from " + std::to_string(lowest) + " to " + std::to_string(highest) +
                ", not '" + value + "'";
        return false;
    }
    into = *parsed;
    return true;
}

namespace {

// "COM3" in any case, or a path (anything with a slash); nothing else.
std::optional<UnitPort> ParseUnitPort(const std::string& text)
{
    if (text.find('/') != std::string::npos) return UnitPort{text, 0, text, {}};
    std::string upper = text;
    std::transform(upper.begin(), upper.end(), upper.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    if (upper.rfind("COM", 0) != 0) return std::nullopt;
    const std::string digits = upper.substr(3);
    if (digits.empty() || digits[0] == '0') return std::nullopt;
    const auto number = ParseWholeNumber(digits, kFirstPort, kLastPort);
    if (!number) return std::nullopt;
    return UnitPort{upper, *number, {}, {}};
}

// A unit name stays a plain word: letters, digits, "_", "-", ".".
bool IsUnitName(const std::string& name)
{
    if (name.empty() || name.size() > 64) return false;
    return std::all_of(name.begin(), name.end(),
                       [](unsigned char c) { return std::isalnum(c) || c == '_' || c == '-' || c == '.'; });
}

// NAME=PORT: the name given to the unit on PORT (a port on the command line).
bool NameUnit(const std::string& given, std::vector<UnitPort>& units, std::string& error)
{
    const auto equals = given.find('=');
    const std::string name = given.substr(0, equals);
    if (equals == std::string::npos || !IsUnitName(name)) {
        error = "--name takes NAME=PORT, NAME of letters, digits, '_', '-' and '.', not '" + given + "'";
        return false;
    }
    const auto port = ParseUnitPort(given.substr(equals + 1));
    const auto unit = std::find_if(units.begin(), units.end(),
                                   [&](const UnitPort& u) { return port && u.label == port->label; });
    if (unit == units.end()) {
        error = "--name " + given + ": '" + given.substr(equals + 1) + "' is not one of the ports given";
        return false;
    }
    if (!unit->name.empty()) {
        error = "--name: port '" + unit->label + "' named twice";
        return false;
    }
    if (std::any_of(units.begin(), units.end(), [&](const UnitPort& u) { return u.name == name; })) {
        error = "--name: name '" + name + "' given to two ports";
        return false;
    }
    unit->name = name;
    return true;
}

}  // namespace

std::string UsageText()
{
    return std::string(R"(Usage: tornavel-monitor [OPTION]... PORT...
Watches Smart-UPS units on serial ports and publishes their readings as
Prometheus metrics. PORT is COM1 to COM16 (mapped to a device as the
Tornavel window maps it) or a device path such as /dev/serial/by-id/...

  --ports DIR         COMn is DIR/comN
  --listen ADDR:PORT  serve /metrics here (default 127.0.0.1:9184); may be
                      given more than once. [::1]:9184 is IPv6 loopback,
                      [::]:9184 or :9184 every address, IPv4 and IPv6
  --name NAME=PORT    give the unit on PORT the label unit="NAME", so its
                      series stay the same when its adapter moves
  --web-config FILE   TLS and basic authentication for /metrics, in the
                      Prometheus exporters' web config format
  --check             check the command line, the ports' devices and the
                      event program, print what would run, and exit (0 or 2)
                      without touching a unit
  --textfile FILE     also write the metrics to FILE, atomically, for
                      node_exporter's textfile collector
  --on-event PROGRAM  run PROGRAM EVENT PORT for every event, without a shell;
                      details in TORNAVEL_* environment variables
  --hook-timeout SEC  end an event program still running after SEC seconds
                      (SIGTERM to its process group, SIGKILL 2 s later;
                      default 10)
  --control-socket PATH
                      tornavelctl's socket, root only (default
                      $RUNTIME_DIRECTORY/control under systemd, else none)
  --help              this text
  --version           the version
)") + ProtectUsageText() +
           upsnet::ServerUsageText() + R"(
Events are logged on standard output, one line each; repeats of one alert
from one unit within 10 s are folded into one line with their number.
SIGTERM or SIGINT ends the monitor: every connected unit leaves smart mode
("R") and its port is closed, the text file is written with every unit down,
and event programs get at most 3 s more. A second SIGTERM or SIGINT ends it
at once (exit status 1). SIGHUP writes the text file anew and ends nothing.
Exit status: 0 after a stop, 1 if the listen address or the text file cannot
be used, 2 for a wrong command line, an event program that cannot be run or
one device named twice.
)";
}

CommandLine ParseCommandLine(const std::vector<std::string>& args)
{
    CommandLine result;
    MonitorOptions& options = result.options;
    auto fail = [&result](std::string error) {
        result.action = CommandLine::Action::Error;
        result.error = std::move(error);
        return result;
    };
    std::vector<std::string> listens, names;
    bool check = false;
    bool onlyPorts = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string arg = args[i];
        if (onlyPorts || arg.empty() || arg[0] != '-' || arg == "-") {
            const auto unit = ParseUnitPort(arg);
            if (!unit) return fail("unknown port '" + arg + "' (COM1 to COM16 or a device path)");
            const bool twice = std::any_of(options.units.begin(), options.units.end(),
                                           [&](const UnitPort& u) { return u.label == unit->label; });
            if (twice) return fail("port '" + unit->label + "' given twice");
            options.units.push_back(*unit);
            continue;
        }
        if (arg == "--") {
            onlyPorts = true;
            continue;
        }
        if (arg == "--help") {
            result.action = CommandLine::Action::Help;
            return result;
        }
        if (arg == "--version") {
            result.action = CommandLine::Action::Version;
            return result;
        }
        if (arg == "--check") {
            check = true;
            continue;
        }
        std::optional<std::string> value;
        if (const auto equals = arg.find('='); equals != std::string::npos) {
            value = arg.substr(equals + 1);
            arg = arg.substr(0, equals);
        }
        const bool known = arg == "--ports" || arg == "--listen" || arg == "--textfile" || arg == "--on-event" ||
                           arg == "--hook-timeout" || arg == "--name" || arg == "--control-socket" ||
                           arg == "--web-config";
        const bool server = upsnet::IsServerOption(arg);
        if (!known && !server && !IsProtectOption(arg)) return fail("unknown option '" + arg + "'");
        if (!known && !server && !ProtectOptionTakesValue(arg)) {
            if (value) return fail("option '" + arg + "' takes no value");
            std::string error;
            TakeProtectOption(arg, {}, options.protection, error);
            continue;
        }
        if (!value) {
            if (i + 1 >= args.size()) return fail("option '" + arg + "' needs a value");
            value = args[++i];
        }
        if (value->empty()) return fail("option '" + arg + "' needs a value");
        if (server) {
            std::string error;
            if (!upsnet::TakeServerOption(arg, *value, options.upsServer, error)) return fail(error);
            continue;
        }
        if (!known) {
            std::string error;
            if (!TakeProtectOption(arg, *value, options.protection, error)) return fail(error);
            continue;
        }
        if (arg == "--ports") options.portsDir = *value;
        if (arg == "--listen") listens.push_back(*value);
        if (arg == "--name") names.push_back(*value);
        if (arg == "--web-config") options.webConfigFile = *value;
        if (arg == "--textfile") options.textfile = *value;
        if (arg == "--on-event") options.onEvent = *value;
        if (arg == "--control-socket") options.controlSocket = *value;
        if (arg == "--hook-timeout") {
            const auto seconds = ParseWholeNumber(*value, 1, 3600);
            if (!seconds) return fail("--hook-timeout takes whole seconds from 1 to 3600, not '" + *value + "'");
            options.hookTimeoutSeconds = *seconds;
        }
    }
    if (listens.empty()) listens.push_back(kDefaultListen);
    for (const std::string& listen : listens) {
        const auto address = ParseListenAddress(listen);
        if (!address) return fail("--listen takes ADDR:PORT with a numeric address, not '" + listen + "'");
        options.listen.push_back(*address);
    }
    if (options.units.empty() && !options.protection.followUrl) return fail("no port given");
    for (const std::string& given : names)
        if (std::string error; !NameUnit(given, options.units, error)) return fail(error);
    std::vector<std::string> labels;
    for (const UnitPort& unit : options.units) labels.push_back(unit.label);
    if (std::string error; !CheckProtectOptions(options.protection, labels, error)) return fail(error);
    result.action = check ? CommandLine::Action::Check : CommandLine::Action::Run;
    return result;
}

std::string UnitDevice(const UnitPort& unit, const std::optional<std::string>& portsDir)
{
    if (unit.number == 0) return unit.path;
    return PortMap(portsDir).DevicePath(unit.number).value_or("");
}

}  // namespace tornavel::service
