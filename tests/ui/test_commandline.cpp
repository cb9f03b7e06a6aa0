// tornavel's command line, read before the window system starts: what each
// form of it asks for, the ports directory it names, and what is wrong.
#include <QtTest>

#include "windowcommandline.h"

Q_DECLARE_METATYPE(CommandLine::Action)

class CommandLineTest : public QObject {
    Q_OBJECT
private slots:
    void reading_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<CommandLine::Action>("action");
        QTest::addColumn<QString>("portsDir");  // "-" for none
        QTest::addColumn<QString>("textHas");

        using A = CommandLine::Action;
        QTest::newRow("nothing") << QStringList{} << A::Run << "-"
                                 << "";
        QTest::newRow("ports DIR") << QStringList{"--ports", "/tmp/p"} << A::Run << "/tmp/p"
                                   << "";
        QTest::newRow("ports=DIR") << QStringList{"--ports=/tmp/q"} << A::Run << "/tmp/q"
                                   << "";
        QTest::newRow("help") << QStringList{"--help"} << A::Help << "-"
                              << "Usage: tornavel [--ports DIR]";
        QTest::newRow("-h") << QStringList{"-h"} << A::Help << "-"
                            << "/dev/ttyACM0-3";
        QTest::newRow("help wins over ports") << QStringList{"--ports", "/p", "--help"} << A::Help << "-"
                                              << "--version";
        QTest::newRow("version") << QStringList{"--version"} << A::Version << "-"
                                 << "tornavel 0.";
        QTest::newRow("unknown option") << QStringList{"--port", "/p"} << A::Wrong << "-"
                                        << "Unknown option 'port'";
        QTest::newRow("ports without DIR") << QStringList{"--ports"} << A::Wrong << "-"
                                           << "Missing value";
        QTest::newRow("a stray argument") << QStringList{"com1"} << A::Wrong << "-"
                                          << "unexpected argument 'com1'";
        QTest::newRow("Qt's own option") << QStringList{"-platform", "xcb"} << A::Wrong << "-"
                                         << "Unknown option";
    }

    void reading()
    {
        QFETCH(QStringList, arguments);
        QFETCH(CommandLine::Action, action);
        QFETCH(QString, portsDir);
        QFETCH(QString, textHas);

        const CommandLine command = ReadCommandLine(QStringList{"tornavel"} + arguments);
        QCOMPARE(command.action, action);
        if (portsDir == "-")
            QVERIFY(!command.portsDir);
        else
            QCOMPARE(QString::fromStdString(command.portsDir.value_or("(none)")), portsDir);
        QVERIFY2(command.text.contains(textHas), qPrintable(command.text));
    }
};

QTEST_APPLESS_MAIN(CommandLineTest)
#include "test_commandline.moc"
