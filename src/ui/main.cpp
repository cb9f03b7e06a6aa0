#include <QApplication>
#include <QIcon>
#include <QScreen>
#include <csignal>
#include <cstdio>

#include "formYN.h"
#include "serial/posixport.h"
#include "tformmain.h"
#include "windowcommandline.h"

int main(int argc, char** argv)
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
    const CommandLine command = ReadCommandLine(arguments);
    switch (command.action) {
    case CommandLine::Action::Help:
    case CommandLine::Action::Version: std::fputs(command.text.toLocal8Bit().constData(), stdout); return 0;
    case CommandLine::Action::Wrong:
        std::fprintf(stderr, "tornavel: %s\nTry 'tornavel --help'.\n", command.text.toLocal8Bit().constData());
        return 2;
    case CommandLine::Action::Run: break;
    }

    std::signal(SIGPIPE, SIG_IGN);  // a vanished serial device must not end the program
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("tornavel"));
    QGuiApplication::setDesktopFileName(QStringLiteral("org.tornavel.Tornavel"));  // the desktop's menu entry and icon
    // X11 takes a window's icon from the window itself: the installed one.
    QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("org.tornavel.Tornavel")));
    tornavel::PosixPortOpener opener{tornavel::PortMap(command.portsDir)};

    TFormMain window(opener);
    TFormYesNo::instance();  // the dialog is made once, hidden, after the main window
    window.move(window.screen()->availableGeometry().center() - window.rect().center());
    window.show();
    return app.exec();
}
