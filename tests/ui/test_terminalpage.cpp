// The terminal page against the UPS simulator, headless: typed keys go to the
// unit as one-byte commands, answers are listed, the area cannot be edited,
// monitoring pauses while the page is shown, "BYE" disconnects.
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QInputMethodEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSplitter>
#include <QTabWidget>
#include <QTableWidget>
#include <QtTest>
#include <memory>

#include "commandreference.h"
#include "protocol/devicetable.h"
#include "serial/posixport.h"
#include "simulator.h"
#include "terminalpage.h"
#include "tformmain.h"
#include "ui_tformmain.h"

namespace {

const QString kClipboardText = QStringLiteral("XYZ");

// Ways of putting text into a text area other than typing.
enum class EditAttempt { Paste, MiddleClickPaste, Drop, InputMethod };

struct ConnectedWindow {
    explicit ConnectedWindow(const QString& portsDir) : opener(tornavel::PortMap(portsDir.toStdString())), form(opener)
    {
        form.show();
        QTest::mouseClick(ui().BitBtnSCAN, Qt::LeftButton);
        ui().UPS->setCurrentCell(0, 0);
        QTest::mouseClick(ui().BitBtnGO, Qt::LeftButton);
    }
    Ui::TFormMain& ui() { return *form.ui(); }
    tornavel::PosixPortOpener opener;
    TFormMain form;
};

QStringList Lines(QPlainTextEdit* area)
{
    return area->toPlainText().split(QLatin1Char('\n'));
}

bool SamePicture(QLabel* a, QLabel* b)
{
    return a->pixmap().toImage() == b->pixmap().toImage();
}

}  // namespace

Q_DECLARE_METATYPE(Qt::KeyboardModifiers)
Q_DECLARE_METATYPE(EditAttempt)

class TerminalPageTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QApplication::clipboard()->setText(kClipboardText);
        sim_ = std::make_unique<Simulator>(QStringList{"com1=ups"});
        window_ = std::make_unique<ConnectedWindow>(sim_->dir());
        QCOMPARE(ui().BitBtnGO->text(), QStringLiteral("стоп"));
    }

    void cleanupTestCase()
    {
        window_.reset();
        sim_.reset();
    }

    // Every test of the connected window starts on the terminal page, with no
    // monitoring cycle under way: the answer to a first key proves it ended.
    void init()
    {
        if (!window_ || !window_->form.connected() || ui().PageControl1->currentWidget() == ui().TabSheetTE) return;
        ui().PageControl1->setCurrentWidget(ui().TabSheetTE);
        QTest::keyClick(ui().TERM, 'Y');
        QTRY_VERIFY_WITH_TIMEOUT(ui().ImageW->isHidden(), kPatienceMs);
    }

    void keyBytes_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("byte");  // -1: the key sends nothing
        const Qt::KeyboardModifiers none;
        const Qt::KeyboardModifiers ctrl = Qt::ControlModifier;
        QTest::newRow("letter") << int(Qt::Key_Y) << none << "Y" << int('Y');
        QTest::newRow("shifted digit") << int(Qt::Key_Exclam) << Qt::KeyboardModifiers(Qt::ShiftModifier) << "!"
                                       << int('!');
        QTest::newRow("space") << int(Qt::Key_Space) << none << " " << int(' ');
        QTest::newRow("Cyrillic in Windows-1251") << int(Qt::Key_unknown) << none << "Ж" << 0xC6;
        QTest::newRow("outside Windows-1251") << int(Qt::Key_unknown) << none << "中" << -1;
        QTest::newRow("question mark") << int(Qt::Key_Question) << none << "?" << int('?');
        QTest::newRow("keypad digit") << int(Qt::Key_5) << Qt::KeyboardModifiers(Qt::KeypadModifier) << "5" << int('5');
        QTest::newRow("Enter") << int(Qt::Key_Return) << none << "\r" << 13;
        QTest::newRow("keypad Enter") << int(Qt::Key_Enter) << Qt::KeyboardModifiers(Qt::KeypadModifier) << "\r" << 13;
        QTest::newRow("Backspace") << int(Qt::Key_Backspace) << none << "\b" << 8;
        QTest::newRow("Escape") << int(Qt::Key_Escape) << none << "\x1b" << 27;
        QTest::newRow("Tab") << int(Qt::Key_Tab) << none << "\t" << 9;
        QTest::newRow("Ctrl+A reported as a") << int(Qt::Key_A) << ctrl << "a" << 1;
        QTest::newRow("Ctrl+A without text") << int(Qt::Key_A) << ctrl << "" << 1;
        QTest::newRow("Ctrl+Shift+Z") << int(Qt::Key_Z) << (ctrl | Qt::ShiftModifier) << "\x1a" << 26;
        QTest::newRow("Ctrl+V is a command, not a paste") << int(Qt::Key_V) << ctrl << "\x16" << 22;
        QTest::newRow("Ctrl+digit") << int(Qt::Key_1) << ctrl << "1" << -1;
        QTest::newRow("Alt+letter") << int(Qt::Key_X) << Qt::KeyboardModifiers(Qt::AltModifier) << "x" << -1;
        QTest::newRow("Shift alone") << int(Qt::Key_Shift) << Qt::KeyboardModifiers(Qt::ShiftModifier) << "" << -1;
        QTest::newRow("arrow") << int(Qt::Key_Left) << none << "" << -1;
        QTest::newRow("Delete") << int(Qt::Key_Delete) << none << "\x7f" << -1;
        QTest::newRow("Shift+Insert") << int(Qt::Key_Insert) << Qt::KeyboardModifiers(Qt::ShiftModifier) << "" << -1;
        QTest::newRow("function key") << int(Qt::Key_F1) << none << "" << -1;
    }

    void keyBytes()
    {
        QFETCH(int, key);
        QFETCH(Qt::KeyboardModifiers, modifiers);
        QFETCH(QString, text);
        QFETCH(int, byte);
        const std::optional<char> sent = TerminalKeyByte(key, modifiers, text);
        if (byte < 0) {
            QVERIFY(!sent);
        } else {
            QVERIFY(sent);
            QCOMPARE(static_cast<unsigned char>(*sent), byte);
        }
    }

    void referenceListsEveryCommand()
    {
        QPlainTextEdit* help = ui().Help;
        const QStringList lines = Lines(help);
        QVERIFY(lines.contains(QStringLiteral("Y    включить интеллектуальный режим (ответ SM)")));
        QVERIFY(lines.contains(QStringLiteral("^A   модель")));
        for (int slot = 1; slot <= tornavel::kReadSlotCount; ++slot) {
            const QString command = ShownCommand(tornavel::SlotCommand(slot).front()).leftJustified(5);
            const bool listed = std::any_of(lines.begin(), lines.end(),
                                            [&](const QString& line) { return line.startsWith(command); });
            QVERIFY2(listed, qPrintable(QStringLiteral("slot %1").arg(slot)));
        }
    }

    void typedKeyIsSentAndAnswered_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("echo");
        QTest::addColumn<QByteArray>("sent");
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<QString>("message");  // LabelUME afterwards; empty: not checked
        const Qt::KeyboardModifiers none;
        const Qt::KeyboardModifiers ctrl = Qt::ControlModifier;
        QTest::newRow("Y with echo") << int(Qt::Key_Y) << none << "Y" << true << QByteArray("Y")
                                     << QStringList{"Y", "SM", ""} << QString();
        QTest::newRow("Y without echo") << int(Qt::Key_Y) << none << "Y" << false << QByteArray("Y")
                                        << QStringList{"SM", ""} << QString();
        QTest::newRow("Enter") << int(Qt::Key_Return) << none << "\r" << true << QByteArray("\r")
                               << QStringList{"^M", "NA", ""} << QString();
        QTest::newRow("Ctrl+A gives the model") << int(Qt::Key_A) << ctrl << "" << true << QByteArray("\x01")
                                                << QStringList{"^A", "Smart-UPS 1000", ""} << QString();
        QTest::newRow("Ctrl+V sends its byte, never the clipboard")
            << int(Qt::Key_V) << ctrl << "v" << true << QByteArray("\x16") << QStringList{"^V", "NA", ""} << QString();
        QTest::newRow("Cyrillic goes out in Windows-1251")
            << int(Qt::Key_unknown) << none << "Ж" << true << QByteArray("\xC6") << QStringList{"Ж", "NA", ""}
            << QString();
        QTest::newRow("OK alone adds nothing")
            << int(Qt::Key_A) << none << "A" << true << QByteArray("A") << QStringList{"A"} << QStringLiteral("OK");
        QTest::newRow("OK alone without echo")
            << int(Qt::Key_A) << none << "A" << false << QByteArray("A") << QStringList{""} << QStringLiteral("OK");
    }

    void typedKeyIsSentAndAnswered()
    {
        QFETCH(int, key);
        QFETCH(Qt::KeyboardModifiers, modifiers);
        QFETCH(QString, text);
        QFETCH(bool, echo);
        QFETCH(QByteArray, sent);
        QFETCH(QStringList, lines);
        QFETCH(QString, message);
        QPlainTextEdit* term = ui().TERM;
        if (ui().CheckECHO->isChecked() != echo) QTest::mouseClick(ui().CheckECHO, Qt::LeftButton);
        QCOMPARE(ui().CheckECHO->isChecked(), echo);
        QCOMPARE(window_->form.focusWidget(), term);
        QTest::mouseClick(ui().ImageTCLR, Qt::LeftButton);
        QVERIFY(term->toPlainText().isEmpty());
        QCOMPARE(window_->form.focusWidget(), term);
        ui().LabelUME->setText(QStringLiteral("..."));
        const qsizetype mark = sim_->Received("com1").size();

        QTest::sendKeyEvent(QTest::Click, term, Qt::Key(key), text, modifiers);
        QVERIFY(!ui().ImageW->isHidden());
        QTRY_VERIFY_WITH_TIMEOUT(ui().ImageW->isHidden(), kPatienceMs);
        QCOMPARE(Lines(term), lines);
        QCOMPARE(sim_->Received("com1").mid(mark), sent);
        if (!message.isEmpty()) QCOMPARE(ui().LabelUME->text(), message);
        QVERIFY(!term->toPlainText().contains(kClipboardText));
    }

    void onlyTheProgramWritesTheTerminal_data()
    {
        QTest::addColumn<EditAttempt>("attempt");
        QTest::newRow("Shift+Insert paste") << EditAttempt::Paste;
        QTest::newRow("middle-click paste") << EditAttempt::MiddleClickPaste;
        QTest::newRow("dropped text") << EditAttempt::Drop;
        QTest::newRow("input method") << EditAttempt::InputMethod;
    }

    void onlyTheProgramWritesTheTerminal()
    {
        QFETCH(EditAttempt, attempt);
        QPlainTextEdit* term = ui().TERM;
        term->setPlainText(QStringLiteral("before"));
        const qsizetype mark = sim_->Received("com1").size();

        TryToEdit(term, attempt);
        QCOMPARE(term->toPlainText(), QStringLiteral("before"));
        QVERIFY(window_->form.session().requests.terminalCmd.Get().empty());
        QVERIFY(ui().ImageW->isHidden());
        // Nothing at all went to the unit: the next key is the only byte.
        QTest::keyClick(term, 'Y');
        QTRY_VERIFY_WITH_TIMEOUT(ui().ImageW->isHidden(), kPatienceMs);
        QCOMPARE(sim_->Received("com1").mid(mark), QByteArray("Y"));
    }

    void noPollingWhileTheTerminalIsShown()
    {
        const qsizetype mark = sim_->Received("com1").size();
        QTest::qWait(3000);  // longer than a monitoring cycle
        QTest::keyClick(ui().TERM, 'Y');
        QTRY_VERIFY_WITH_TIMEOUT(ui().ImageW->isHidden(), kPatienceMs);
        QCOMPARE(sim_->Received("com1").mid(mark), QByteArray("Y"));
    }

    void leavingTheTerminalResumesPolling_data()
    {
        QTest::addColumn<QString>("page");
        QTest::newRow("monitor") << "TabSheetMO";
        QTest::newRow("parameters") << "TabSheetKA";
    }

    void leavingTheTerminalResumesPolling()
    {
        QFETCH(QString, page);
        const qsizetype mark = sim_->Received("com1").size();
        ui().EditUSin->clear();

        ui().PageControl1->setCurrentWidget(window_->form.findChild<QWidget*>(page));
        QTRY_VERIFY_WITH_TIMEOUT(sim_->Received("com1").mid(mark).contains('Q'), kPatienceMs);
        QTRY_VERIFY_WITH_TIMEOUT(!ui().EditUSin->text().isEmpty(), kPatienceMs);
    }

    void referenceOpensAndClosesWhateverWasDragged()
    {
        QPlainTextEdit* help = ui().Help;
        QCOMPARE(help->height(), 0);
        QCOMPARE(ui().ImageUD->property("hint").toString(), QStringLiteral("open"));
        // Open, dragged smaller, closed, dragged open by hand, open, dragged, closed.
        ClickImageUD();
        ExpectReference(200, "close", ui().ImageD);
        QCOMPARE(ui().TERM->height(), 81);
        DragHelpBy(-60);
        QCOMPARE(help->height(), 140);
        ClickImageUD();
        ExpectReference(0, "open", ui().ImageU);
        DragHelpBy(120);
        QCOMPARE(help->height(), 120);
        ClickImageUD();
        ExpectReference(200, "close", ui().ImageD);
        DragHelpBy(-50);
        QCOMPARE(help->height(), 150);
        ClickImageUD();
        ExpectReference(0, "open", ui().ImageU);
    }

    // Last: the connection ends.
    void byeIsShownAndDisconnects()
    {
        QTest::mouseClick(ui().ImageTCLR, Qt::LeftButton);
        if (!ui().CheckECHO->isChecked()) QTest::mouseClick(ui().CheckECHO, Qt::LeftButton);
        QTest::keyClick(ui().TERM, 'R');
        QTRY_COMPARE_WITH_TIMEOUT(Lines(ui().TERM), (QStringList{"R", "BYE", ""}), kPatienceMs);
        QTRY_COMPARE_WITH_TIMEOUT(ui().BitBtnGO->text(), QStringLiteral("go"), kPatienceMs);
        QVERIFY(ui().PageControl1->isHidden());
        QVERIFY(ui().ImageW->isHidden());
        QVERIFY(!window_->form.connected());
    }

private:
    Ui::TFormMain& ui() { return window_->ui(); }

    void ClickImageUD() { QTest::mouseClick(ui().ImageUD, Qt::LeftButton); }

    void ExpectReference(int height, const char* hint, QLabel* picture)
    {
        QCOMPARE(ui().Help->height(), height);
        QCOMPARE(ui().ImageUD->property("hint").toString(), QString::fromLatin1(hint));
        QVERIFY(!picture->pixmap().isNull());
        QVERIFY(SamePicture(ui().ImageUD, picture));
    }

    // Drags the splitter handle so that the reference grows by `grow` pixels.
    static void TryToEdit(QPlainTextEdit* term, EditAttempt attempt)
    {
        QMimeData dropped;
        dropped.setText(kClipboardText);
        const QPoint at(20, 5);
        QDragEnterEvent enter(at, Qt::CopyAction, &dropped, Qt::LeftButton, {});
        QDropEvent drop(at, Qt::CopyAction, &dropped, Qt::LeftButton, {});
        QInputMethodEvent composed;
        composed.setCommitString(QStringLiteral("Ж"));
        switch (attempt) {
        case EditAttempt::Paste: QTest::keyClick(term, Qt::Key_Insert, Qt::ShiftModifier); break;
        case EditAttempt::MiddleClickPaste:
            if (!QApplication::clipboard()->supportsSelection()) QSKIP("no selection clipboard here");
            QApplication::clipboard()->setText(kClipboardText, QClipboard::Selection);
            QTest::mouseClick(term->viewport(), Qt::MiddleButton, {}, at);
            break;
        case EditAttempt::Drop:
            QApplication::sendEvent(term->viewport(), &enter);
            QVERIFY(!enter.isAccepted());
            QApplication::sendEvent(term->viewport(), &drop);
            break;
        case EditAttempt::InputMethod: QApplication::sendEvent(term, &composed); break;
        }
    }

    void DragHelpBy(int grow)
    {
        QWidget* handle = ui().Splitter1->handle(1);
        const QPoint from = handle->rect().center();
        const QPoint to = from - QPoint(0, grow);
        QTest::mousePress(handle, Qt::LeftButton, {}, from);
        QTest::mouseMove(handle, to);
        QTest::mouseRelease(handle, Qt::LeftButton, {}, to);
    }

    std::unique_ptr<Simulator> sim_;
    std::unique_ptr<ConnectedWindow> window_;
};

QTEST_MAIN(TerminalPageTest)
#include "test_terminalpage.moc"
