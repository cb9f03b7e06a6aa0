// The main window's layout, headless: fixed size, where every control sits,
// the device grid, the fonts actually resolved, captions that fit, the state
// at start, tooltips, pictures, stacking and the terminal page's splitter.
#include <QAbstractButton>
#include <QCheckBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QSplitter>
#include <QTabBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QtTest>

#include <memory>

#include "serial/serialdevice.h"
#include "tformmain.h"

namespace {

// No port ever opens: the layout never reaches the line.
class NoPorts : public tornavel::PortOpener {
public:
    std::unique_ptr<tornavel::SerialDevice> Open(int) override { return nullptr; }
};

QImage imageOf(const QPixmap& pixmap)
{
    return pixmap.toImage().convertToFormat(QImage::Format_ARGB32);
}

// A caption fits when its glyphs stay inside the control: one line for plain
// labels and buttons, the control's height for word-wrapped labels.
bool captionFits(QWidget* widget, const QString& text)
{
    const QFontMetrics metrics = widget->fontMetrics();
    if (auto* label = qobject_cast<QLabel*>(widget)) {
        if (label->wordWrap()) {
            const QRect box = label->contentsRect();
            return metrics.boundingRect(box, Qt::TextWordWrap, text).height() <= box.height();
        }
        return metrics.horizontalAdvance(text) <= label->contentsRect().width();
    }
    if (auto* check = qobject_cast<QCheckBox*>(widget)) {
        const QString old = check->text();
        check->setText(text);
        const bool fits = check->sizeHint().width() <= check->width();
        check->setText(old);
        return fits;
    }
    return metrics.horizontalAdvance(text) <= widget->width();
}

}  // namespace

class TestLayout : public QObject {
    Q_OBJECT

private:
    NoPorts ports_;
    std::unique_ptr<TFormMain> window_;

    QWidget* child(const QString& name) const { return window_->findChild<QWidget*>(name); }
    template <typename T>
    T* child(const QString& name) const
    {
        return window_->findChild<T*>(name);
    }

    // Pages are shown only while a unit is connected: show them as then.
    void showPage(const char* name)
    {
        auto* pages = child<QTabWidget>("PageControl1");
        pages->setVisible(true);
        pages->setCurrentWidget(child(name));
        QCoreApplication::processEvents();
    }

private slots:
    void init()
    {
        window_ = std::make_unique<TFormMain>(ports_);
        window_->show();
        QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
    }

    void cleanup() { window_.reset(); }

    void windowIsFixed()
    {
        const QSize client(705, 483);
        QCOMPARE(window_->objectName(), QStringLiteral("TFormMain"));
        QCOMPARE(window_->size(), client);
        QCOMPARE(window_->minimumSize(), client);
        QCOMPARE(window_->maximumSize(), client);
        QCOMPARE(window_->sizePolicy().horizontalPolicy(), QSizePolicy::Fixed);
        QCOMPARE(window_->sizePolicy().verticalPolicy(), QSizePolicy::Fixed);
        QCOMPARE(window_->windowTitle(), QStringLiteral("  Tornavel  ::  0.77 Beta"));
    }

    void geometry_data()
    {
        QTest::addColumn<QString>("parent");
        QTest::addColumn<QRect>("rect");
        const auto row = [](const char* name, const char* parent, int x, int y, int w, int h) {
            QTest::newRow(name) << QString(parent) << QRect(x, y, w, h);
        };
        // A column of value fields of one width at one x.
        const auto fields = [&](const char* parent, int x, int w,
                                std::initializer_list<std::pair<const char*, int>> rows) {
            for (const auto& [name, y] : rows) row(name, parent, x, y, w, 21);
        };

        row("Panel1", "TFormMain", 0, 0, 705, 89);
        row("Label1", "TFormMain", 472, 104, 208, 33);
        row("PageControl1", "TFormMain", 0, 91, 705, 382);
        row("PanelPIC", "TFormMain", 272, 87, 433, 25);
        row("PanelWA", "TFormMain", 196, 193, 313, 97);  // centred in the window once shown
        row("PanelKA", "TFormMain", 48, 339, 401, 144);
        row("ImageZD", "TFormMain", 634, 473, 70, 9);

        row("BitBtnSCAN", "Panel1", 184, 8, 75, 25);
        row("BitBtnGO", "Panel1", 184, 36, 75, 25);
        row("UPS", "Panel1", 272, 8, 425, 73);
        row("LabelST", "Panel1", 8, 69, 232, 13);
        row("ImageW", "Panel1", 8, 8, 33, 33);
        row("ImageA", "Panel1", 247, 69, 13, 8);
        row("ImageAON", "Panel1", 77, 45, 13, 8);
        row("ImageAOFF", "Panel1", 61, 45, 13, 8);

        row("GaugeW", "PanelWA", 8, 87, 297, 5);

        row("ImageKF", "PanelPIC", 2, 2, 429, 21);
        const char* icons[] = {"ImageST7", "ImageST6", "ImageST5", "ImageST4",
                               "ImageST3", "ImageST2", "ImageST1", "ImageST0"};
        for (int i = 0; i < 8; ++i) row(icons[i], "PanelPIC", 10 + 21 * i, 6, 17, 13);
        row("ImageKA", "PanelPIC", 280, 4, 80, 18);
        row("LabelUME", "PanelPIC", 360, 5, 64, 14);

        row("Panel5", "TabSheetMO", 5, 3, 308, 172);
        row("PanelU", "TabSheetMO", 320, 3, 377, 172);
        row("Panel2", "TabSheetMO", 5, 181, 324, 172);
        row("Panel3", "TabSheetMO", 336, 181, 361, 172);

        row("LOAD", "Panel5", 10, 48, 38, 113);
        fields("Panel5", 144, 153,
               {{"EditMODEL", 46}, {"EditNAME", 70}, {"EditSERIAL", 94}, {"EditDATA", 118}, {"EditSTATUS", 142}});
        row("PanelDF", "Panel5", 240, 121, 55, 15);

        row("PanelVolt", "PanelU", 10, 69, 150, 92);
        row("PaintVolt", "PanelVolt", 0, 2, 150, 90);
        row("LabelUio", "PanelU", 10, 58, 150, 10);
        row("ImageLA", "PanelU", 163, 70, 100, 20);
        row("LabelUin", "PanelU", 163, 72, 131, 13);
        row("LabelUout", "PanelU", 163, 96, 131, 13);
        fields("PanelU", 301, 65,
               {{"EditUSmin", 21},
                {"EditUSmax", 45},
                {"EditUSin", 69},
                {"EditUSout", 93},
                {"EditFREQ", 117},
                {"EditQUALITY", 141}});

        row("Panel7", "Panel2", 11, 48, 40, 113);
        row("BATT", "Panel7", 0, 0, 40, 113);
        row("Panel6", "Panel2", 21, 42, 21, 6);
        fields("Panel2", 248, 65,
               {{"EditBATTCNT", 22},
                {"EditDATAZAM", 46},
                {"EditUbatt", 70},
                {"EditUnomi", 94},
                {"EditTgrad", 118},
                {"EditRUNTIME", 142}});

        row("ImageTI", "Panel3", 21, 80, 54, 22);
        row("ImageTB", "Panel3", 21, 110, 54, 22);
        row("ImageSB", "Panel3", 21, 140, 54, 22);
        row("Bevel1", "Panel3", 95, 64, 2, 106);
        fields("Panel3", 285, 65,
               {{"EditSIGNAL", 22},
                {"EditINTSAMOT", 46},
                {"EditSENSIT", 70},
                {"EditUout", 94},
                {"EditUPmin", 118},
                {"EditUPmax", 142}});

        row("PanelPA", "TabSheetKA", 16, 21, 337, 145);
        row("PanelRE", "TabSheetKA", 360, 21, 329, 145);
        row("Panel8", "TabSheetKA", 360, 173, 329, 172);
        row("GaugeX", "TabSheetKA", 360, 12, 329, 5);
        row("BitBtnKA", "TabSheetKA", 16, 184, 145, 25);

        fields("PanelPA", 144, 153, {{"EditNA", 22}, {"EditSN", 46}, {"EditDA", 70}, {"EditDZ", 102}});
        row("PanelDA", "PanelPA", 240, 73, 55, 15);
        row("PanelDZ", "PanelPA", 240, 105, 55, 15);
        row("ImageFLOP", "PanelPA", 304, 102, 20, 20);

        fields("PanelRE", 228, 61, {{"EditR0", 30}, {"EditR1", 54}, {"EditR2", 78}, {"EditR3", 102}});
        row("ImageGF", "PanelRE", 296, 30, 20, 20);

        fields("Panel8", 228, 65,
               {{"EditZS", 22}, {"EditIS", 46}, {"EditCH", 70}, {"EditUO", 94}, {"EditMI", 118}, {"EditMA", 142}});
        row("ImageLE", "Panel8", 211, 22, 15, 21);
        row("ImageRI", "Panel8", 295, 22, 15, 21);

        row("Panel9", "PanelKA", 2, 2, 397, 31);
        row("ImageKX", "Panel9", 371, 5, 20, 20);
        row("LabelKA1", "PanelKA", 16, 48, 270, 13);
        row("LabelKA2", "PanelKA", 16, 64, 270, 13);
        row("LabelKA3", "PanelKA", 16, 80, 270, 13);
        row("MemoKA", "PanelKA", 288, 38, 97, 40);
        row("LabelKA", "PanelKA", 24, 96, 257, 41);
        row("Image1", "PanelKA", 296, 80, 87, 47);

        row("PanelTB", "TabSheetTE", 0, 0, 697, 41);
        row("Splitter1", "TabSheetTE", 0, 41, 697, 313);
        row("ImageTCLR", "PanelTB", 15, 8, 25, 25);
        row("CheckECHO", "PanelTB", 64, 12, 49, 17);
        row("Label34", "PanelTB", 470, 6, 219, 27);
        row("ImageUD", "Panel4", 8, 4, 17, 17);
        row("Label16", "Panel4", 48, 6, 120, 13);
        row("ImageU", "Panel4", 192, 4, 17, 17);
        row("ImageD", "Panel4", 216, 4, 17, 17);
    }

    void geometry()
    {
        QFETCH(QString, parent);
        QFETCH(QRect, rect);
        QWidget* widget = child(QTest::currentDataTag());
        QVERIFY(widget);
        QCOMPARE(widget->parentWidget()->objectName(), parent);
        QCOMPARE(widget->geometry(), rect);
    }

    // Field captions are right-aligned and stand 3 px lower than their field;
    // they end 7 px left of it, on the settings page left of the step arrow.
    void fieldCaptions_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<int>("rightEdge");  // relative to the field's left edge
        const auto rows = [](std::initializer_list<std::pair<const char*, const char*>> pairs, int gap) {
            for (const auto& [caption, field] : pairs) QTest::newRow(caption) << QString(field) << -gap;
        };
        rows({{"LabelMODEL", "EditMODEL"},
              {"LabelNAME", "EditNAME"},
              {"LabelSERIAL", "EditSERIAL"},
              {"LabelDATA", "EditDATA"},
              {"LabelSTATUS", "EditSTATUS"},
              {"LabelUSmin", "EditUSmin"},
              {"LabelUSmax", "EditUSmax"},
              {"LabelUin", "EditUSin"},
              {"LabelUout", "EditUSout"},
              {"LabelFREQ", "EditFREQ"},
              {"LabelQUALITY", "EditQUALITY"},
              {"LabelBATTCNT", "EditBATTCNT"},
              {"LabelDATAZAM", "EditDATAZAM"},
              {"LabelUbatt", "EditUbatt"},
              {"LabelUnomi", "EditUnomi"},
              {"LabelTgrad", "EditTgrad"},
              {"LabelRUNTIME", "EditRUNTIME"},
              {"LabelSIGNAL", "EditSIGNAL"},
              {"LabelINTSAMOT", "EditINTSAMOT"},
              {"LabelSENSIT", "EditSENSIT"},
              {"LabelUoutSet", "EditUout"},
              {"LabelUPmin", "EditUPmin"},
              {"LabelUPmax", "EditUPmax"},
              {"LabelNA", "EditNA"},
              {"LabelSN", "EditSN"},
              {"LabelDA", "EditDA"},
              {"LabelDZ", "EditDZ"},
              {"LabelR0", "EditR0"},
              {"LabelR1", "EditR1"},
              {"LabelR2", "EditR2"},
              {"LabelR3", "EditR3"}},
             7);
        rows({{"LabelZS", "EditZS"},
              {"LabelIS", "EditIS"},
              {"LabelCH", "EditCH"},
              {"LabelUO", "EditUO"},
              {"LabelMI", "EditMI"},
              {"LabelMA", "EditMA"}},
             228 - 207);  // 4 px clear of ImageLE at 211
    }

    void fieldCaptions()
    {
        QFETCH(QString, field);
        QFETCH(int, rightEdge);
        auto* caption = child<QLabel>(QTest::currentDataTag());
        QWidget* edit = child(field);
        QVERIFY(caption && edit);
        QCOMPARE(caption->parentWidget(), edit->parentWidget());
        QCOMPARE(caption->geometry().right() + 1, edit->x() + rightEdge);
        QCOMPARE(caption->y(), edit->y() + 3);
        QVERIFY(caption->alignment() & Qt::AlignRight);
    }

    void groupHeadings_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QPoint>("place");
        QTest::newRow("LabelH5") << "аппарат" << QPoint(9, 5);
        QTest::newRow("LabelHU") << "сеть" << QPoint(9, 5);
        QTest::newRow("LabelH2") << "батарея" << QPoint(9, 6);
        QTest::newRow("LabelH3") << "установки" << QPoint(9, 5);
        QTest::newRow("LabelHPA") << "параметры" << QPoint(9, 5);
        QTest::newRow("LabelHRE") << "регистры" << QPoint(9, 5);
        QTest::newRow("LabelH8") << "установки" << QPoint(9, 5);
    }

    void groupHeadings()
    {
        QFETCH(QString, text);
        QFETCH(QPoint, place);
        auto* heading = child<QLabel>(QTest::currentDataTag());
        QVERIFY(heading);
        QCOMPARE(heading->text(), text);
        QCOMPARE(heading->pos(), place);
        QCOMPARE(heading->palette().color(QPalette::WindowText), QColor(0x80, 0x80, 0x80));
        QCOMPARE(heading->font().pixelSize(), 11);
    }

    void deviceGrid()
    {
        auto* grid = child<QTableWidget>("UPS");
        QCOMPARE(grid->columnCount(), 4);
        QCOMPARE(grid->rowCount(), 1);  // with the header: the two rows of an empty list
        const int widths[] = {48, 208, 98, 63};
        const QString headers[] = {"порт", "устройство", "серийный номер", "дата"};
        for (int column = 0; column < 4; ++column) {
            QCOMPARE(grid->columnWidth(column), widths[column]);
            QCOMPARE(grid->horizontalHeaderItem(column)->text(), headers[column]);
        }
        QCOMPARE(grid->rowHeight(0), 17);
        QCOMPARE(grid->horizontalHeader()->height(), 17);
        QVERIFY(!grid->verticalHeader()->isVisible());
        QCOMPARE(grid->selectionBehavior(), QAbstractItemView::SelectRows);
        QCOMPARE(grid->selectionMode(), QAbstractItemView::SingleSelection);
        QCOMPARE(grid->editTriggers(), QAbstractItemView::NoEditTriggers);
        QVERIFY(grid->showGrid());
        QVERIFY(!grid->horizontalScrollBar()->isVisible());
        QVERIFY(!grid->verticalScrollBar()->isVisible());
    }

    // Every row that fits in the grid's view is drawn (the hidden row header
    // decides which rows are painted, so its height must follow the view).
    void deviceGridDrawsEveryRowInView()
    {
        auto* grid = child<QTableWidget>("UPS");
        grid->setRowCount(3);
        for (int row = 0; row < 3; ++row) grid->setItem(row, 0, new QTableWidgetItem(QString("COM%1").arg(row + 1)));
        const QImage shot = grid->viewport()->grab().toImage();
        for (int row = 0; row < 3; ++row) {
            const QRect cell = grid->visualItemRect(grid->item(row, 0));
            QVERIFY(shot.rect().contains(cell));
            bool inked = false;
            for (int y = cell.top(); y <= cell.bottom() && !inked; ++y)
                for (int x = cell.left(); x <= cell.right() && !inked; ++x) inked = qGray(shot.pixel(x, y)) < 100;
            QVERIFY2(inked, qPrintable(grid->item(row, 0)->text()));
        }
    }

    // Each page gets a 697 x 354 client area at 4, 24 in the page control, the
    // room its controls are placed in by pixel; the tabs end left of the status
    // strip that lies on the tab row.
    void pages()
    {
        showPage("TabSheetMO");
        auto* pages = child<QTabWidget>("PageControl1");
        const QString names[] = {"TabSheetMO", "TabSheetKA", "TabSheetTE"};
        const QString titles[] = {"монитор", "изменение параметров", "терминал"};
        QCOMPARE(pages->count(), 3);
        for (int i = 0; i < 3; ++i) {
            QCOMPARE(pages->widget(i)->objectName(), names[i]);
            QCOMPARE(pages->tabText(i), titles[i]);
            pages->setCurrentIndex(i);
            QCoreApplication::processEvents();
            QCOMPARE(pages->widget(i)->size(), QSize(697, 354));
            QCOMPARE(pages->widget(i)->mapTo(pages, QPoint(0, 0)), QPoint(4, 24));
        }
        const QRect lastTab = pages->tabBar()->tabRect(2);
        QVERIFY(pages->tabBar()->mapTo(window_.get(), lastTab.topRight()).x() < child("PanelPIC")->x());
    }

    // Fonts go by pixel height; a missing family would be silently replaced
    // by a wider one, so the family that was really found is checked.
    void fonts_data()
    {
        QTest::addColumn<QString>("family");
        QTest::addColumn<int>("pixels");
        QTest::newRow("TFormMain") << "Liberation Sans" << 11;
        QTest::newRow("EditMODEL") << "Liberation Sans" << 11;
        QTest::newRow("UPS") << "Liberation Sans" << 11;
        QTest::newRow("Label1") << "Comic Neue" << 24;
        QTest::newRow("LabelUio") << "DejaVu Sans" << 8;
        QTest::newRow("Help") << "Liberation Mono" << 13;
        QTest::newRow("LabelUME") << "Liberation Sans" << 12;
        QTest::newRow("LabelWA") << "Liberation Sans" << 13;
        QTest::newRow("Label30") << "Liberation Sans" << 8;
        QTest::newRow("PanelDF") << "Liberation Sans" << 8;
        QTest::newRow("LabelKA") << "Liberation Sans" << 9;
        QTest::newRow("MemoKA") << "Liberation Sans" << 9;
    }

    void fonts()
    {
        QFETCH(QString, family);
        QFETCH(int, pixels);
        const QString name = QTest::currentDataTag();
        QWidget* widget = name == "TFormMain" ? window_.get() : child(name);
        QVERIFY(widget);
        widget->ensurePolished();
        QCOMPARE(QFontInfo(widget->font()).family(), family);
        QCOMPARE(widget->font().pixelSize(), pixels);
    }

    void captionsFitTheirControls()
    {
        showPage("TabSheetMO");
        const auto controls = window_->findChildren<QWidget*>();
        int checked = 0;
        for (QWidget* control : controls) {
            QString text;
            if (auto* label = qobject_cast<QLabel*>(control))
                text = label->text();
            else if (auto* button = qobject_cast<QAbstractButton*>(control))
                text = button->text();
            if (text.isEmpty()) continue;
            ++checked;
            QVERIFY2(captionFits(control, text), qPrintable(control->objectName() + ": " + text));
        }
        QVERIFY(checked > 60);
    }

    // Texts the program puts into fixed-size controls while it runs.
    void runtimeCaptionsFit_data()
    {
        QTest::addColumn<QString>("control");
        QTest::addColumn<QString>("text");
        const auto row = [](const char* control, const char* text) {
            QTest::newRow(qPrintable(QString("%1 %2").arg(control, text))) << QString(control) << QString(text);
        };
        for (const char* text :
             {"ждите, идет опрос COM портов...", "ждите, идет поиск устройств...", "COM порты не обнаружены",
              "идёт опрос устройства...", "подключен", "ready", "тест индикации...", "ждите... идёт тест батарей",
              "сбой питания...", "Данные EEPROM записаны.", "Авария ликвидирована.", "Сеть восстановлена.",
              "Аварийное состояние.", "Ожидание выключения."})
            row("LabelST", text);
        row("BitBtnGO", "стоп");
        row("BitBtnKA", "прервать калибровку");
        row("BitBtnKA", "калибровкa");
        row("LabelUio", "U incoming");
        row("LabelUio", "U outgoing");
        row("LabelUME", "OK");
        row("LabelUME", "NO");
        row("LabelLOAD", "100%");
        row("LabelCharge", "100%");
        QTest::newRow("LabelKA all three warnings")
            << "LabelKA"
            << "• значение регистра 0 меньше рекомендуемого\r\n• батареи не полностью заряжены\r\n"
               "• нагрузка меньше рекомендуемого значения";
    }

    void runtimeCaptionsFit()
    {
        QFETCH(QString, control);
        QFETCH(QString, text);
        QWidget* widget = child(control);
        QVERIFY(widget);
        QVERIFY(captionFits(widget, text));
    }

    void startState()
    {
        for (const char* name : {"PageControl1", "PanelPIC", "PanelWA", "PanelKA", "ImageW", "ImageKA", "GaugeX",
                                 "ImageFLOP", "ImageGF", "ImageAON", "ImageAOFF", "ImageU", "ImageD"})
            QVERIFY2(child(name)->isHidden(), name);
        for (int n = 0; n < 8; ++n) {
            QVERIFY(child(QString("ImageS%1").arg(n))->isHidden());
            QVERIFY(child(QString("ImageS%1x").arg(n))->isHidden());
            QVERIFY(!child(QString("ImageST%1").arg(n))->isHidden());
        }
        for (const char* name : {"Panel1", "Label1", "ImageZD", "ImageA", "UPS", "BitBtnSCAN", "BitBtnGO"})
            QVERIFY2(child(name)->isVisible(), name);

        QCOMPARE(child<QTabWidget>("PageControl1")->currentWidget(), child("TabSheetMO"));
        QCOMPARE(child<QPushButton>("BitBtnGO")->text(), QStringLiteral("go"));
        QCOMPARE(child<QPushButton>("BitBtnSCAN")->text(), QStringLiteral("scan"));
        QVERIFY(child("BitBtnSCAN")->isEnabled());
        QCOMPARE(child<QPushButton>("BitBtnKA")->text(), QStringLiteral("калибровка"));
        QCOMPARE(child<QLabel>("LabelST")->text(), QStringLiteral("..."));
        QCOMPARE(child<QLabel>("LabelUME")->text(), QStringLiteral("..."));
        QCOMPARE(child<QLabel>("LabelKA")->text(), QStringLiteral("..."));
        QCOMPARE(child<QLabel>("LabelUio")->text(), QStringLiteral("U input"));
        QCOMPARE(child<QLabel>("Label1")->text(), QStringLiteral("T o r n a v e l"));
        QVERIFY(!child("Label1")->isEnabled());
        QCOMPARE(child<QLabel>("LabelZS")->palette().color(QPalette::WindowText), QColor(128, 0, 0));
        auto* echo = child<QCheckBox>("CheckECHO");
        QCOMPARE(echo->text(), QStringLiteral(" эхо"));
        QVERIFY(echo->isChecked());
    }

    void editFields()
    {
        // Every field of the monitor page only shows what the UPS answered.
        for (auto* edit : child("TabSheetMO")->findChildren<QLineEdit*>())
            QVERIFY2(edit->isReadOnly(), qPrintable(edit->objectName()));
        struct Field {
            const char* name;
            bool readOnly;
        };
        const Field fields[] = {
            {"EditNA", false}, {"EditSN", false}, {"EditDA", false}, {"EditDZ", false}, {"EditR0", false},
            {"EditR1", true},  {"EditR2", true},  {"EditR3", true},  {"EditZS", true},  {"EditIS", true},
            {"EditCH", true},  {"EditUO", true},  {"EditMI", true},  {"EditMA", true},
        };
        for (const Field& field : fields) {
            auto* edit = child<QLineEdit>(field.name);
            QVERIFY2(edit, field.name);
            QCOMPARE(edit->isReadOnly(), field.readOnly);
            // Length limits apply to typing (the parameter page's tests); a
            // unit's answer put into any box is never cut.
            QCOMPARE(edit->maxLength(), 32767);
        }
        const QColor grey(0xF4, 0xF4, 0xF4);
        for (const char* name : {"EditR1", "EditR2", "EditR3"})
            QCOMPARE(child(name)->palette().color(QPalette::Base), grey);
    }

    // Only the eight status icons and the message label explain themselves.
    void tooltips()
    {
        const QMap<QString, QString> expected = {
            {"ImageST7", "замените батареи"}, {"ImageST6", "батареи разряжены"},
            {"ImageST5", "перегрузка"},       {"ImageST4", "на батареях"},
            {"ImageST3", "в сети"},           {"ImageST2", "режим SmartBoost"},
            {"ImageST1", "режим SmartTrim"},  {"ImageST0", "калибровка"},
            {"LabelUME", "сообщения от UPS"},
        };
        QMap<QString, QString> found;
        for (QWidget* widget : window_->findChildren<QWidget*>())
            if (!widget->toolTip().isEmpty()) found.insert(widget->objectName(), widget->toolTip());
        QCOMPARE(found, expected);
    }

    // Every picture is loaded at its control's size, and the controls start
    // with the pictures of their idle state.
    void pictures()
    {
        int count = 0;
        for (auto* picture : window_->findChildren<QLabel*>(QRegularExpression("^Image"))) {
            ++count;
            const QPixmap pixmap = picture->pixmap();
            QVERIFY2(!pixmap.isNull(), qPrintable(picture->objectName()));
            QCOMPARE(pixmap.size(), picture->size());
        }
        QCOMPARE(count, 45);

        const auto same = [this](const char* a, const char* b) {
            return imageOf(child<QLabel>(a)->pixmap()) == imageOf(child<QLabel>(b)->pixmap());
        };
        for (int n = 0; n < 8; ++n) {
            const QByteArray icon = QString("ImageST%1").arg(n).toLatin1();
            const QByteArray set = QString("ImageS%1").arg(n).toLatin1();
            const QByteArray clear = QString("ImageS%1x").arg(n).toLatin1();
            QVERIFY2(same(icon, clear), icon);
            QVERIFY2(!same(set, clear), set);
        }
        QVERIFY(same("ImageA", "ImageAOFF"));
        QVERIFY(!same("ImageAON", "ImageAOFF"));
        QVERIFY(same("ImageUD", "ImageU"));
        QVERIFY(!same("ImageU", "ImageD"));
        QVERIFY(same("ImageFLOP", "ImageGF"));
    }

    // Later siblings are drawn over earlier ones.
    void stackingOrder()
    {
        const QObjectList order = window_->children();
        const char* bottomToTop[] = {"Panel1", "Label1", "PageControl1", "PanelPIC", "PanelWA", "PanelKA"};
        for (int i = 1; i < 6; ++i)
            QVERIFY2(order.indexOf(child(bottomToTop[i - 1])) < order.indexOf(child(bottomToTop[i])), bottomToTop[i]);
        QVERIFY(order.indexOf(child("ImageZD")) < order.indexOf(child("PageControl1")));
        // The arrow band lies behind the caption it marks.
        const QObjectList network = child("PanelU")->children();
        QVERIFY(network.indexOf(child("ImageLA")) < network.indexOf(child("LabelUin")));
    }

    // TERM fills what the tool bar, the reference bar, the splitter handle and
    // the (closed) command reference leave of the page.
    void terminalPage()
    {
        showPage("TabSheetTE");
        auto* splitter = child<QSplitter>("Splitter1");
        auto* term = child<QPlainTextEdit>("TERM");
        auto* help = child<QPlainTextEdit>("Help");
        QWidget* bar = child("Panel4");
        QCOMPARE(splitter->orientation(), Qt::Vertical);
        QCOMPARE(splitter->handleWidth(), 6);
        QCOMPARE(splitter->count(), 2);
        QCOMPARE(splitter->widget(1), help);
        QCOMPARE(term->parentWidget(), splitter->widget(0));
        QCOMPARE(bar->parentWidget(), splitter->widget(0));

        QCOMPARE(help->height(), 0);
        QCOMPARE(term->geometry(), QRect(0, 0, 697, 354 - 41 - 26 - 6));
        QCOMPARE(bar->geometry(), QRect(0, term->height(), 697, 26));

        splitter->setSizes({313 - 6 - 200, 200});  // the reference opened
        QCoreApplication::processEvents();
        QCOMPARE(term->height(), 81);
        QCOMPARE(help->height(), 200);

        QCOMPARE(term->lineWrapMode(), QPlainTextEdit::WidgetWidth);
        QCOMPARE(term->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
        QCOMPARE(term->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
        QCOMPARE(help->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    }
};

QTEST_MAIN(TestLayout)
#include "test_layout.moc"
