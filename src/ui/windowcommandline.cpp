#include "windowcommandline.h"

#include <QCommandLineParser>

#include "tornavel_version.h"

namespace {

// Kept in step with the OPTIONS and PORTS of the manual page tornavel(1).
const char kHelp[] = R"(Usage: tornavel [--ports DIR]

Watch and configure APC Smart-UPS units on the serial ports COM1 to COM16.

Options:
  --ports DIR  use DIR/com1 .. DIR/com16 as the serial ports
  -h, --help   show this text and exit
  --version    show the version and exit

Without --ports, COMn is ~/.config/tornavel/ports/comN when that exists,
otherwise COM1-4 are /dev/ttyS0-3, COM5-12 /dev/ttyUSB0-7 and COM13-16
/dev/ttyACM0-3. The user needs to be in the group dialout. See tornavel(1).
)";

}  // namespace

CommandLine ReadCommandLine(const QStringList& arguments)
{
    QCommandLineParser parser;
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")});
    const QCommandLineOption version(QStringLiteral("version"));
    const QCommandLineOption ports(QStringLiteral("ports"), QString(), QStringLiteral("DIR"));
    parser.addOptions({help, version, ports});

    CommandLine command;
    if (!parser.parse(arguments)) {
        command.action = CommandLine::Action::Wrong;
        command.text = parser.errorText();
    } else if (!parser.positionalArguments().isEmpty()) {
        command.action = CommandLine::Action::Wrong;
        command.text = QStringLiteral("unexpected argument '%1'").arg(parser.positionalArguments().first());
    } else if (parser.isSet(help)) {
        command.action = CommandLine::Action::Help;
        command.text = QString::fromUtf8(kHelp);
    } else if (parser.isSet(version)) {
        command.action = CommandLine::Action::Version;
        command.text = QStringLiteral("tornavel " TORNAVEL_VERSION "\n");
    } else if (parser.isSet(ports)) {
        command.portsDir = parser.value(ports).toStdString();
    }
    return command;
}
