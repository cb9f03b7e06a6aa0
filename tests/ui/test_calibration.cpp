// Battery calibration on the window, headless: the advice panel with its
// warnings, centring and dragging, the two questions and the "D" requests,
// and a whole calibration started and stopped against the simulator.
#include <QApplication>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTableWidget>
#include <QTimer>
#include <QtTest>

#include <functional>
#include <memory>

#include "formYN.h"
#include "protocol/devicetable.h"
#include "serial/posixport.h"
#include "simulator.h"
#include "tformmain.h"
#include "ui_tformmain.h"

namespace {

const QString kAbortCaption = QStringLiteral("прервать калибровку");
const QString kIdleCaption = QStringLiteral("калибровкa");  // Latin final a
const QString kStartQuestion = QStringLiteral("включить режим калибровки?");
const QString kAbortQuestion = QStringLiteral("прервать калибровку?");
const QString kRegisterWarning = QStringLiteral("• значение регистра 0 меньше рекомендуемого");
const QString kBatteryWarning = QStringLiteral("• батареи не полностью заряжены");
const QString kLoadWarning = QStringLiteral("• нагрузка меньше рекомендуемого значения");
const QPoint kCentred(152, 169);  // (705 - 401) / 2, (483 - 144) / 2

TFormYesNo* ShownQuestion()
{
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (auto* dialog = qobject_cast<TFormYesNo*>(widget); dialog && dialog->isVisible()) return dialog;
    return nullptr;
}

// The operator's answer to the next yes/no question, given from inside its
// modal loop. `question` keeps what the dialog asked; it stays empty when no
// question came within a few seconds.
struct Reply {
    QString question;
};

std::shared_ptr<Reply> AnswerNextQuestion(bool yes)
{
    auto reply = std::make_shared<Reply>();
    auto tries = std::make_shared<int>(100);
    auto look = std::make_shared<std::function<void()>>();
    *look = [reply, tries, look, yes] {
        if (TFormYesNo* dialog = ShownQuestion()) {
            reply->question = dialog->findChild<QLabel*>("LabelTXT")->text();
            QTest::mouseClick(dialog->findChild<QPushButton*>(yes ? "BitBtnDa" : "BitBtnNet"), Qt::LeftButton);
            *look = nullptr;  // ends the cycle of references
            return;
        }
        if (--*tries > 0)
            QTimer::singleShot(50, *look);
        else
            *look = nullptr;
    };
    QTimer::singleShot(0, *look);
    return reply;
}

struct Window {
    explicit Window(const QString& portsDir) : opener(tornavel::PortMap(portsDir.toStdString())), form(opener)
    {
        form.show();
    }
    Ui::TFormMain& ui() { return *form.ui(); }
    tornavel::Session& session() { return form.session(); }

    void Connect()
    {
        QTest::mouseClick(ui().BitBtnSCAN, Qt::LeftButton);
        ui().UPS->setCurrentCell(0, 0);
        QTest::mouseClick(ui().BitBtnGO, Qt::LeftButton);
        ui().PageControl1->setCurrentWidget(ui().TabSheetKA);
    }

    // The parameter page as if a unit had been read with these answers.
    void ShowReadValues(const QString& register0, const QString& charge, const QString& load)
    {
        tornavel::DeviceTable& table = session().table;
        table.Clear();
        table.Add(1);
        table.SetApcIndex(0);
        table.SetSlot(tornavel::kSlotRegister0, register0.toStdString());
        table.SetSlot(tornavel::kSlotCharge, charge.toStdString());
        table.SetSlot(tornavel::kSlotLoad, load.toStdString());
        ui().PageControl1->show();
        ui().PageControl1->setCurrentWidget(ui().TabSheetKA);
    }

    void ClickKA() { QTest::mouseClick(ui().BitBtnKA, Qt::LeftButton); }

    // Clicks a picture and answers the question it asks; returns the question.
    QString ClickAndAnswer(QWidget* control, bool yes)
    {
        const auto reply = AnswerNextQuestion(yes);
        QTest::mouseClick(control, Qt::LeftButton);
        return reply->question;
    }

    tornavel::PosixPortOpener opener;
    TFormMain form;
};

// A window whose unit has good values and no serial ports at all.
struct OfflineWindow : QTemporaryDir, Window {
    OfflineWindow() : Window(path()) { ShowReadValues("B0", "100.0", "035.0"); }
};

}  // namespace

class CalibrationTest : public QObject {
    Q_OBJECT
private slots:
    void warnings_data()
    {
        QTest::addColumn<QString>("register0");
        QTest::addColumn<QString>("charge");
        QTest::addColumn<QString>("load");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("all three, in order") << "A0"
                                             << "099.0"
                                             << "025.3" << QStringList{kRegisterWarning, kBatteryWarning, kLoadWarning};
        QTest::newRow("all met") << "B0"
                                 << "100.0"
                                 << "035.0" << QStringList{};
        QTest::newRow("register just below") << "AF"
                                             << "100.0"
                                             << "035.0" << QStringList{kRegisterWarning};
        QTest::newRow("register lower case") << "a0"
                                             << "100.0"
                                             << "035.0" << QStringList{kRegisterWarning};
        QTest::newRow("register empty") << ""
                                        << "100.0"
                                        << "035.0" << QStringList{};
        QTest::newRow("register refused") << "NA"
                                          << "100.0"
                                          << "035.0" << QStringList{};
        QTest::newRow("battery empty") << "B0"
                                       << ""
                                       << "035.0" << QStringList{kBatteryWarning};
        QTest::newRow("battery not exactly 100.0") << "B0"
                                                   << "100"
                                                   << "035.0" << QStringList{kBatteryWarning};
        QTest::newRow("load just below") << "FF"
                                         << "100.0"
                                         << "029.9" << QStringList{kLoadWarning};
        QTest::newRow("load at the limit") << "FF"
                                           << "100.0"
                                           << "030.0" << QStringList{};
        QTest::newRow("load not three digits") << "B0"
                                               << "100.0"
                                               << "2.5" << QStringList{};
        QTest::newRow("load refused") << "B0"
                                      << "100.0"
                                      << "NA" << QStringList{};
    }

    void warnings()
    {
        QFETCH(QString, register0);
        QFETCH(QString, charge);
        QFETCH(QString, load);
        QFETCH(QStringList, expected);
        OfflineWindow w;
        w.ShowReadValues(register0, charge, load);
        w.ClickKA();
        QVERIFY(w.ui().PanelKA->isVisible());
        QCOMPARE(w.ui().LabelKA->text(), expected.join(u'\n'));
        QCOMPARE(w.ui().LabelKA->textFormat(), Qt::PlainText);
    }

    void panelOpensCentredOnTopAndReopensFresh()
    {
        OfflineWindow w;
        QCOMPARE(w.form.size(), QSize(705, 483));
        QCOMPARE(w.ui().PanelKA->size(), QSize(401, 144));
        w.ClickKA();
        QWidget* panel = w.ui().PanelKA;
        QCOMPARE(panel->pos(), kCentred);
        // Raised above the pages it lies on.
        QWidget* top = w.form.childAt(panel->geometry().center());
        QVERIFY(top == panel || panel->isAncestorOf(top));
        QCOMPARE(w.ui().LabelKA->text(), QString());

        // Moved away and reopened: centred again, warnings from the values now.
        panel->move(0, 0);
        w.session().table.SetSlot(tornavel::kSlotCharge, "090.0");
        w.ClickKA();
        QCOMPARE(panel->pos(), kCentred);
        QCOMPARE(w.ui().LabelKA->text(), kBatteryWarning);
    }

    void dragging_data()
    {
        QTest::addColumn<QString>("handle");
        QTest::addColumn<QPoint>("press");  // in the handle
        QTest::addColumn<QPoint>("shift");
        QTest::addColumn<QPoint>("expected");
        QTest::newRow("title strip") << "Panel9" << QPoint(380, 28) << QPoint(30, 20) << QPoint(182, 189);
        QTest::newRow("title") << "LabelKAH" << QPoint(40, 15) << QPoint(-50, -40) << QPoint(102, 129);
        QTest::newRow("panel surface") << "PanelKA" << QPoint(10, 120) << QPoint(5, -7) << QPoint(157, 162);
        QTest::newRow("kept inside, top left") << "Panel9" << QPoint(380, 28) << QPoint(-900, -900) << QPoint(0, 0);
        QTest::newRow("kept inside, bottom right")
            << "Panel9" << QPoint(380, 28) << QPoint(900, 900) << QPoint(705 - 401, 483 - 144);
        QTest::newRow("advice line does not drag") << "LabelKA1" << QPoint(20, 6) << QPoint(30, 20) << kCentred;
    }

    void dragging()
    {
        QFETCH(QString, handle);
        QFETCH(QPoint, press);
        QFETCH(QPoint, shift);
        QFETCH(QPoint, expected);
        OfflineWindow w;
        w.ClickKA();
        QWidget* grip = w.form.findChild<QWidget*>(handle);
        QVERIFY(grip);
        QVERIFY(grip->rect().contains(press));

        QTest::mousePress(grip, Qt::LeftButton, {}, press);
        QTest::mouseMove(grip, press + shift);
        QTest::mouseRelease(grip, Qt::LeftButton, {}, press + shift);
        QCOMPARE(w.ui().PanelKA->pos(), expected);

        // The release ended the drag: moving with the button held down on a
        // control that does not drag leaves the panel where it was put.
        QTest::mousePress(w.ui().LabelKA1, Qt::LeftButton, {}, QPoint(5, 5));
        QTest::mouseMove(w.ui().LabelKA1, QPoint(60, 40));
        QTest::mouseRelease(w.ui().LabelKA1, Qt::LeftButton, {}, QPoint(60, 40));
        QCOMPARE(w.ui().PanelKA->pos(), expected);
    }

    void closePictureHidesThePanel()
    {
        OfflineWindow w;
        w.ClickKA();
        QTest::mouseClick(w.ui().ImageKX, Qt::LeftButton);
        QVERIFY(w.ui().PanelKA->isHidden());
        QVERIFY(!w.session().requests.cmdPending);
    }

    // Without a polling thread the request simply waits, so the window's side
    // of a start is seen as it was left by the click.
    void startQuestion_data()
    {
        QTest::addColumn<bool>("yes");
        QTest::newRow("да") << true;
        QTest::newRow("нет") << false;
    }

    void startQuestion()
    {
        QFETCH(bool, yes);
        OfflineWindow w;
        w.ui().LabelUME->setText(QStringLiteral("NO"));
        w.ClickKA();
        QCOMPARE(w.ClickAndAnswer(w.ui().Image1, yes), kStartQuestion);

        tornavel::Requests& requests = w.session().requests;
        QCOMPARE(requests.cmdPending.load(), yes);
        QCOMPARE(QByteArray::fromStdString(requests.pendingCmd.Get()), yes ? QByteArray("D") : QByteArray());
        QCOMPARE(w.ui().PanelKA->isHidden(), yes);
        QCOMPARE(w.ui().ImageW->isVisible(), yes);
        QCOMPARE(w.ui().LabelUME->text(), yes ? QStringLiteral("...") : QStringLiteral("NO"));
    }

    void abortQuestion_data() { startQuestion_data(); }

    void abortQuestion()
    {
        QFETCH(bool, yes);
        OfflineWindow w;
        w.ui().BitBtnKA->setText(kAbortCaption);  // as the status display sets it
        w.ui().LabelUME->setText(QStringLiteral("OK"));
        QCOMPARE(w.ClickAndAnswer(w.ui().BitBtnKA, yes), kAbortQuestion);

        tornavel::Requests& requests = w.session().requests;
        QCOMPARE(requests.cmdPending.load(), yes);
        QCOMPARE(QByteArray::fromStdString(requests.pendingCmd.Get()), yes ? QByteArray("D") : QByteArray());
        QVERIFY(w.ui().ImageW->isHidden());
        QCOMPARE(w.ui().LabelUME->text(), QStringLiteral("OK"));
    }

    // The note is only read: it takes no focus and its words are not cut off.
    void noteIsReadOnlyAndFits()
    {
        OfflineWindow w;
        w.ClickKA();
        QPlainTextEdit* memo = w.ui().MemoKA;
        QVERIFY(memo->isReadOnly());
        QVERIFY(!memo->toPlainText().isEmpty());
        const int margin = qCeil(memo->document()->documentMargin());
        const QRect room = memo->viewport()->rect().adjusted(margin, margin, -margin, -margin);
        const QRect needed = memo->fontMetrics().boundingRect(QRect(room.topLeft(), QSize(room.width(), 1000)),
                                                              Qt::TextWordWrap, memo->toPlainText());
        QVERIFY2(needed.height() <= room.height() && needed.width() <= room.width(),
                 qPrintable(QStringLiteral("%1 x %2").arg(needed.width()).arg(needed.height())));
    }

    // "да" given after the connection ended while the question was open.
    void lateYesAfterTheConnectionEndedDoesNothing()
    {
        Simulator sim({"com1=ups"});
        Window w(sim.dir());
        w.Connect();
        w.ClickKA();
        bool endedDuringTheQuestion = false;
        QTimer::singleShot(0, [&] {
            QTRY_VERIFY_WITH_TIMEOUT(ShownQuestion() != nullptr, kPatienceMs);
            QTest::mouseClick(w.ui().BitBtnGO, Qt::LeftButton);  // "стоп" behind the dialog
            QTRY_COMPARE_WITH_TIMEOUT(w.ui().BitBtnGO->text(), QStringLiteral("go"), kPatienceMs);
            endedDuringTheQuestion = true;
            QTest::mouseClick(ShownQuestion()->findChild<QPushButton*>("BitBtnDa"), Qt::LeftButton);
        });
        QTest::mouseClick(w.ui().Image1, Qt::LeftButton);
        QVERIFY(endedDuringTheQuestion);
        QVERIFY(!w.session().requests.cmdPending);
        QVERIFY(w.ui().ImageW->isHidden());
        QVERIFY(w.ui().PanelKA->isHidden());
        QVERIFY(!sim.Received("com1").contains('D'));
    }

    void calibrationStartedAndStoppedOnTheSimulator()
    {
        Simulator sim({"com1=ups"});
        Window w(sim.dir());
        w.Connect();
        QVERIFY(w.form.connected());
        QCOMPARE(w.ui().BitBtnKA->text(), kIdleCaption);
        w.ClickKA();
        QVERIFY(w.ui().PanelKA->isVisible());

        QCOMPARE(w.ClickAndAnswer(w.ui().Image1, false), kStartQuestion);
        QVERIFY(w.ui().PanelKA->isVisible());
        QVERIFY(!w.session().requests.cmdPending);

        QCOMPARE(w.ClickAndAnswer(w.ui().Image1, true), kStartQuestion);
        QVERIFY(w.ui().PanelKA->isHidden());
        QTRY_COMPARE_WITH_TIMEOUT(sim.Received("com1").count('D'), 1, kPatienceMs);
        QTRY_VERIFY_WITH_TIMEOUT(w.ui().ImageW->isHidden(), kPatienceMs);
        QTRY_COMPARE_WITH_TIMEOUT(w.ui().BitBtnKA->text(), kAbortCaption, kPatienceMs);
        QTRY_VERIFY_WITH_TIMEOUT(w.ui().ImageKA->isVisible(), kPatienceMs);

        QCOMPARE(w.ClickAndAnswer(w.ui().BitBtnKA, true), kAbortQuestion);
        QVERIFY(w.ui().PanelKA->isHidden());
        QTRY_COMPARE_WITH_TIMEOUT(sim.Received("com1").count('D'), 2, kPatienceMs);
        QTRY_COMPARE_WITH_TIMEOUT(w.ui().BitBtnKA->text(), kIdleCaption, kPatienceMs);
        QTRY_VERIFY_WITH_TIMEOUT(w.ui().ImageKA->isHidden(), kPatienceMs);
    }
};

QTEST_MAIN(CalibrationTest)
#include "test_calibration.moc"
