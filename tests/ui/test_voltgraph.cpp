// The voltage graph, pixel by pixel, on small stand-ins for the controls of
// the "сеть" group. Axis labels are left out of the checks (their glyphs
// depend on the font); everything from column 16 rightwards is exact.
#include <QLabel>
#include <QTest>
#include <QWidget>
#include <utility>

#include "voltgraph.h"

namespace {

// One character per pixel colour, so that a column reads as a short text and
// a mismatch shows the row at once.
QChar Code(QRgb pixel)
{
    switch (pixel & 0xFFFFFF) {
    case 0xBCBFCB: return 'e';  // background, erased
    case 0x909090: return 'g';  // axis grey
    case 0xA0A0FF: return 'a';  // area under the reading
    case 0x6060A0: return 'd';  // 220 V pixel inside the area
    case 0x0000FF: return 'b';  // the reading
    default: return '?';
    }
}

QString Column(const QImage& image, int x)
{
    QString codes;
    for (int y = 0; y < image.height(); ++y) codes += Code(image.pixel(x, y));
    return codes;
}

// Runs of colour codes from the top row down, e.g. {{'e', 45}, {'b', 1}}.
QString Runs(std::initializer_list<std::pair<char, int>> runs)
{
    QString codes;
    for (const auto& [code, count] : runs) codes += QString(count, QChar(code));
    return codes;
}

// A column without a reading: background with the grey 220 V pixel.
const QString kAxisColumn = Runs({{'e', 45}, {'g', 1}, {'e', 44}});
const QString kAt176OrBelow = Runs({{'e', 45}, {'g', 1}, {'e', 43}, {'b', 1}});
const QString kAt220 = Runs({{'e', 45}, {'b', 1}, {'a', 44}});
const QString kAt264OrAbove = Runs({{'e', 1}, {'b', 1}, {'a', 43}, {'d', 1}, {'a', 44}});

template <typename Widget>
Widget* At(QWidget* parent, QRect geometry)
{
    auto* widget = new Widget(parent);
    widget->setGeometry(geometry);
    return widget;
}

// The controls at their places in the group, and a window stand-in whose
// posted message redraws the curve after the paint.
struct Group {
    QWidget panel;
    QWidget* paintVolt = At<QWidget>(&panel, {10, 71, 150, 90});
    QLabel* legend = At<QLabel>(&panel, {10, 58, 150, 10});
    QLabel* marker = At<QLabel>(&panel, {163, 70, 100, 20});
    QLabel* labelUin = At<QLabel>(&panel, {163, 72, 131, 13});
    QLabel* labelUout = At<QLabel>(&panel, {163, 96, 131, 13});
    tornavel::VoltHistory history;
    int drawVoltRuns = 0;
    VoltGraph graph{paintVolt, legend, labelUin, labelUout, marker, history, [this] {
                        QMetaObject::invokeMethod(
                            &graph,
                            [this] {
                                ++drawVoltRuns;
                                graph.DrawVolt();
                            },
                            Qt::QueuedConnection);
                    }};

    Group()
    {
        panel.resize(377, 172);
        legend->setText(QStringLiteral("U input"));
    }

    void Add(const char* input, const char* output = "230.0") { history.SetVolt(input, output); }

    void Redraw()
    {
        graph.DrawAxis();
        graph.DrawVolt();
    }
};

class PaintCounter : public QObject {
public:
    int paints = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint) ++paints;
        return false;
    }
};

// Delivers everything posted, including what the delivery posts in turn; a
// redraw that kept requesting itself would show up as many paints.
void Settle()
{
    for (int round = 0; round < 20; ++round) QCoreApplication::processEvents();
}

void HoverOver(QWidget* widget)
{
    QTest::mouseMove(widget, widget->rect().center());
}

}  // namespace

class TestVoltGraph : public QObject {
    Q_OBJECT

private slots:
    void emptyHistoryDrawsOnlyTheAxesButSetsTheLegend_data()
    {
        QTest::addColumn<bool>("outputCurve");
        QTest::addColumn<QString>("legend");
        QTest::newRow("input") << false << "U incoming";
        QTest::newRow("output") << true << "U outgoing";
    }

    void emptyHistoryDrawsOnlyTheAxesButSetsTheLegend()
    {
        QFETCH(bool, outputCurve);
        QFETCH(QString, legend);
        Group group;
        if (outputCurve) group.graph.LabelUoutClick();
        group.Redraw();

        QCOMPARE(group.legend->text(), legend);
        QString tickColumn = kAxisColumn;
        for (int y : {5, 15, 25, 35, 55, 65, 75, 85}) tickColumn[y] = 'g';
        const QImage& image = group.graph.image();
        QCOMPARE(image.size(), QSize(150, 90));
        QCOMPARE(Column(image, 16), kAxisColumn);
        QCOMPARE(Column(image, 17), tickColumn);
        QCOMPARE(Column(image, 18), tickColumn);
        QCOMPARE(Column(image, 19), QString(90, 'g'));
        for (int x = 20; x < 150; ++x) QCOMPARE(Column(image, x), kAxisColumn);
    }

    void oneReadingFillsItsColumn_data()
    {
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<QByteArray>("output");
        QTest::addColumn<bool>("outputCurve");
        QTest::addColumn<QString>("column");
        const QString at177 = Runs({{'e', 45}, {'g', 1}, {'e', 42}, {'b', 1}, {'a', 1}});
        const QString at219 = Runs({{'e', 45}, {'g', 1}, {'b', 1}, {'a', 43}});
        const QString at221 = Runs({{'e', 44}, {'b', 1}, {'d', 1}, {'a', 44}});
        QTest::newRow("answer without digits is 0 V") << QByteArray("x") << QByteArray("230") << false << kAt176OrBelow;
        QTest::newRow("no answer is a gap") << QByteArray("") << QByteArray("230") << false << kAxisColumn;
        QTest::newRow("0 V") << QByteArray("000.0") << QByteArray("230") << false << kAt176OrBelow;
        QTest::newRow("176 V") << QByteArray("176.0") << QByteArray("230") << false << kAt176OrBelow;
        QTest::newRow("177 V") << QByteArray("177.0") << QByteArray("230") << false << at177;
        QTest::newRow("219 V") << QByteArray("219.9") << QByteArray("230") << false << at219;
        QTest::newRow("220 V") << QByteArray("220.0") << QByteArray("230") << false << kAt220;
        QTest::newRow("221 V") << QByteArray("221.0") << QByteArray("230") << false << at221;
        QTest::newRow("264 V") << QByteArray("264.0") << QByteArray("230") << false << kAt264OrAbove;
        QTest::newRow("300 V drawn as 264 V") << QByteArray("300.0") << QByteArray("0") << false << kAt264OrAbove;
        QTest::newRow("beyond 32 bits") << QByteArray("99999999999") << QByteArray("0") << false << kAt264OrAbove;
        QTest::newRow("output curve") << QByteArray("220.0") << QByteArray("000.0") << true << kAt176OrBelow;
        QTest::newRow("output 221 V") << QByteArray("0") << QByteArray("221.0") << true << at221;
    }

    void oneReadingFillsItsColumn()
    {
        QFETCH(QByteArray, input);
        QFETCH(QByteArray, output);
        QFETCH(bool, outputCurve);
        QFETCH(QString, column);
        Group group;
        if (outputCurve) QTest::mouseClick(group.labelUout, Qt::LeftButton);
        group.Add(input.constData(), output.constData());
        group.Redraw();

        const QImage& image = group.graph.image();
        QCOMPARE(Column(image, 20), column);
        for (int x = 21; x < 150; ++x) QCOMPARE(Column(image, x), kAxisColumn);
    }

    void the131stReadingScrollsOneColumnLeft()
    {
        Group group;
        // Neighbouring readings always differ, so a missed or double shift shows.
        const auto volts = [](int i) { return QByteArray::number(180 + i * 37 % 80); };
        for (int i = 0; i < 130; ++i) group.Add(volts(i).constData());
        group.Redraw();
        const QImage full = group.graph.image().copy();
        QCOMPARE(Column(full, 20).indexOf('b'), 45 + (220 - 180));  // the oldest, 180 V
        QCOMPARE(Column(full, 149).indexOf('b'), 45 + (220 - volts(129).toInt()));

        group.Add("220.0");
        group.graph.DrawVolt();

        const QImage& scrolled = group.graph.image();
        for (int x = 20; x < 149; ++x) QCOMPARE(Column(scrolled, x), Column(full, x + 1));
        QCOMPARE(Column(scrolled, 149), kAt220);
    }

    void aGapErasesWhatItsColumnShowedBefore()
    {
        Group group;
        group.Add("300");
        group.Add("300");
        group.Redraw();
        group.history.ResetVoltGraph();
        group.Add("220");
        group.Add("");  // a cycle the unit did not answer
        group.graph.DrawVolt();

        const QImage& image = group.graph.image();
        QCOMPARE(Column(image, 20), kAt220);
        QCOMPARE(Column(image, 21), kAxisColumn);
    }

    void columnsBeyondTheReadingsAreNotTouched()
    {
        Group group;
        for (int i = 0; i < 5; ++i) group.Add("300");
        group.Redraw();
        group.history.ResetVoltGraph();
        group.Add("220");
        group.Add("220");
        group.graph.DrawVolt();

        const QImage& image = group.graph.image();
        QCOMPARE(Column(image, 20), kAt220);
        QCOMPARE(Column(image, 21), kAt220);
        for (int x = 22; x < 25; ++x) QCOMPARE(Column(image, x), kAt264OrAbove);
        QCOMPARE(Column(image, 25), kAxisColumn);
    }

    void clickingACaptionMovesTheBandAtOnceAndTheCurveLater()
    {
        Group group;
        group.Add("220.0", "000.0");
        group.Redraw();
        const QImage before = group.graph.image().copy();

        QTest::mouseClick(group.labelUout, Qt::LeftButton);
        QCOMPARE(group.graph.curveSelect(), 'o');
        QCOMPARE(group.marker->geometry(), QRect(163, 94, 100, 20));
        QCOMPARE(group.legend->text(), QStringLiteral("U incoming"));
        QCOMPARE(group.graph.image(), before);

        group.graph.DrawVolt();
        QCOMPARE(group.legend->text(), QStringLiteral("U outgoing"));
        QCOMPARE(Column(group.graph.image(), 20), kAt176OrBelow);

        QTest::mouseClick(group.labelUin, Qt::RightButton);
        QCOMPARE(group.graph.curveSelect(), 'o');
        QTest::mouseClick(group.labelUin, Qt::LeftButton);
        QCOMPARE(group.graph.curveSelect(), 'i');
        QCOMPARE(group.marker->geometry(), QRect(163, 70, 100, 20));
    }

    void selectionOutlivesAHistoryReset()
    {
        Group group;
        QTest::mouseClick(group.labelUout, Qt::LeftButton);
        group.history.ResetVoltGraph();
        group.Add("230", "000");
        group.Redraw();
        QCOMPARE(group.graph.curveSelect(), 'o');
        QCOMPARE(Column(group.graph.image(), 20), kAt176OrBelow);
    }

    void captionUnderTheMouseIsBlue()
    {
        Group group;
        group.panel.show();
        QVERIFY(QTest::qWaitForWindowExposed(&group.panel));
        const QColor normal = group.labelUin->palette().color(QPalette::WindowText);
        const QColor blue(0x00, 0x00, 0xFF);
        QVERIFY(normal != blue);
        const auto colours = [&] {
            return std::pair(group.labelUin->palette().color(QPalette::WindowText),
                             group.labelUout->palette().color(QPalette::WindowText));
        };

        HoverOver(group.labelUin);
        QCOMPARE(colours(), std::pair(blue, normal));
        HoverOver(group.labelUout);
        QCOMPARE(colours(), std::pair(normal, blue));
        group.graph.ResetHighlight();
        QCOMPARE(colours(), std::pair(normal, normal));
    }

    // An outside repaint clears the curve and it comes back from the history
    // right after; the widget shows exactly the image.
    void repaintClearsTheCurveAndRedrawsItAfterwards()
    {
        Group group;
        group.Add("220.0");
        group.Redraw();

        const QImage shown = group.paintVolt->grab().toImage().convertToFormat(QImage::Format_RGB32);
        QCOMPARE(shown, group.graph.image());
        QCOMPARE(Column(shown, 20), kAxisColumn);
        QCOMPARE(group.drawVoltRuns, 0);

        Settle();
        QCOMPARE(group.drawVoltRuns, 1);
        QCOMPARE(Column(group.graph.image(), 20), kAt220);
    }

    void oneOutsideRepaintGivesOneCurveRedraw()
    {
        Group group;
        group.Add("220.0");
        PaintCounter counter;
        group.paintVolt->installEventFilter(&counter);
        group.panel.show();
        QVERIFY(QTest::qWaitForWindowExposed(&group.panel));
        Settle();
        // The first paint brings the first DrawVolt, which sets the legend.
        QCOMPARE(group.drawVoltRuns, 1);
        QCOMPARE(group.legend->text(), QStringLiteral("U incoming"));

        counter.paints = 0;
        group.drawVoltRuns = 0;
        group.paintVolt->update();
        Settle();

        QCOMPARE(group.drawVoltRuns, 1);
        QCOMPARE(counter.paints, 2);  // axes plus post, then the copy of the curve
        QCOMPARE(Column(group.graph.image(), 20), kAt220);

        group.Add("300.0");  // a polling cycle: one curve redraw, one copy
        group.graph.DrawVolt();
        Settle();
        QCOMPARE(group.drawVoltRuns, 1);
        QCOMPARE(counter.paints, 3);
        QCOMPARE(Column(group.graph.image(), 21), kAt264OrAbove);
    }
};

QTEST_MAIN(TestVoltGraph)
#include "test_voltgraph.moc"
