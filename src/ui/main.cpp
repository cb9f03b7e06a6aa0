#include <QApplication>
#include <QCommandLineParser>
#include <QScreen>
#include <csignal>

#include "formYN.h"
#include "serial/posixport.h"
#include "tformmain.h"

int main(int argc, char** argv)
{
    std::signal(SIGPIPE, SIG_IGN);  // a vanished serial device must not end the program
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("tornavel"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Tornavel: watch and configure Smart-UPS units on serial ports."));
    parser.addHelpOption();
    QCommandLineOption portsOption(QStringLiteral("ports"),
                                   QStringLiteral("Use DIR/com1 .. DIR/com16 as the serial ports."),
                                   QStringLiteral("DIR"));
    parser.addOption(portsOption);
    parser.process(app);

    std::optional<std::string> portsDir;
    if (parser.isSet(portsOption)) portsDir = parser.value(portsOption).toStdString();
    tornavel::PosixPortOpener opener{tornavel::PortMap(portsDir)};

    TFormMain window(opener);
    TFormYesNo::instance();  // the dialog is made once, hidden, after the main window
    window.move(window.screen()->availableGeometry().center() - window.rect().center());
    window.show();
    return app.exec();
}
