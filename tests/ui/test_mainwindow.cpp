// The whole program against the UPS simulator, headless: scan, connect,
// monitor, events, stop and close, by clicking the window's real widgets.
#include <QDir>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTabWidget>
#include <QTableWidget>
#include <QTimer>
#include <QtTest>

#include "historydialog.h"
#include "serial/posixport.h"
#include "simulator.h"
#include "tformmain.h"
#include "ui_tformmain.h"

namespace {

QString Cell(QTableWidget* grid, int row, int column)
{
    QTableWidgetItem* item = grid->item(row, column);
    return item ? item->text() : QString();
}

bool SamePicture(QLabel* a, QLabel* b)
{
    return a->pixmap().toImage() == b->pixmap().toImage();
}

struct Window {
    explicit Window(const QString& portsDir) : opener(tornavel::PortMap(portsDir.toStdString())), form(opener)
    {
        form.show();
    }
    Ui::TFormMain& ui() { return *form.ui(); }
    void Connect(int row)
    {
        QTest::mouseClick(ui().BitBtnSCAN, Qt::LeftButton);
        ui().UPS->setCurrentCell(row, 0);
        QTest::mouseClick(ui().BitBtnGO, Qt::LeftButton);
    }
    tornavel::PosixPortOpener opener;
    TFormMain form;
};

// The texts a label showed each time it was painted, in order, repeats dropped.
class PaintedTexts final : public QObject {
public:
    explicit PaintedTexts(QLabel* label) : label_(label) { label->installEventFilter(this); }
    QStringList texts;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == label_ && event->type() == QEvent::Paint && (texts.isEmpty() || texts.last() != label_->text()))
            texts << label_->text();
        return false;
    }

private:
    QLabel* label_;
};

}  // namespace

class MainWindowTest : public QObject {
    Q_OBJECT
private slots:
    void scanListsEveryPortInOrder()
    {
        Simulator sim({"com1=ups", "com2=modem", "com3=silent", "com4=ups2"});
        Window w(sim.dir());
        QTest::mouseClick(w.ui().BitBtnSCAN, Qt::LeftButton);

        QCOMPARE(w.ui().LabelST->text(), QStringLiteral("ready"));
        QTableWidget* grid = w.ui().UPS;
        QCOMPARE(grid->rowCount(), 4);
        const QStringList ports = {"COM1", "COM2", "COM3", "COM4"};
        for (int r = 0; r < 4; ++r) QCOMPARE(Cell(grid, r, 0), ports[r]);
        QCOMPARE(Cell(grid, 0, 1), QStringLiteral("Smart-UPS 1000"));
        QVERIFY(!Cell(grid, 0, 2).isEmpty());
        QCOMPARE(Cell(grid, 0, 3).size(), 8);  // dd/mm/yy
        QCOMPARE(Cell(grid, 1, 1), QStringLiteral("modem"));
        QCOMPARE(Cell(grid, 2, 1), QStringLiteral("-"));
        QCOMPARE(Cell(grid, 2, 2), QString());
        QVERIFY(!Cell(grid, 3, 1).isEmpty());
        QVERIFY(Cell(grid, 3, 1) != Cell(grid, 0, 1));
        QVERIFY(w.ui().BitBtnSCAN->isEnabled());

        // The chosen row is light green across all four columns, the others white.
        // Checked on each cell's top pixel row, above its text.
        const QImage cells = grid->viewport()->grab().toImage();
        for (int column = 0; column < 4; ++column) {
            const int x = grid->columnViewportPosition(column) + grid->columnWidth(column) / 2;
            for (int row : {0, 1}) {
                const int y = grid->rowViewportPosition(row) + 1;
                QCOMPARE(cells.pixelColor(x, y), row == 0 ? QColor(0xE0, 0xFF, 0xE0) : QColor(Qt::white));
            }
        }
        // The units were left out of smart mode.
        QVERIFY(sim.Received("com1").endsWith("R"));
    }

    void scanPhasesArePaintedWhileItRuns()
    {
        Simulator sim({"com1=silent"});
        Window w(sim.dir());
        PaintedTexts painted(w.ui().LabelST);
        QTest::mouseClick(w.ui().BitBtnSCAN, Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(painted.texts.contains(QStringLiteral("ready")), kPatienceMs);
        QVERIFY2(painted.texts.contains(QStringLiteral("ждите, идет опрос COM портов...")),
                 qPrintable(painted.texts.join('|')));
        QVERIFY2(painted.texts.contains(QStringLiteral("ждите, идет поиск устройств...")),
                 qPrintable(painted.texts.join('|')));
    }

    void busyPortNamesItsHolder()
    {
        Simulator sim({"com1=ups", "com2=silent"});
        Window w(sim.dir());
        // This test program holds COM1 the way another serial program would.
        const auto held = w.opener.Open(1);
        QVERIFY(held);
        QTest::mouseClick(w.ui().BitBtnSCAN, Qt::LeftButton);
        QCOMPARE(w.ui().LabelST->text(), QStringLiteral("ready, COM1: занят (test_mainwindow)"));
        QCOMPARE(w.ui().UPS->rowCount(), 1);
        QCOMPARE(Cell(w.ui().UPS, 0, 0), QStringLiteral("COM2"));
    }

    void closeDuringAScanWaitsForItsEnd()
    {
        Simulator sim({"com1=ups", "com2=silent"});
        Window w(sim.dir());
        bool buttonsLocked = false;
        bool stillOpen = false;
        QString titleAfterClose;
        QTimer::singleShot(400, [&] {
            buttonsLocked = !w.ui().BitBtnSCAN->isEnabled() && !w.ui().BitBtnGO->isEnabled();
            w.form.close();
            stillOpen = w.form.isVisible();
            titleAfterClose = w.form.windowTitle();
            w.ui().BitBtnSCAN->click();  // locked: no second scan inside the first
        });
        QTest::mouseClick(w.ui().BitBtnSCAN, Qt::LeftButton);
        QVERIFY(buttonsLocked);
        QVERIFY(stillOpen);
        QCOMPARE(titleAfterClose, QStringLiteral("   ждите... идёт завершение работы."));
        QVERIFY(!w.form.isVisible());  // closed once the scan had ended
        QCOMPARE(w.ui().LabelST->text(), QStringLiteral("ready"));
        QCOMPARE(w.ui().UPS->rowCount(), 2);
        // No port was left open.
        QVERIFY(w.opener.Open(1) != nullptr);
        QVERIFY(w.opener.Open(2) != nullptr);
    }

    void noPortGivesTheMessage()
    {
        QTemporaryDir empty;
        Window w(empty.path());
        QTest::mouseClick(w.ui().BitBtnSCAN, Qt::LeftButton);
        QCOMPARE(w.ui().LabelST->text(), QStringLiteral("COM порты не обнаружены"));
        QCOMPARE(w.ui().UPS->rowCount(), 1);
    }

    void goOnAModemOrSilentRowDoesNothing()
    {
        Simulator sim({"com1=modem", "com2=silent"});
        Window w(sim.dir());
        for (int row : {0, 1}) {
            w.Connect(row);
            QCOMPARE(w.ui().BitBtnGO->text(), QStringLiteral("go"));
            QVERIFY(w.ui().PageControl1->isHidden());
        }
    }

    void connectMonitorEventAndStop()
    {
        Simulator sim({"com1=ups"});
        Window w(sim.dir());
        w.Connect(0);

        QCOMPARE(w.ui().BitBtnGO->text(), QStringLiteral("стоп"));
        QCOMPARE(w.ui().LabelST->text(), QStringLiteral("подключен"));
        QVERIFY(w.ui().PageControl1->isVisible());
        QVERIFY(!w.ui().BitBtnSCAN->isEnabled());
        QCOMPARE(w.ui().EditMODEL->text(), QStringLiteral("Smart-UPS 1000"));
        QCOMPARE(w.ui().EditSTATUS->text(), QStringLiteral("08 (в сети)"));
        QVERIFY(SamePicture(w.ui().ImageST3, w.ui().ImageS3));
        QVERIFY(w.ui().EditUSin->text().startsWith(QStringLiteral("2")));

        // A monitoring cycle refreshes the fast values and posts the gauges.
        w.ui().EditUSin->clear();
        QTRY_VERIFY_WITH_TIMEOUT(!w.ui().EditUSin->text().isEmpty(), kPatienceMs);
        QTRY_COMPARE_WITH_TIMEOUT(w.ui().LabelCharge->text(), QStringLiteral("100%"), kPatienceMs);
        const QImage bar = w.ui().BATT->grab().toImage();  // full, green, in its grey frame
        QCOMPARE(bar.pixelColor(bar.width() / 2, bar.height() / 2), QColor(0x50, 0xC0, 0x40));
        QCOMPARE(bar.pixelColor(0, bar.height() / 2), QColor(0x80, 0x80, 0x80));

        sim.Event("com1 mains-fail");
        QTRY_COMPARE_WITH_TIMEOUT(w.ui().LabelST->text(), QStringLiteral("Сбой сети."), kPatienceMs);
        QCOMPARE(w.ui().LabelUME->text(), QStringLiteral("!"));
        QTRY_VERIFY_WITH_TIMEOUT(SamePicture(w.ui().ImageST4, w.ui().ImageS4), kPatienceMs);
        QVERIFY(SamePicture(w.ui().ImageST3, w.ui().ImageS3x));

        w.ui().PanelKA->show();  // the calibration advice goes with the connection
        QTest::mouseClick(w.ui().BitBtnGO, Qt::LeftButton);
        QCOMPARE(w.ui().BitBtnGO->text(), QStringLiteral("стоп"));  // until the thread has ended
        QVERIFY(w.ui().ImageW->isVisible());
        QTRY_COMPARE_WITH_TIMEOUT(w.ui().BitBtnGO->text(), QStringLiteral("go"), kPatienceMs);
        QVERIFY(w.ui().PageControl1->isHidden());
        QVERIFY(w.ui().PanelKA->isHidden());
        QCOMPARE(w.ui().LabelST->text(), QStringLiteral("..."));
        QVERIFY(w.ui().BitBtnSCAN->isEnabled());
        QVERIFY(sim.Received("com1").endsWith("R"));
        // The port is free again: it can be opened once more.
        QVERIFY(w.opener.Open(1) != nullptr);
    }

    void fullReadShowsTheWaitPanelTheLampAndItsProgress()
    {
        Simulator sim({"com1=ups"});
        Window w(sim.dir());
        QTest::mouseClick(w.ui().BitBtnSCAN, Qt::LeftButton);
        w.ui().UPS->setCurrentCell(0, 0);
        // Looked at again and again while the read runs: at some moment part-way
        // through its thirty commands the panel is on top, the lamp on, the
        // busy light lit, all at once (the light goes out between exchanges).
        bool seenReading = false;
        bool seenAll = false;
        int lastProgress = -1;
        QTimer sampler;
        sampler.setInterval(20);
        QObject::connect(&sampler, &QTimer::timeout, [&] {
            if (w.ui().LabelST->text() != QStringLiteral("идёт опрос устройства...")) return;
            seenReading = true;
            const QObjectList siblings = w.form.children();
            const bool panelOnTop = w.ui().PanelWA->isVisible() &&
                                    std::none_of(siblings.begin(), siblings.end(), [&](QObject* o) {
                                        auto* sibling = qobject_cast<QWidget*>(o);
                                        return sibling && sibling->isVisible() &&
                                               siblings.indexOf(o) > siblings.indexOf(w.ui().PanelWA) &&
                                               sibling->geometry().intersects(w.ui().PanelWA->geometry());
                                    });
            const bool lampOn = SamePicture(w.ui().ImageA, w.ui().ImageAON);
            const bool busy = w.ui().ImageW->isVisible();
            lastProgress = w.ui().GaugeW->value();
            if (panelOnTop && lampOn && busy && lastProgress > 0 && lastProgress < 30) seenAll = true;
        });
        sampler.start();
        QTest::mouseClick(w.ui().BitBtnGO, Qt::LeftButton);
        sampler.stop();
        QVERIFY(seenReading);
        QVERIFY2(seenAll, qPrintable(QString::number(lastProgress)));
        QCOMPARE(w.ui().GaugeW->maximum(), 30);
        // And afterwards.
        QCOMPARE(w.ui().LabelST->text(), QStringLiteral("подключен"));
        QVERIFY(w.ui().PanelWA->isHidden());
        QVERIFY(w.ui().ImageW->isHidden());
    }

    void gaugesShowEachTheirOwnAnswer()
    {
        // Load 41.7 % (yellow) and charge 100 % (green): a gauge fed the
        // other's answer shows.
        Simulator sim({"--steady", "com1=ups2"});
        Window w(sim.dir());
        w.Connect(0);
        QTRY_COMPARE_WITH_TIMEOUT(w.ui().LabelLOAD->text(), QStringLiteral("41%"), kPatienceMs);
        QCOMPARE(w.ui().LabelCharge->text(), QStringLiteral("100%"));
        QCOMPARE(w.ui().LOAD->value(), 41);
        QCOMPARE(w.ui().BATT->value(), 100);
        const auto middle = [](QWidget* gauge) {
            const QImage bar = gauge->grab().toImage();
            return bar.pixelColor(bar.width() / 2, bar.height() - 3);
        };
        QCOMPARE(middle(w.ui().LOAD), QColor(0xE0, 0xE0, 0x00));
        QCOMPARE(middle(w.ui().BATT), QColor(0x50, 0xC0, 0x40));
    }

    void reconnectingStartsAFreshMonitorPage()
    {
        Simulator sim({"com1=ups"});
        Window w(sim.dir());
        w.Connect(0);
        QTRY_VERIFY_WITH_TIMEOUT(w.form.session().volts.voltCount() >= 1, kPatienceMs);
        w.ui().PageControl1->setCurrentWidget(w.ui().TabSheetTE);
        QTest::keyClick(w.ui().TERM, 'Y');
        QTRY_VERIFY_WITH_TIMEOUT(w.ui().TERM->toPlainText().contains(QStringLiteral("SM")), kPatienceMs);
        QTest::mouseClick(w.ui().BitBtnGO, Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(w.ui().BitBtnGO->text(), QStringLiteral("go"), kPatienceMs);

        QTest::mouseClick(w.ui().BitBtnGO, Qt::LeftButton);
        QCOMPARE(w.ui().BitBtnGO->text(), QStringLiteral("стоп"));
        QCOMPARE(w.ui().PageControl1->currentWidget(), w.ui().TabSheetMO);
        QVERIFY(!w.form.session().requests.terminalMode);
        QCOMPARE(w.ui().TERM->toPlainText(), QString());
        QCOMPARE(w.form.session().volts.voltCount(), 0);
        // Monitoring, not the terminal, runs: the fast values come again.
        w.ui().EditUSout->clear();
        QTRY_VERIFY_WITH_TIMEOUT(!w.ui().EditUSout->text().isEmpty(), kPatienceMs);
    }

    void testButtonsSendTheirCommandAndShowWhatIsGoingOn()
    {
        Simulator sim({"com1=ups"});
        Window w(sim.dir());
        w.Connect(0);
        QCOMPARE(w.ui().BitBtnGO->text(), QStringLiteral("стоп"));
        struct Button {
            QLabel* image;
            char command;
            QString caption;
            QString acknowledged;  // the message label once the unit answered
        };
        // The battery test runs on battery for a while; the simulated mains
        // failure comes last, on mains again, or the unit would refuse it.
        const QList<Button> buttons = {
            {w.ui().ImageTI, 'A', QStringLiteral("тест индикации..."), QStringLiteral("OK")},
            {w.ui().ImageTB, 'W', QStringLiteral("ждите... идёт тест батарей"), QStringLiteral("OK")},
            {w.ui().ImageSB, 'U', QStringLiteral("сбой питания..."), QString()}};
        for (const Button& b : buttons) {
            QTRY_COMPARE_WITH_TIMEOUT(w.ui().EditSTATUS->text(), QStringLiteral("08 (в сети)"), kPatienceMs);
            w.ui().LabelUME->setText(QStringLiteral("x"));
            QTest::mouseClick(b.image, Qt::LeftButton, {}, QPoint(5, 5));
            QCOMPARE(w.ui().LabelST->text(), b.caption);
            QCOMPARE(w.ui().LabelUME->text(), QStringLiteral("..."));
            QVERIFY(w.ui().ImageW->isVisible());
            // Sent once, at the start of the next cycle; then the busy picture goes.
            QTRY_COMPARE_WITH_TIMEOUT(sim.Received("com1").count(b.command), 1, kPatienceMs);
            QTRY_VERIFY_WITH_TIMEOUT(w.ui().ImageW->isHidden(), kPatienceMs);
            if (!b.acknowledged.isEmpty())
                QTRY_COMPARE_WITH_TIMEOUT(w.ui().LabelUME->text(), b.acknowledged, kPatienceMs);
        }
        QTRY_COMPARE_WITH_TIMEOUT(w.ui().LabelST->text(), QStringLiteral("Сбой сети."), kPatienceMs);
        const QByteArray sent = sim.Received("com1");
        QVERIFY(sent.indexOf('A') < sent.indexOf('W'));
        QVERIFY(sent.indexOf('W') < sent.indexOf('U'));
    }

    void closingWhileConnectedStopsFirst()
    {
        Simulator sim({"com1=ups"});
        Window w(sim.dir());
        w.Connect(0);
        QVERIFY(w.form.connected());

        QVERIFY(!w.form.close());
        QCOMPARE(w.form.windowTitle(), QStringLiteral("   ждите... идёт завершение работы."));
        QVERIFY(w.form.isVisible());
        QTRY_VERIFY_WITH_TIMEOUT(!w.form.isVisible(), kPatienceMs);
        QVERIFY(!w.form.connected());
        QVERIFY(sim.Received("com1").endsWith("R"));
    }

    // Closing during the full read: the notice shows at once, and once the
    // read is over the unit gets "R" at once, with no monitoring cycle first.
    void closeDuringTheFullReadEndsRightAfterIt()
    {
        Simulator sim({"com1=ups"});
        Window w(sim.dir());
        QTest::mouseClick(w.ui().BitBtnSCAN, Qt::LeftButton);
        w.ui().UPS->setCurrentCell(0, 0);
        QString titleAfterClose;
        bool stillOpen = false;
        bool reading = false;
        QTimer::singleShot(1500, [&] {
            reading = w.ui().PanelWA->isVisible();
            w.form.close();
            titleAfterClose = w.form.windowTitle();
            stillOpen = w.form.isVisible();
        });
        QTest::mouseClick(w.ui().BitBtnGO, Qt::LeftButton);

        QVERIFY(reading);
        QVERIFY(stillOpen);
        QCOMPARE(titleAfterClose, QStringLiteral("   ждите... идёт завершение работы."));
        QTRY_VERIFY_WITH_TIMEOUT(!w.form.isVisible(), kPatienceMs);
        QVERIFY(!w.form.connected());
        const QByteArray fullRead =
            "Y\x01"
            "cnmQP>xBgCjfkEsoluNMLOF970~'8";
        QVERIFY2(sim.Received("com1").endsWith(fullRead + "R"), sim.Received("com1").right(48).constData());
        QVERIFY(w.opener.Open(1) != nullptr);  // the port was closed
    }

    void hoverFrameFollowsThePictureButtons()
    {
        QTemporaryDir empty;
        Window w(empty.path());
        w.ui().PageControl1->show();
        auto frame = [&](const char* name) { return w.form.findChild<QFrame*>(name); };
        auto moveTo = [&](QWidget* widget, QPoint at = {5, 5}) {
            QTest::mouseMove(widget, at);
            QCoreApplication::processEvents();
        };

        moveTo(w.ui().ImageTI);
        QFrame* bx = frame("BXImageTI");
        QVERIFY(bx && bx->isVisible());
        QCOMPARE(bx->geometry(), w.ui().ImageTI->geometry().adjusted(-2, -2, 2, 2));
        QCOMPARE(bx->parentWidget(), w.ui().ImageTI->parentWidget());

        moveTo(w.ui().ImageTB);  // the same frame moves
        QCOMPARE(frame("BXImageTI"), bx);
        QCOMPARE(bx->geometry(), w.ui().ImageTB->geometry().adjusted(-2, -2, 2, 2));

        moveTo(w.ui().EditSIGNAL);  // not a reset area
        QVERIFY(bx->isVisible());
        moveTo(w.ui().Panel3, {300, 5});  // the group's own background
        QVERIFY(bx->isHidden());

        w.ui().PageControl1->setCurrentWidget(w.ui().TabSheetKA);
        w.ui().ImageFLOP->show();
        moveTo(w.ui().ImageFLOP);
        QTRY_VERIFY_WITH_TIMEOUT(frame("BXImageTI") == nullptr, kPatienceMs);  // another parent: a new frame
        QVERIFY(frame("BXImageFLOP") && frame("BXImageFLOP")->isVisible());
    }

    void voltageCaptionHighlightAndItsReset()
    {
        QTemporaryDir empty;
        Window w(empty.path());
        w.ui().PageControl1->show();
        const QColor normal = w.ui().LabelUin->palette().color(QPalette::WindowText);
        QTest::mouseMove(w.ui().LabelUin, {5, 5});
        QCOMPARE(w.ui().LabelUin->palette().color(QPalette::WindowText), QColor(0, 0, 255));
        QTest::mouseMove(w.ui().PanelU, {150, 5});
        QCOMPARE(w.ui().LabelUin->palette().color(QPalette::WindowText), normal);
    }

    void mutedUnitsValuesTurnOldAndComeBack()
    {
        Simulator sim({"com1=ups"});
        Window w(sim.dir());
        w.Connect(0);
        // The slow values are read once in eight cycles: most keep their
        // last value through a silent cycle, and must not look current.
        const QList<QLineEdit*> slow = {w.ui().EditUbatt, w.ui().EditTgrad, w.ui().EditRUNTIME, w.ui().EditUout,
                                        w.ui().EditUSmin, w.ui().EditUSmax, w.ui().EditFREQ,    w.ui().EditQUALITY};
        const QColor current = w.ui().EditUbatt->palette().color(QPalette::Text);
        QVERIFY(w.ui().ImageST3->isVisible());

        sim.Event("com1 silent on");
        QTRY_VERIFY_WITH_TIMEOUT(w.ui().LabelST->text().startsWith(QStringLiteral("нет ответа, данные от ")),
                                 kPatienceMs);
        int keptValues = 0;
        for (QLineEdit* edit : slow) {
            keptValues += !edit->text().isEmpty();
            QVERIFY(edit->palette().color(QPalette::Text) != current);
        }
        QVERIFY(keptValues >= 6);
        QVERIFY(!w.ui().ImageST3->isVisible());
        QCOMPARE(w.ui().LabelLOAD->text(), QStringLiteral("?"));

        sim.Event("com1 silent off");
        QTRY_COMPARE_WITH_TIMEOUT(w.ui().LabelST->text(), QStringLiteral("подключен"), kPatienceMs);
        for (QLineEdit* edit : slow) QCOMPARE(edit->palette().color(QPalette::Text), current);
        QVERIFY(w.ui().ImageST3->isVisible());
        QVERIFY(w.ui().LabelLOAD->text().endsWith('%'));
    }

    void historyKeepsWhatHappenedAndShowsItNewestFirst()
    {
        QTemporaryDir state;
        const QByteArray savedState = qgetenv("XDG_STATE_HOME");
        qputenv("XDG_STATE_HOME", state.path().toUtf8());
        const auto restore = qScopeGuard([&] { qputenv("XDG_STATE_HOME", savedState); });
        const QString path = state.path() + QStringLiteral("/tornavel/events.log");
        QVERIFY(QDir().mkpath(state.path() + QStringLiteral("/tornavel")));
        {
            QFile earlier(path);
            QVERIFY(earlier.open(QIODevice::WriteOnly));
            earlier.write("100\talert\t<b>earlier</b> run\nnot a line of ours\n");
        }
        Simulator sim({"com1=ups"}, {"--steady"});
        Window w(sim.dir());
        w.Connect(0);
        auto* list = w.form.historyDialog()->list();
        auto shown = [list](const QString& part) {
            for (int row = 0; row < list->count(); ++row)
                if (list->item(row)->text().contains(part)) return row;
            return -1;
        };

        QTest::mouseClick(w.ui().ImageTB, Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(shown(QStringLiteral("тест батарей: ответ «OK»")) >= 0, kPatienceMs);
        sim.Event("com1 mains-fail");
        QTRY_VERIFY_WITH_TIMEOUT(shown(QStringLiteral("Сбой сети.")) >= 0, kPatienceMs);
        w.ui().PageControl1->setCurrentWidget(w.ui().TabSheetKA);
        QTest::mouseClick(w.ui().LabelZS, Qt::LeftButton);
        QTest::mouseClick(w.ui().ImageRI, Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(shown(QStringLiteral("(EditZS)")) >= 0, kPatienceMs);

        QVERIFY(!w.form.historyDialog()->isVisible());
        QTest::keyClick(&w.form, Qt::Key_F9);
        QVERIFY(w.form.historyDialog()->isVisible());
        const int change = shown(QStringLiteral("изменение:   параметр «k» (EditZS)"));
        const int test = shown(QStringLiteral("тест:   тест батарей"));
        const int alert = shown(QStringLiteral("сигнал:   Сбой сети."));
        const int connected = shown(QStringLiteral("подключение:   COM1: подключен «Smart-UPS 1000»"));
        const int earlier = shown(QStringLiteral("<b>earlier</b> run"));  // as text, tags and all
        QVERIFY(change >= 0 && change < alert && alert < test && test < connected && connected < earlier);
        QCOMPARE(earlier, list->count() - 1);
        QCOMPARE(shown(QStringLiteral("not a line of ours")), -1);
        QVERIFY(list->item(change)->text().endsWith(QStringLiteral(", подтверждено")));

        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QString kept = QString::fromUtf8(file.readAll());
        for (const char* line : {"\talert\tСбой сети.\n", "\ttest\tтест батарей: ответ «OK»\n",
                                 "\tchange\tпараметр «k»", "\tconnected\tCOM1: подключен «Smart-UPS 1000»"})
            QVERIFY2(kept.contains(QString::fromUtf8(line)), line);
        QTest::mouseClick(w.ui().BitBtnGO, Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(shown(QStringLiteral("COM1: отключен кнопкой «стоп»")) == 0, kPatienceMs);
    }

    void unpluggedUnitIsReportedAndReconnectedAfterThePlug()
    {
        Simulator sim({"com1=ups"});
        Window w(sim.dir());
        w.Connect(0);
        QCOMPARE(w.ui().LabelST->text(), QStringLiteral("подключен"));
        // What "go" sent: "Y" and the full read, after the scan's closing "R".
        const QByteArray firstContact = sim.Received("com1");
        const QByteArray connection = firstContact.mid(firstContact.indexOf('R') + 1, 31);
        QVERIFY(connection.startsWith('Y'));

        sim.Event("com1 unplug");
        QTRY_COMPARE_WITH_TIMEOUT(w.ui().LabelST->text(), QStringLiteral("COM1 отключен, ждите его возвращения..."),
                                  kPatienceMs);
        QCOMPARE(w.ui().BitBtnGO->text(), QStringLiteral("go"));
        QVERIFY(w.form.reconnecting());

        const qsizetype beforePlug = sim.Received("com1").size();
        sim.Event("com1 plug");
        QTRY_COMPARE_WITH_TIMEOUT(w.ui().LabelST->text(), QStringLiteral("подключен снова"), kPatienceMs);
        QCOMPARE(w.ui().BitBtnGO->text(), QStringLiteral("стоп"));
        QVERIFY(!w.form.reconnecting());
        QCOMPARE(sim.Received("com1").mid(beforePlug, 31), connection);
        QTest::mouseClick(w.ui().BitBtnGO, Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(w.ui().BitBtnGO->text(), QStringLiteral("go"), kPatienceMs);
        QVERIFY(sim.Received("com1").endsWith('R'));
    }
};

QTEST_MAIN(MainWindowTest)
#include "test_mainwindow.moc"
