#pragma once
#include <QString>
#include <QStringList>
#include <optional>
#include <string>

// What tornavel's command line asks for. It is read before the window system
// starts, so --help, --version and a wrong option answer without a display.
struct CommandLine {
    enum class Action { Run, Help, Version, Wrong };
    Action action = Action::Run;
    std::optional<std::string> portsDir;  // --ports DIR
    QString text;                         // the help text, the version line or what is wrong
};

// arguments[0] is the program's own name.
CommandLine ReadCommandLine(const QStringList& arguments);
