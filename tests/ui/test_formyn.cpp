// The yes/no dialog, headless: placement, text, answers, pictures, stripes,
// frame, dragging and the layout it returns to after every showing.
#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QtTest>

#include <functional>

#include "formYN.h"

namespace {

const QString kDefaultQuestion = QStringLiteral("Вы действительно хотите\nудалить текущую запись?");
const QColor kBackground(0xD0, 0xCC, 0xC4);

QLabel* label(const QWidget& dialog, const char* name)
{
    return dialog.findChild<QLabel*>(name);
}
QPushButton* button(const QWidget& dialog, const char* name)
{
    return dialog.findChild<QPushButton*>(name);
}
QWidget* child(const QWidget& dialog, const char* name)
{
    return dialog.findChild<QWidget*>(name);
}

QImage imageOf(const QPixmap& pixmap)
{
    return pixmap.toImage().convertToFormat(QImage::Format_ARGB32);
}

// Runs step once the modal dialog is up. Whatever the step leaves open is
// answered "нет", so a failed check never leaves the test stuck in the dialog.
void whileShown(QDialog& dialog, std::function<void()> step)
{
    QTimer::singleShot(0, &dialog, [&dialog, step] {
        QVERIFY(dialog.isVisible());
        step();
        if (dialog.isVisible()) dialog.reject();
    });
}

// The ways the operator ends a question.
void finish(QDialog& dialog, const QString& how)
{
    if (how == "да")
        QTest::mouseClick(button(dialog, "BitBtnDa"), Qt::LeftButton);
    else if (how == "нет")
        QTest::mouseClick(button(dialog, "BitBtnNet"), Qt::LeftButton);
    else if (how == "system close")
        dialog.close();
    else
        QTest::keyClick(dialog.focusWidget(), QKeySequence(how)[0].key());
}

bool showsPicture(const QWidget& dialog, const char* source)
{
    return imageOf(label(dialog, "ImageXX")->pixmap()) == imageOf(label(dialog, source)->pixmap());
}

// Every pixel of the striped area is the tile's pixel at the same place
// modulo the tile size: tiles laid from the top-left corner, clipped.
bool tiledWith(const QWidget& dialog, const char* tileName)
{
    const QImage area = imageOf(child(dialog, "PaintBoxR")->grab());
    const QImage tile = imageOf(label(dialog, tileName)->pixmap());
    if (tile.isNull()) return false;
    for (int y = 0; y < area.height(); ++y)
        for (int x = 0; x < area.width(); ++x)
            if (area.pixel(x, y) != tile.pixel(x % tile.width(), y % tile.height())) return false;
    return true;
}

}  // namespace

class TestFormYN : public QObject {
    Q_OBJECT
private slots:
    void picturesAreLoaded_data();
    void picturesAreLoaded();
    void centring_data();
    void centring();
    void questionText_data();
    void questionText();
    void answers_data();
    void answers();
    void pictureCycle();
    void stripes_data();
    void stripes();
    void frame_data();
    void frame();
    void dragging_data();
    void dragging();
    void resetLayoutAfterShowing_data();
    void resetLayoutAfterShowing();
    void topmostAndModalOnlyWhileShown();
    void secondQuestionWhileOpenAnswersNo();
};

void TestFormYN::picturesAreLoaded_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QSize>("size");
    for (const char* name : {"ImageQ", "ImageR", "ImageB", "ImageY"}) QTest::newRow(name) << name << QSize(40, 40);
    for (const char* name : {"ImageGLI", "ImageRLI"}) QTest::newRow(name) << name << QSize(60, 40);
}

void TestFormYN::picturesAreLoaded()
{
    QFETCH(QString, name);
    QFETCH(QSize, size);
    TFormYesNo dialog;
    const QLabel* source = dialog.findChild<QLabel*>(name);
    QVERIFY(source);
    QCOMPARE(source->pixmap().size(), size);
    QVERIFY(source->isHidden());
}

void TestFormYN::centring_data()
{
    QTest::addColumn<bool>("hasOwner");
    QTest::addColumn<QRect>("ownerFrame");
    QTest::addColumn<QPoint>("expected");
    QTest::newRow("main window") << true << QRect(100, 100, 711, 500) << QPoint(195, 290);
    // (401 - 520) / 2 and (101 - 120) / 2 truncate toward zero: -59 and -9.
    QTest::newRow("owner smaller than the dialog") << true << QRect(0, 0, 401, 101) << QPoint(-59, -9);
    const QSize screen = QGuiApplication::primaryScreen()->size();
    QTest::newRow("no owner: the screen")
        << false << QRect() << QPoint((screen.width() - 520) / 2, (screen.height() - 120) / 2);
}

void TestFormYN::centring()
{
    QFETCH(bool, hasOwner);
    QFETCH(QRect, ownerFrame);
    QFETCH(QPoint, expected);
    // Offscreen windows have no frame, so the owner's geometry is its outer rectangle.
    QWidget owner;
    owner.setGeometry(ownerFrame);
    QCOMPARE(owner.frameGeometry(), ownerFrame);

    TFormYesNo& dialog = TFormYesNo::instance();
    QPoint shownAt;
    whileShown(dialog, [&] { shownAt = dialog.frameGeometry().topLeft(); });
    AskYesNo(QStringLiteral("прервать калибровку?"), hasOwner ? &owner : nullptr);
    QCOMPARE(shownAt, expected);
}

void TestFormYN::questionText_data()
{
    QTest::addColumn<QString>("question");
    QTest::addColumn<QString>("shown");
    QTest::newRow("one bar") << "прервать|калибровку?"
                             << "прервать\nкалибровку?";
    QTest::newRow("two bars in a row") << "один||два"
                                       << "один\n\nдва";
    QTest::newRow("spaces, a word and a final bar") << "   слово|   "
                                                    << "слово";
    QTest::newRow("space after a bar stays") << "один| два"
                                             << "один\n два";
    QTest::newRow("bar at the start") << "|один"
                                      << "\nодин";
    QTest::newRow("control characters at the ends") << "\t\r\nслово\r\n\x01"
                                                    << "слово";
    QTest::newRow("markup stays plain text") << "<b>да</b>"
                                             << "<b>да</b>";
    QTest::newRow("empty") << "" << kDefaultQuestion;
    QTest::newRow("blank") << " \t  \r\n" << kDefaultQuestion;
    QTest::newRow("only a bar") << "|" << kDefaultQuestion;
    QTest::newRow("spaces around only a bar") << "  |\t" << kDefaultQuestion;
    QTest::newRow("two bars make one empty line") << "||"
                                                  << "\n";
}

void TestFormYN::questionText()
{
    QFETCH(QString, question);
    QFETCH(QString, shown);
    TFormYesNo dialog;
    const QLabel* text = label(dialog, "LabelTXT");
    QString seen;
    whileShown(dialog, [&] { seen = text->text(); });
    dialog.ask(question, nullptr);
    QCOMPARE(seen, shown);
    QCOMPARE(text->textFormat(), Qt::PlainText);
}

void TestFormYN::answers_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<bool>("answer");
    QTest::newRow("Return at once") << "Return" << false;
    QTest::newRow("Enter at once") << "Enter" << false;
    QTest::newRow("Space at once") << "Space" << false;
    QTest::newRow("Escape") << "Esc" << false;
    QTest::newRow("system close") << "system close" << false;
    QTest::newRow("да") << "да" << true;
    QTest::newRow("нет") << "нет" << false;
}

void TestFormYN::answers()
{
    QFETCH(QString, how);
    QFETCH(bool, answer);
    TFormYesNo dialog;
    // A "да" in an earlier showing must not leak into this one.
    whileShown(dialog, [&] { finish(dialog, "да"); });
    QVERIFY(dialog.ask("первый", nullptr));

    whileShown(dialog, [&] {
        QCOMPARE(dialog.focusWidget(), button(dialog, "BitBtnNet"));
        finish(dialog, how);
        QVERIFY(!dialog.isVisible());
    });
    QCOMPARE(dialog.ask("второй", nullptr), answer);
}

void TestFormYN::pictureCycle()
{
    TFormYesNo dialog;
    QWidget* picture = child(dialog, "ImageXX");
    whileShown(dialog, [&] {
        QVERIFY(showsPicture(dialog, "ImageQ"));
        for (const char* next : {"ImageR", "ImageB", "ImageY", "ImageQ", "ImageR"}) {
            QTest::mouseDClick(picture, Qt::LeftButton);
            QVERIFY2(showsPicture(dialog, next), next);
        }
        finish(dialog, "нет");
    });
    dialog.ask("вопрос", nullptr);

    whileShown(dialog, [&] { QVERIFY(showsPicture(dialog, "ImageQ")); });
    dialog.ask("вопрос", nullptr);
}

void TestFormYN::stripes_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<QString>("nextTile");
    QTest::newRow("да resets to green") << "да"
                                        << "ImageGLI";
    QTest::newRow("нет resets to green") << "нет"
                                         << "ImageGLI";
    QTest::newRow("Escape keeps red") << "Esc"
                                      << "ImageRLI";
    QTest::newRow("system close keeps red") << "system close"
                                            << "ImageRLI";
}

void TestFormYN::stripes()
{
    QFETCH(QString, how);
    QFETCH(QString, nextTile);
    TFormYesNo dialog;
    QWidget* stripes = child(dialog, "PaintBoxR");
    QVERIFY(imageOf(label(dialog, "ImageGLI")->pixmap()) != imageOf(label(dialog, "ImageRLI")->pixmap()));

    whileShown(dialog, [&] {
        QVERIFY(tiledWith(dialog, "ImageGLI"));
        QTest::mouseDClick(stripes, Qt::LeftButton);
        QVERIFY(tiledWith(dialog, "ImageRLI"));
        finish(dialog, how);
    });
    dialog.ask("вопрос", nullptr);

    whileShown(dialog, [&] { QVERIFY(tiledWith(dialog, qPrintable(nextTile))); });
    dialog.ask("вопрос", nullptr);
}

void TestFormYN::frame_data()
{
    QTest::addColumn<QPoint>("at");
    QTest::addColumn<QColor>("colour");
    const QColor black(Qt::black), white(Qt::white), grey(0x80, 0x80, 0x80);
    QTest::newRow("outline top-left") << QPoint(0, 0) << black;
    QTest::newRow("outline top-right") << QPoint(519, 0) << black;
    QTest::newRow("outline bottom-right") << QPoint(519, 119) << black;
    QTest::newRow("outline bottom-left") << QPoint(0, 119) << black;
    QTest::newRow("outline bottom, under the stripes") << QPoint(400, 119) << black;
    QTest::newRow("white edge top-left") << QPoint(1, 1) << white;
    QTest::newRow("white edge, left bottom end") << QPoint(1, 118) << white;
    QTest::newRow("white edge, top right end") << QPoint(517, 1) << white;
    QTest::newRow("grey edge top-right") << QPoint(518, 1) << grey;
    QTest::newRow("grey edge right") << QPoint(518, 60) << grey;
    QTest::newRow("grey edge bottom-right") << QPoint(518, 118) << grey;
    QTest::newRow("grey edge, bottom left end") << QPoint(2, 118) << grey;
    QTest::newRow("background inside") << QPoint(2, 2) << kBackground;
}

void TestFormYN::frame()
{
    QFETCH(QPoint, at);
    QFETCH(QColor, colour);
    TFormYesNo dialog;
    QImage shot;
    whileShown(dialog, [&] { shot = dialog.grab().toImage(); });
    dialog.ask("вопрос", nullptr);
    QCOMPARE(shot.size(), QSize(520, 120));
    QCOMPARE(shot.pixelColor(at), colour);
}

void TestFormYN::dragging_data()
{
    QTest::addColumn<QString>("target");
    QTest::addColumn<QPoint>("pressAt");
    QTest::addColumn<bool>("moves");
    QTest::newRow("question text") << "LabelTXT" << QPoint(108, 52) << true;
    QTest::newRow("background") << "TFormYesNo" << QPoint(20, 10) << true;
    QTest::newRow("да") << "BitBtnDa" << QPoint(60, 16) << false;
    QTest::newRow("нет") << "BitBtnNet" << QPoint(60, 16) << false;
    QTest::newRow("picture") << "ImageXX" << QPoint(20, 20) << false;
    QTest::newRow("stripes") << "PaintBoxR" << QPoint(10, 10) << false;
}

// Offscreen there is no system move, so this is the dialog's own dragging.
void TestFormYN::dragging()
{
    QFETCH(QString, target);
    QFETCH(QPoint, pressAt);
    QFETCH(bool, moves);
    TFormYesNo dialog;
    dialog.move(200, 150);
    dialog.show();
    QWidget* widget = target == dialog.objectName() ? &dialog : dialog.findChild<QWidget*>(target);
    QVERIFY(widget);

    const QPoint shift(30, 40);
    QTest::mousePress(widget, Qt::LeftButton, {}, pressAt);
    QTest::mouseMove(widget, pressAt + shift);
    QTest::mouseRelease(widget, Qt::LeftButton, {}, pressAt + shift);
    QCOMPARE(dialog.pos(), moves ? QPoint(200, 150) + shift : QPoint(200, 150));
}

void TestFormYN::resetLayoutAfterShowing_data()
{
    // Each control is disturbed in what the reset layout sets, which is not
    // always all four sides (the question text and the stripes keep their top).
    QTest::addColumn<QString>("name");
    QTest::addColumn<QRect>("disturbed");
    QTest::addColumn<QRect>("geometry");
    QTest::newRow("ImageXX") << "ImageXX" << QRect(1, 1, 40, 40) << QRect(40, 40, 40, 40);
    QTest::newRow("LabelTXT") << "LabelTXT" << QRect(1, 8, 10, 10) << QRect(96, 8, 216, 104);
    QTest::newRow("PaintBoxR") << "PaintBoxR" << QRect(1, 2, 10, 10) << QRect(336, 2, 182, 116);
    QTest::newRow("BitBtnDa") << "BitBtnDa" << QRect(1, 1, 10, 10) << QRect(368, 22, 120, 33);
    QTest::newRow("BitBtnNet") << "BitBtnNet" << QRect(1, 1, 10, 10) << QRect(368, 65, 120, 33);
}

void TestFormYN::resetLayoutAfterShowing()
{
    QFETCH(QString, name);
    QFETCH(QRect, disturbed);
    QFETCH(QRect, geometry);
    TFormYesNo dialog;
    QWidget* widget = dialog.findChild<QWidget*>(name);
    QCOMPARE(widget->geometry(), geometry);
    whileShown(dialog, [&] {
        dialog.resize(700, 300);
        widget->setGeometry(disturbed);
        // The platform reports the window's new size back asynchronously.
        QCoreApplication::processEvents();
    });
    dialog.ask("вопрос", nullptr);
    QCOMPARE(dialog.size(), QSize(520, 120));
    QCOMPARE(widget->geometry(), geometry);
    QCOMPARE(label(dialog, "LabelTXT")->text(), QStringLiteral("Вы действительно хотите удалить текущую запись?"));
}

// Topmost is switched while the dialog is hidden; the showing must still be
// modal, and that in every showing, not only the first.
void TestFormYN::topmostAndModalOnlyWhileShown()
{
    TFormYesNo dialog;
    for (int showing = 1; showing <= 2; ++showing) {
        QVERIFY(!dialog.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
        Qt::WindowFlags shownFlags;
        const QWidget* modal = nullptr;
        whileShown(dialog, [&] {
            shownFlags = dialog.windowFlags();
            modal = QApplication::activeModalWidget();
        });
        dialog.ask("вопрос", nullptr);
        QVERIFY(shownFlags.testFlag(Qt::WindowStaysOnTopHint));
        QVERIFY(shownFlags.testFlag(Qt::FramelessWindowHint));
        QCOMPARE(modal, &dialog);
        QVERIFY(!dialog.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    }
}

void TestFormYN::secondQuestionWhileOpenAnswersNo()
{
    TFormYesNo dialog;
    whileShown(dialog, [&] {
        QVERIFY(!dialog.ask("второй", nullptr));
        QVERIFY(dialog.isVisible());
        QCOMPARE(label(dialog, "LabelTXT")->text(), QStringLiteral("первый"));
        finish(dialog, "да");
    });
    QVERIFY(dialog.ask("первый", nullptr));
}

QTEST_MAIN(TestFormYN)
#include "test_formyn.moc"
