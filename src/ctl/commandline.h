#pragma once
#include <optional>
#include <string>
#include <vector>

namespace tornavel::ctl {

// Exit statuses: every requested value reads back as asked; a unit refused,
// did not answer or did not take a value; a wrong command line or file.
inline constexpr int kExitDone = 0;
inline constexpr int kExitUnitFailed = 1;
inline constexpr int kExitUsage = 2;

inline constexpr const char* kDefaultControlSocket = "/run/tornavel-monitor/control";

struct CommandLine {
    std::string verb;                // show, set, backup, apply, test, diagnose, cancel-shutdown, help, version
    std::vector<std::string> words;  // the verb's arguments, options taken out
    bool json = false;
    bool dryRun = false;
    bool yes = false;
    std::optional<std::string> portsDir;
    std::string controlSocket = kDefaultControlSocket;
    std::optional<std::string> out;  // diagnose --out FILE
    std::string error;               // non-empty: a wrong command line
};

CommandLine ParseCommandLine(const std::vector<std::string>& args);
const char* UsageText();

}  // namespace tornavel::ctl
