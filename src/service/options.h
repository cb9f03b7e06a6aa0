#pragma once
#include <optional>
#include <string>
#include <vector>

#include "listenaddress.h"
#include "protectoptions.h"

namespace tornavel::service {

// One unit to watch: COMn through the program's port map, or a device path.
struct UnitPort {
    std::string label;  // "COM3" or the path as given: the port label of every series
    int number = 0;     // 1..16 for COMn, 0 for a path
    std::string path;   // for a path
};

struct MonitorOptions {
    std::optional<std::string> portsDir;
    ListenAddress listen;
    std::optional<std::string> textfile;
    std::optional<std::string> onEvent;
    int hookTimeoutSeconds = 10;
    std::vector<UnitPort> units;
    ProtectOptions protection;
};

struct CommandLine {
    enum class Action { Run, Help, Version, Error };
    Action action = Action::Error;
    MonitorOptions options;
    std::string error;  // one line, for Action::Error
};

CommandLine ParseCommandLine(const std::vector<std::string>& args);
std::string UsageText();
// Digits only, within the bounds.
std::optional<int> ParseWholeNumber(const std::string& text, int lowest, int highest);

}  // namespace tornavel::service
