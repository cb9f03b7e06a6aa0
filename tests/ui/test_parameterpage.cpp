// The page "изменение параметров" against the UPS simulator, headless: one
// connection for the whole program, the real widgets clicked and typed into,
// the bytes on the line checked in the simulator's log.
#include <QClipboard>
#include <QGuiApplication>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QtTest>
#include <memory>

#include "changepresenter.h"
#include "serial/posixport.h"
#include "session.h"
#include "simulator.h"
#include "tformmain.h"
#include "ui_tformmain.h"

namespace {

const QColor kMaroon(128, 0, 0);
const QColor kRefused(255, 160, 160);
constexpr int kChangeTimeoutMs = 30000;  // a cycle, programming mode and the characters

enum class Input { Keys, Paste, InputMethod };

struct Window {
    explicit Window(const QString& portsDir) : opener(tornavel::PortMap(portsDir.toStdString())), form(opener)
    {
        form.show();
    }
    tornavel::PosixPortOpener opener;
    TFormMain form;
};

// Counts how often an edit box turns to the refused colour on the screen,
// and what stood around it meanwhile.
class PaintProbe : public QObject {
public:
    PaintProbe(QLineEdit* box, QWidget* hint, QWidget* waitImage) : box_(box), hint_(hint), waitImage_(waitImage)
    {
        box_->installEventFilter(this);
    }
    ~PaintProbe() override { box_->removeEventFilter(this); }
    int redPhases = 0;
    bool hintSeenDuringFlash = false;
    bool waitImageSeenDuringFlash = false;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() != QEvent::Paint) return false;
        const bool red = box_->palette().color(QPalette::Base) == kRefused;
        if (red && !red_) ++redPhases;
        red_ = red;
        if (red) {
            hintSeenDuringFlash |= hint_ && hint_->isVisible();
            waitImageSeenDuringFlash |= waitImage_->isVisible();
        }
        return false;
    }

private:
    QLineEdit* box_;
    QWidget* hint_;
    QWidget* waitImage_;
    bool red_ = false;
};

QColor FontColour(const QLabel* label)
{
    return label->palette().color(QPalette::WindowText);
}

}  // namespace

Q_DECLARE_METATYPE(Input)

class ParameterPageTest : public QObject {
    Q_OBJECT

    std::unique_ptr<Simulator> sim_;
    std::unique_ptr<Window> window_;

    Ui::TFormMain& ui() { return *window_->form.ui(); }
    tornavel::Requests& requests() { return window_->form.session().requests; }
    template <typename T>
    T* Control(const QString& name)
    {
        return window_->form.findChild<T*>(name);
    }
    QByteArray Line() { return sim_->Received(QStringLiteral("com1")); }

    // Shows the page afresh: its boxes take the monitor page's texts again.
    void ShowParameterPage()
    {
        ui().PageControl1->setCurrentWidget(ui().TabSheetMO);
        ui().PageControl1->setCurrentWidget(ui().TabSheetKA);
    }
    void WaitForCompletion() { QTRY_VERIFY_WITH_TIMEOUT(!requests().eepromChange, kChangeTimeoutMs); }
    void Type(QLineEdit* box, const QString& text)
    {
        box->setText(QString());
        QTest::keyClicks(box, text);
    }

private slots:
    void initTestCase()
    {
        sim_ = std::make_unique<Simulator>(QStringList{"com1=ups"}, QStringList{"--steady"});
        window_ = std::make_unique<Window>(sim_->dir());
        QTest::mouseClick(ui().BitBtnSCAN, Qt::LeftButton);
        ui().UPS->setCurrentCell(0, 0);
        QTest::mouseClick(ui().BitBtnGO, Qt::LeftButton);
        QVERIFY(window_->form.connected());
        ui().PageControl1->setCurrentWidget(ui().TabSheetKA);
    }

    void cleanupTestCase()
    {
        window_.reset();
        sim_.reset();
    }

    void pageIsFilledFromTheMonitorPageAndTheRecord()
    {
        const QList<QPair<QLineEdit*, QLineEdit*>> copies = {
            {ui().EditNA, ui().EditNAME},    {ui().EditSN, ui().EditSERIAL}, {ui().EditDA, ui().EditDATA},
            {ui().EditDZ, ui().EditDATAZAM}, {ui().EditZS, ui().EditSIGNAL}, {ui().EditIS, ui().EditINTSAMOT},
            {ui().EditCH, ui().EditSENSIT},  {ui().EditUO, ui().EditUout},   {ui().EditMI, ui().EditUPmin},
            {ui().EditMA, ui().EditUPmax}};
        for (const auto& [box, copy] : copies) QCOMPARE(box->text(), copy->text());
        QCOMPARE(ui().EditNA->text(), QStringLiteral("UPS_IDEN"));
        QCOMPARE(ui().EditR0->text(), QStringLiteral("A0"));
        const QList<QPair<QLineEdit*, QString>> registers = {{ui().EditR1, QStringLiteral("01")},
                                                             {ui().EditR2, QStringLiteral("04")},
                                                             {ui().EditR3, QStringLiteral("10")}};
        for (const auto& [box, text] : registers) {
            QCOMPARE(box->text(), text);
            QVERIFY(box->isReadOnly());
        }
        QVERIFY(ui().ImageFLOP->isHidden());
        QVERIFY(ui().ImageGF->isHidden());

        // The selected setting at start.
        QCOMPARE(FontColour(ui().LabelZS), kMaroon);
        QCOMPARE(FontColour(ui().LabelMA), QColor(Qt::black));
        QCOMPARE(ui().ImageRI->y(), ui().EditZS->y());

        // Coming from the terminal page, polling resumes.
        ui().PageControl1->setCurrentWidget(ui().TabSheetTE);
        QVERIFY(requests().terminalMode);
        ui().PageControl1->setCurrentWidget(ui().TabSheetKA);
        QVERIFY(!requests().terminalMode);
    }

    void typingRules_data()
    {
        QTest::addColumn<QString>("box");
        QTest::addColumn<Input>("how");
        QTest::addColumn<QString>("input");
        QTest::addColumn<QString>("expected");

        QTest::newRow("digits get their slashes") << "EditDZ" << Input::Keys << "120503"
                                                  << "12/05/03";
        QTest::newRow("backspace after 12/ leaves 1") << "EditDZ" << Input::Keys << "12\b"
                                                      << "1";
        QTest::newRow("backspace after 12/05/ leaves 12/0") << "EditDZ" << Input::Keys << "1205\b"
                                                            << "12/0";
        QTest::newRow("slash and letters refused") << "EditDZ" << Input::Keys << "1/a2b"
                                                   << "12/";
        QTest::newRow("battery date: 8 at most") << "EditDZ" << Input::Keys << "12050399"
                                                 << "12/05/03";
        QTest::newRow("made date takes any other character") << "EditDA" << Input::Keys << "1203x"
                                                             << "12/03/x";
        QTest::newRow("made date: backspace") << "EditDA" << Input::Keys << "12\b"
                                              << "1";
        QTest::newRow("made date: no limit") << "EditDA" << Input::Keys << "1203051234"
                                             << "12/03/051234";
        QTest::newRow("! refused in the name") << "EditNA" << Input::Keys << "a!b"
                                               << "ab";
        QTest::newRow("every alert character refused") << "EditSN" << Input::Keys << "!$%+?=*#|"
                                                       << "";
        QTest::newRow("no Windows-1251 byte: refused") << "EditNA" << Input::Paste << "aŁb"
                                                       << "ab";
        QTest::newRow("name: 8 at most") << "EditNA" << Input::Keys << "ABCDEFGHIJ"
                                         << "ABCDEFGH";
        QTest::newRow("serial: 14 at most") << "EditSN" << Input::Keys << "ABCDEFGHIJKLMNOP"
                                            << "ABCDEFGHIJKLMN";
        QTest::newRow("pasted name loses the !") << "EditNA" << Input::Paste << "a!b"
                                                 << "ab";
        QTest::newRow("register 0: 2 at most") << "EditR0" << Input::Keys << "B0C"
                                               << "B0";
        QTest::newRow("pasted serial is cut at 14") << "EditSN" << Input::Paste << "ABCDEFGHIJKLMNOPQ"
                                                    << "ABCDEFGHIJKLMN";
        QTest::newRow("pasted name: cut at 8, then ! taken out") << "EditNA" << Input::Paste << "AB!CDEFGHIJ"
                                                                 << "ABCDEFG";
        QTest::newRow("input method: register cut at 2") << "EditR0" << Input::InputMethod << "ABC"
                                                         << "AB";
        QTest::newRow("pasted date keeps the digits") << "EditDZ" << Input::Paste << "1a/2"
                                                      << "12/";
        QTest::newRow("input method: Cyrillic kept, ! not") << "EditNA" << Input::InputMethod << "я!"
                                                            << "я";
        QTest::newRow("input method in the date box") << "EditDZ" << Input::InputMethod << "1x2"
                                                      << "12/";
    }

    void typingRules()
    {
        QFETCH(QString, box);
        QFETCH(Input, how);
        QFETCH(QString, input);
        QFETCH(QString, expected);
        QLineEdit* edit = Control<QLineEdit>(box);
        edit->setText(QString());
        switch (how) {
        case Input::Keys: QTest::keyClicks(edit, input); break;
        case Input::Paste:
            QGuiApplication::clipboard()->setText(input);
            QTest::keyClick(edit, Qt::Key_V, Qt::ControlModifier);
            break;
        case Input::InputMethod: {
            QInputMethodEvent event;
            event.setCommitString(input);
            QCoreApplication::sendEvent(edit, &event);
            break;
        }
        }
        QCOMPARE(edit->text(), expected);
        QCOMPARE(edit->cursorPosition(), expected.size());
    }

    // X11 reports Delete with the text 0x7F; it edits, it is not typed.
    void deleteKeyEditsTheBatteryDate()
    {
        QLineEdit* edit = Control<QLineEdit>(QStringLiteral("EditDZ"));
        edit->setText(QString());
        QTest::keyClicks(edit, QStringLiteral("120503"));
        edit->setCursorPosition(0);
        QKeyEvent del(QEvent::KeyPress, Qt::Key_Delete, Qt::NoModifier, QString(QChar(0x7F)));
        QCoreApplication::sendEvent(edit, &del);
        QCOMPARE(edit->text(), QStringLiteral("2/05/03"));
    }

    void refusedSaves_data()
    {
        QTest::addColumn<QString>("box");
        QTest::addColumn<QString>("icon");
        QTest::addColumn<QString>("group");
        QTest::addColumn<QString>("hint");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("flashes");

        QTest::newRow("empty name") << "EditNA"
                                    << "ImageFLOP"
                                    << "PanelPA"
                                    << ""
                                    << "" << true;
        QTest::newRow("empty serial") << "EditSN"
                                      << "ImageFLOP"
                                      << "PanelPA"
                                      << ""
                                      << "" << true;
        QTest::newRow("date without its form") << "EditDA"
                                               << "ImageFLOP"
                                               << "PanelPA"
                                               << "PanelDA"
                                               << "1/2/03" << true;
        QTest::newRow("31 April") << "EditDZ"
                                  << "ImageFLOP"
                                  << "PanelPA"
                                  << "PanelDZ"
                                  << "31/04/05" << false;
        QTest::newRow("month 13") << "EditDA"
                                  << "ImageFLOP"
                                  << "PanelPA"
                                  << "PanelDA"
                                  << "01/13/05" << false;
        QTest::newRow("register: one digit") << "EditR0"
                                             << "ImageGF"
                                             << "PanelRE"
                                             << ""
                                             << "B" << true;
        QTest::newRow("register: not hex") << "EditR0"
                                           << "ImageGF"
                                           << "PanelRE"
                                           << ""
                                           << "G1" << true;
    }

    void refusedSaves()
    {
        QFETCH(QString, box);
        QFETCH(QString, icon);
        QFETCH(QString, group);
        QFETCH(QString, hint);
        QFETCH(QString, text);
        QFETCH(bool, flashes);
        ShowParameterPage();
        QLineEdit* edit = Control<QLineEdit>(box);
        QLabel* saveIcon = Control<QLabel>(icon);
        QWidget* hintPanel = hint.isEmpty() ? nullptr : Control<QWidget>(hint);
        const QPalette normal = edit->palette();

        edit->setText(text);
        QVERIFY(saveIcon->isVisible());
        QCOMPARE(saveIcon->y(), edit->y());
        PaintProbe probe(edit, hintPanel, ui().ImageW);
        QTest::mouseClick(saveIcon, Qt::LeftButton);

        QVERIFY(!requests().eepromChange);
        QCOMPARE(probe.redPhases, flashes ? 5 : 0);
        QVERIFY(!probe.hintSeenDuringFlash);
        QCOMPARE(probe.waitImageSeenDuringFlash, flashes);
        QVERIFY(ui().ImageW->isHidden());
        QCOMPARE(edit->palette().color(QPalette::Base), normal.color(QPalette::Base));
        if (hintPanel) QVERIFY(hintPanel->isVisible());
        QCOMPARE(ui().LabelST->text(), QStringLiteral("..."));
        QCOMPARE(ui().GaugeX->x(), Control<QWidget>(group)->x());
        QCOMPARE(ui().GaugeX->width(), Control<QWidget>(group)->width());
    }

    void steppingASettingWalksItsList_data()
    {
        QTest::addColumn<QString>("label");
        QTest::addColumn<QString>("box");
        QTest::addColumn<QString>("monitorCopy");
        QTest::addColumn<bool>("byDoubleClick");
        QTest::addColumn<QByteArray>("command");
        QTest::addColumn<QByteArray>("direction");
        QTest::addColumn<QString>("before");
        QTest::addColumn<QString>("after");

        QTest::newRow("alarm delay up") << "LabelZS"
                                        << "EditZS"
                                        << "EditSIGNAL" << false << QByteArray("k") << QByteArray("+") << "0"
                                        << "T";
        QTest::newRow("self-test interval down, wrapping")
            << "LabelIS"
            << "EditIS"
            << "EditINTSAMOT" << false << QByteArray("E") << QByteArray("-") << "336"
            << "OFF";
        QTest::newRow("sensitivity up") << "LabelCH"
                                        << "EditCH"
                                        << "EditSENSIT" << false << QByteArray("s") << QByteArray("+") << "H"
                                        << "M";
        QTest::newRow("output voltage down") << "LabelUO"
                                             << "EditUO"
                                             << "EditUout" << false << QByteArray("o") << QByteArray("-") << "230"
                                             << "225";
        QTest::newRow("low transfer up") << "LabelMI"
                                         << "EditMI"
                                         << "EditUPmin" << false << QByteArray("l") << QByteArray("+") << "196"
                                         << "204";
        QTest::newRow("high transfer by double-click, down")
            << "LabelMA"
            << "EditMA"
            << "EditUPmax" << true << QByteArray("u") << QByteArray("-") << "253"
            << "265";
    }

    void steppingASettingWalksItsList()
    {
        QFETCH(QString, label);
        QFETCH(QString, box);
        QFETCH(QString, monitorCopy);
        QFETCH(bool, byDoubleClick);
        QFETCH(QByteArray, command);
        QFETCH(QByteArray, direction);
        QFETCH(QString, before);
        QFETCH(QString, after);
        QLabel* caption = Control<QLabel>(label);
        QLineEdit* edit = Control<QLineEdit>(box);
        QCOMPARE(edit->text(), before);

        if (byDoubleClick)
            QTest::mouseDClick(edit, Qt::LeftButton);
        else
            QTest::mouseClick(caption, Qt::LeftButton);
        for (QLabel* other : {ui().LabelZS, ui().LabelIS, ui().LabelCH, ui().LabelUO, ui().LabelMI, ui().LabelMA})
            QCOMPARE(FontColour(other), other == caption ? kMaroon : QColor(Qt::black));
        QCOMPARE(ui().ImageLE->y(), caption->y() - 3);
        QCOMPARE(ui().ImageRI->y(), edit->y());

        const bool up = direction == "+";
        QTest::mouseClick(up ? ui().ImageRI : ui().ImageLE, Qt::LeftButton);
        QVERIFY(requests().eepromChange);
        QCOMPARE(QByteArray::fromStdString(requests().changeCmd.Get()), command);
        const std::string_view shownIn = SettingField(requests().changeCmd.Get());  // where the read-back goes
        QCOMPARE(QString::fromUtf8(shownIn.data(), static_cast<qsizetype>(shownIn.size())), box);
        QCOMPARE(QByteArray::fromStdString(requests().changeValue.Get()), direction);
        QVERIFY(ui().ImageW->isVisible());

        // While it is pending the other arrow does nothing; choosing a row still works.
        QTest::mouseClick(up ? ui().ImageLE : ui().ImageRI, Qt::LeftButton);
        QCOMPARE(QByteArray::fromStdString(requests().changeValue.Get()), direction);
        QTest::mouseClick(ui().LabelZS, Qt::LeftButton);
        QCOMPARE(FontColour(ui().LabelZS), kMaroon);

        WaitForCompletion();
        QCOMPARE(edit->text(), after);
        QCOMPARE(Control<QLineEdit>(monitorCopy)->text(), after);
        const QByteArray opposite = up ? "-" : "+";
        QCOMPARE(Line().count(command + direction), 1);
        QCOMPARE(Line().count(command + opposite), 0);
    }

    void aShortNameIsFilledWithZeroBytes()
    {
        ShowParameterPage();
        // Only the field in whose row the icon stands is written.
        Type(ui().EditSN, QStringLiteral("XYZ"));
        Type(ui().EditNA, QStringLiteral("abc"));
        QVERIFY(ui().ImageFLOP->isVisible());
        QCOMPARE(ui().ImageFLOP->y(), ui().EditNA->y());
        QList<int> progress;
        QObject listening;  // ends the connection with this test, also when it fails early
        connect(ui().GaugeX, &QProgressBar::valueChanged, &listening, [&](int value) { progress << value; });
        QTest::mouseClick(ui().ImageFLOP, Qt::LeftButton);
        QCOMPARE(QByteArray::fromStdString(requests().changeCmd.Get()), QByteArray("c"));

        WaitForCompletion();
        QCOMPARE(progress, (QList<int>{1, 2, 3, 4, 5, 6, 7, 8}));  // one step per byte written
        QVERIFY(Line().contains(QByteArray("c+abc\0\0\0\0\0", 10)));
        QVERIFY(!Line().contains("n+"));
        QCOMPARE(ui().EditNAME->text(), QStringLiteral("abc"));
        QCOMPARE(ui().EditNA->text(), QStringLiteral("abc"));
        QVERIFY(ui().ImageFLOP->isHidden());
        QCOMPARE(ui().GaugeX->maximum(), 8);
    }

    void aManufactureDateIsWrittenInProgrammingMode()
    {
        ShowParameterPage();
        Type(ui().EditDA, QStringLiteral("290204"));  // 29 February of a leap year
        QCOMPARE(ui().EditDA->text(), QStringLiteral("29/02/04"));
        QTest::mouseClick(ui().ImageFLOP, Qt::LeftButton);
        QCOMPARE(QByteArray::fromStdString(requests().changeCmd.Get()), QByteArray("m"));

        WaitForCompletion();
        QVERIFY(Line().contains("11m+29/02/04RYm"));
        QCOMPARE(ui().EditDATA->text(), QStringLiteral("29/02/04"));
        QCOMPARE(ui().EditDA->text(), QStringLiteral("29/02/04"));
        QVERIFY(ui().ImageFLOP->isHidden());
    }

    void register0IsSteppedFromItsStoredValue()
    {
        ShowParameterPage();
        QCOMPARE(ui().EditR0->text(), QStringLiteral("A0"));
        Type(ui().EditR0, QStringLiteral("B0"));
        QVERIFY(ui().ImageGF->isVisible());
        QTest::mouseClick(ui().ImageGF, Qt::LeftButton);
        QCOMPARE(QByteArray::fromStdString(requests().changeValue.Get()), QByteArray("B0"));
        QCOMPARE(ui().GaugeX->x(), ui().PanelRE->x());

        WaitForCompletion();
        QCOMPARE(ui().EditR0->text(), QStringLiteral("B0"));
        QVERIFY(ui().ImageGF->isHidden());
        QCOMPARE(Line().count("0+"), 16);
        QVERIFY(Line().contains("11" + QByteArray("0+").repeated(16) + "RY0"));
        QCOMPARE(ui().GaugeX->maximum(), 16);

        // The icon follows whether the box differs from the stored value.
        Type(ui().EditR0, QStringLiteral("C0"));
        QVERIFY(ui().ImageGF->isVisible());
        Type(ui().EditR0, QStringLiteral("B0"));
        QVERIFY(ui().ImageGF->isHidden());
    }

    // As after a full read whose "0" went unanswered: nothing is stepped from
    // the empty stored value; the unit (at B0 now) is asked first, outside
    // programming mode, where it answers "0".
    void register0IsReadBeforeSteppingFromAnUnreadValue()
    {
        window_->form.session().table.SetSlot(tornavel::kSlotRegister0, "");
        ShowParameterPage();
        QCOMPARE(ui().EditR0->text(), QString());
        const qsizetype before = Line().size();
        Type(ui().EditR0, QStringLiteral("B2"));
        QTest::mouseClick(ui().ImageGF, Qt::LeftButton);

        WaitForCompletion();
        QCOMPARE(ui().EditR0->text(), QStringLiteral("B2"));
        QVERIFY(Line().mid(before).contains("011" + QByteArray("0+").repeated(2) + "RY0"));
    }

    // A unit that will not tell its register gets no step: the request ends
    // with the empty field, and the operator may try again.
    void register0ChangeEndsEmptyWhenTheUnitWillNotSay()
    {
        sim_->Event(QStringLiteral("com1 set 0 NA"));
        window_->form.session().table.SetSlot(tornavel::kSlotRegister0, "");
        ShowParameterPage();
        const qsizetype before = Line().size();
        Type(ui().EditR0, QStringLiteral("C0"));
        QTest::mouseClick(ui().ImageGF, Qt::LeftButton);

        WaitForCompletion();
        sim_->Event(QStringLiteral("com1 unset 0"));
        QCOMPARE(ui().EditR0->text(), QString());
        const QByteArray sent = Line().mid(before);
        QVERIFY(sent.contains('0'));
        QVERIFY(!sent.contains('1'));
        QVERIFY(!sent.contains('+'));
    }

    // The length limits hold for the operator's input only: what the unit
    // answered is shown whole, and may be shortened but not lengthened.
    void longerAnswersAreShownWhole()
    {
        auto& table = window_->form.session().table;
        table.SetSlot(tornavel::kSlotRegister0, "1A2");
        table.SetSlot(tornavel::kSlotRegister3, "NA/ERR");
        ui().EditNAME->setText(QStringLiteral("SERVER_ROOM_7"));  // as the monitor page shows an answer
        ui().EditSERIAL->setText(QStringLiteral("QS0512345678-EXTRA"));
        ShowParameterPage();
        QCOMPARE(ui().EditNA->text(), QStringLiteral("SERVER_ROOM_7"));
        QCOMPARE(ui().EditSN->text(), QStringLiteral("QS0512345678-EXTRA"));
        QCOMPARE(ui().EditR0->text(), QStringLiteral("1A2"));
        QCOMPARE(ui().EditR3->text(), QStringLiteral("NA/ERR"));

        QLineEdit* name = ui().EditNA;
        name->setFocus();
        name->end(false);
        QTest::keyClicks(name, QStringLiteral("X"));
        QCOMPARE(name->text(), QStringLiteral("SERVER_ROOM_7"));
        name->setSelection(12, 1);  // a typed character may replace one
        QTest::keyClicks(name, QStringLiteral("8"));
        QCOMPARE(name->text(), QStringLiteral("SERVER_ROOM_8"));
        QTest::keyClick(name, Qt::Key_Backspace);
        QCOMPARE(name->text(), QStringLiteral("SERVER_ROOM_"));
        QTest::keyClicks(name, QStringLiteral("9"));
        QCOMPARE(name->text(), QStringLiteral("SERVER_ROOM_"));
        name->selectAll();
        QTest::keyClicks(name, QStringLiteral("ABCDEFGHIJ"));
        QCOMPARE(name->text(), QStringLiteral("ABCDEFGH"));
    }
};

QTEST_MAIN(ParameterPageTest)
#include "test_parameterpage.moc"
