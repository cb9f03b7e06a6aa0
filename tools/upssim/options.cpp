#include "options.h"

#include <cerrno>
#include <cstdlib>
#include <set>
#include <stdexcept>

namespace upssim {

namespace {

bool ValidPortName(const std::string& name)
{
    if (name.size() < 4 || name.compare(0, 3, "com") != 0 || name[3] == '0' || name.size() > 6) return false;
    for (size_t i = 3; i < name.size(); ++i)
        if (name[i] < '0' || name[i] > '9') return false;
    return true;
}

std::optional<DeviceKind> KindOf(const std::string& text)
{
    for (DeviceKind kind : {DeviceKind::Ups, DeviceKind::Ups2, DeviceKind::Modem, DeviceKind::Silent,
                            DeviceKind::Garbage})
        if (text == KindName(kind)) return kind;
    return std::nullopt;
}

std::optional<unsigned long> WholeNumber(const std::string& text, unsigned long least)
{
    if (text.empty() || text[0] < '0' || text[0] > '9') return std::nullopt;
    errno = 0;
    char* end = nullptr;
    const unsigned long value = std::strtoul(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || value < least || value > 0xFFFFFFFFul) return std::nullopt;
    return value;
}

// "[comN:]VALUE" -> the port (empty for all) and the value.
std::pair<std::string, std::string> SplitPortPrefix(const std::string& text)
{
    const size_t colon = text.find(':');
    if (colon == std::string::npos) return {"", text};
    return {text.substr(0, colon), text.substr(colon + 1)};
}

std::optional<FaultSetting> ParseFaultSetting(const std::string& option, const std::string& value, std::string& error)
{
    auto [port, number] = SplitPortPrefix(value);
    const auto whole = WholeNumber(number, option == "--delay" ? 0 : 1);
    if (!whole) {
        error = option + ": bad value '" + value + "'";
        return std::nullopt;
    }
    const unsigned n = static_cast<unsigned>(*whole);
    if (option == "--delay") return FaultSetting{port, [n](Faults& f) { f.delayMs = n; }};
    if (option == "--drop") return FaultSetting{port, [n](Faults& f) { f.dropEvery = n; }};
    return FaultSetting{port, [n](Faults& f) { f.pullAfter = n; }};
}

bool CheckFaultPorts(const Options& options, std::string& error)
{
    for (const FaultSetting& fault : options.faults) {
        if (fault.port.empty()) continue;
        bool found = false;
        for (const PortChoice& port : options.ports) {
            if (port.name != fault.port) continue;
            found = true;
            if (!IsUps(port.kind)) {
                error = "fault options apply to ups ports only, " + port.name + " is " + KindName(port.kind);
                return false;
            }
        }
        if (!found) {
            error = "fault option names " + fault.port + ", which is not given as a port";
            return false;
        }
    }
    return true;
}

}  // namespace

std::optional<Options> ParseOptions(int argc, char** argv, std::string& error)
{
    Options options;
    std::set<std::string> names;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        std::optional<std::string> inlineValue;
        if (arg.rfind("--", 0) == 0) {
            if (const size_t equals = arg.find('='); equals != std::string::npos) {
                inlineValue = arg.substr(equals + 1);
                arg.resize(equals);
            }
        }
        auto value = [&]() -> std::optional<std::string> {
            if (inlineValue) return inlineValue;
            if (i + 1 < argc) return std::string(argv[++i]);
            error = arg + " needs a value";
            return std::nullopt;
        };

        if (arg == "--help" || arg == "-h") {
            options.help = true;
            return options;
        } else if (arg == "--version" && !inlineValue) {
            options.version = true;
            return options;
        } else if (arg == "--dir" || arg == "--log") {
            const auto text = value();
            if (!text) return std::nullopt;
            if (text->empty()) {
                error = arg + " needs a value";
                return std::nullopt;
            }
            (arg == "--dir" ? options.dir : options.logPath) = *text;
        } else if (arg == "--seed") {
            const auto text = value();
            const auto seed = text ? WholeNumber(*text, 0) : std::nullopt;
            if (!seed) {
                if (text) error = "--seed: bad value '" + *text + "'";
                return std::nullopt;
            }
            options.seed = static_cast<unsigned>(*seed);
        } else if (arg == "--steady" && !inlineValue) {
            options.steady = true;
        } else if (arg == "--delay" || arg == "--drop" || arg == "--pull-after") {
            const auto text = value();
            const auto fault = text ? ParseFaultSetting(arg, *text, error) : std::nullopt;
            if (!fault) return std::nullopt;
            options.faults.push_back(*fault);
        } else if (arg == "--drain" || arg == "--low-runtime" || arg == "--grace" || arg == "--tenth-hour") {
            const auto text = value();
            if (!text) return std::nullopt;
            double number = 0;
            try {
                std::size_t used = 0;
                number = std::stod(*text, &used);
                if (used != text->size() || !(number >= 0) || number > 1e6) throw std::invalid_argument(*text);
            } catch (const std::exception&) {
                error = arg + ": bad value '" + *text + "'";
                return std::nullopt;
            }
            BatteryModel& b = options.battery;
            (arg == "--drain" ? b.drainPerSecond : arg == "--low-runtime" ? b.lowRuntimeMinutes
                                                 : arg == "--grace"       ? b.graceSeconds
                                                                          : b.tenthHourSeconds) = number;
        } else if (arg == "--garbage-in") {
            options.faults.push_back({inlineValue.value_or(""), [](Faults& f) { f.garbageIn = true; }});
        } else if (arg.rfind("-", 0) == 0) {
            error = "unknown option " + std::string(argv[i]);
            return std::nullopt;
        } else {
            const size_t equals = arg.find('=');
            const std::string name = arg.substr(0, equals);
            const auto kind = equals == std::string::npos ? std::nullopt : KindOf(arg.substr(equals + 1));
            if (!ValidPortName(name) || !kind) {
                error = "bad port '" + arg + "' (expected comN=KIND, KIND one of ups, ups2, modem, silent, garbage)";
                return std::nullopt;
            }
            if (!names.insert(name).second) {
                error = name + " is given twice";
                return std::nullopt;
            }
            options.ports.push_back({name, *kind});
        }
    }
    if (options.dir.empty()) {
        error = "--dir is required";
        return std::nullopt;
    }
    if (options.ports.empty()) {
        error = "no ports given (comN=KIND)";
        return std::nullopt;
    }
    if (!CheckFaultPorts(options, error)) return std::nullopt;
    return options;
}

Faults FaultsFor(const Options& options, const PortChoice& port)
{
    Faults faults;
    if (!IsUps(port.kind)) return faults;
    for (const FaultSetting& fault : options.faults)
        if (fault.port.empty()) fault.apply(faults);
    for (const FaultSetting& fault : options.faults)
        if (fault.port == port.name) fault.apply(faults);
    return faults;
}

}  // namespace upssim
