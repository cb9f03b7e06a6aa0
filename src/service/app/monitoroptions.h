#pragma once
#include <optional>
#include <string>
#include <vector>

#include "protection/protectoptions.h"
#include "publish/listenaddress.h"
#include "publish/webconfig.h"
#include "upsnet/serveroptions.h"

namespace tornavel::service {

// One unit to watch: COMn through the program's port map, or a device path.
struct UnitPort {
    std::string label;  // "COM3" or the path as given: the port label of every series
    int number = 0;     // 1..16 for COMn, 0 for a path
    std::string path;   // for a path
    std::string name;   // --name: the "unit" label of every series; empty when not named
};

struct MonitorOptions {
    std::optional<std::string> portsDir;
    std::vector<ListenAddress> listen;  // one endpoint each
    std::optional<std::string> webConfigFile;
    WebConfig web;  // loaded from webConfigFile by the program
    std::optional<std::string> textfile;
    std::optional<std::string> onEvent;
    int hookTimeoutSeconds = 10;
    // tornavelctl's control socket; without it, $RUNTIME_DIRECTORY/control
    // when systemd gives a runtime directory, else none.
    std::optional<std::string> controlSocket;
    std::vector<UnitPort> units;
    ProtectOptions protection;
    upsnet::ServerOptions upsServer;  // the UPS network protocol, off by default
};

struct CommandLine {
    enum class Action { Run, Check, Help, Version, Error };
    Action action = Action::Error;
    MonitorOptions options;
    std::string error;  // one line, for Action::Error
};

CommandLine ParseCommandLine(const std::vector<std::string>& args);
// The device file of a unit: its path, or what the port map makes of COMn.
std::string UnitDevice(const UnitPort& unit, const std::optional<std::string>& portsDir);
std::string UsageText();
// Digits only, within the bounds.
std::optional<int> ParseWholeNumber(const std::string& text, int lowest, int highest);
// The value of option `name` as such a number into `into`; false with the
// message for the command line in `error` when it is not one.
bool TakeWholeNumber(const std::string& name, const std::string& value, int lowest, int highest, int& into,
                     std::string& error);

}  // namespace tornavel::service
