#include "formYN.h"

#include <QCoreApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QWindow>

#include "ui_tformyesno.h"

namespace {

const QString kDefaultQuestion = QStringLiteral("Вы действительно хотите\nудалить текущую запись?");
const QString kRestingText = QStringLiteral("Вы действительно хотите удалить текущую запись?");
const QString kPictureCycle = QStringLiteral("qrbyq");

TFormYesNo* theDialog = nullptr;

void destroyTheDialog()
{
    delete theDialog;
    theDialog = nullptr;
}

// Spaces and control characters around the whole question are dropped.
QString trimmedQuestion(const QString& question)
{
    const auto blank = [](QChar c) { return c.unicode() <= u' '; };
    qsizetype first = 0;
    qsizetype end = question.size();
    while (first < end && blank(question[first])) ++first;
    while (end > first && blank(question[end - 1])) --end;
    return question.mid(first, end - first);
}

// "|" breaks the line; a closing "|" only ends the last line, and the pieces
// keep their own spaces. A question that leaves nothing to show, "|" alone
// included, gets the default one.
QString displayedText(const QString& question)
{
    QString text = trimmedQuestion(question);
    if (text.endsWith(u'|')) text.chop(1);
    text.replace(u'|', u'\n');
    return text.isEmpty() ? kDefaultQuestion : text;
}

// Halves are truncated toward zero, as integer division does.
QPoint centredIn(const QRect& area, const QSize& size)
{
    return {area.left() + (area.width() - size.width()) / 2, area.top() + (area.height() - size.height()) / 2};
}

QRect screenArea()
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    return {QPoint(0, 0), screen ? screen->size() : QSize()};
}

void setLeft(QWidget* w, int left)
{
    w->move(left, w->y());
}
void setTop(QWidget* w, int top)
{
    w->move(w->x(), top);
}
void setWidth(QWidget* w, int width)
{
    w->resize(width, w->height());
}
void setHeight(QWidget* w, int height)
{
    w->resize(w->width(), height);
}

// A pen with a current point. Each line runs from the current point up to
// its end point, leaving the end point itself undrawn; that point starts the
// next line. Drawn as a chain this way, the frame sets every corner pixel
// once, in the colour of the line that leaves it. Only horizontal and
// vertical lines are needed.
class FramePen {
public:
    FramePen(QPainter& painter, QPoint start) : painter_(painter), at_(start) {}

    void setColour(const QColor& colour) { painter_.setPen(QPen(colour, 0)); }

    void lineTo(int x, int y)
    {
        const QPoint to(x, y);
        if (to == at_) return;
        const QPoint step((to.x() > at_.x()) - (to.x() < at_.x()), (to.y() > at_.y()) - (to.y() < at_.y()));
        painter_.drawLine(at_, to - step);
        at_ = to;
    }

    void moveTo(int x, int y) { at_ = QPoint(x, y); }

private:
    QPainter& painter_;
    QPoint at_;
};

}  // namespace

TFormYesNo::TFormYesNo(QWidget* parent) : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint), ui_(new Ui::TFormYesNo)
{
    Q_INIT_RESOURCE(pictures_yn);
    ui_->setupUi(this);
    // The layout is in pixels, so the font is too: the screen's DPI must not change it.
    QFont look = font();
    look.setPixelSize(11);
    setFont(look);
    // Only the main window's closing ends the program.
    setAttribute(Qt::WA_QuitOnClose, false);

    ui_->ImageXX->installEventFilter(this);
    ui_->PaintBoxR->installEventFilter(this);
    connect(ui_->BitBtnDa, &QPushButton::clicked, this, [this] { answer(true); });
    connect(ui_->BitBtnNet, &QPushButton::clicked, this, [this] { answer(false); });
    RestoreDEF();
}

TFormYesNo::~TFormYesNo()
{
    delete ui_;
}

TFormYesNo& TFormYesNo::instance()
{
    if (!theDialog) {
        theDialog = new TFormYesNo;
        qAddPostRoutine(destroyTheDialog);
    }
    return *theDialog;
}

bool TFormYesNo::ask(const QString& question, QWidget* owner)
{
    // One question at a time: a second one while the first is open is answered "нет".
    if (isVisible()) return false;
    move(centredIn(owner ? owner->window()->frameGeometry() : screenArea(), size()));
    ui_->LabelTXT->setText(displayedText(question));
    exec();
    return result_;
}

bool AskYesNo(const QString& question, QWidget* owner)
{
    return TFormYesNo::instance().ask(question, owner);
}

void TFormYesNo::setVisible(bool visible)
{
    if (visible && !isVisible()) FormShow();
    QDialog::setVisible(visible);
}

void TFormYesNo::FormShow()
{
    QPalette text = ui_->LabelTXT->palette();
    text.setColor(QPalette::WindowText, Qt::black);
    ui_->LabelTXT->setPalette(text);
    result_ = false;
    ui_->BitBtnDa->setText(QStringLiteral("да"));
    ui_->BitBtnNet->setText(QStringLiteral("нет"));
    // Enter or Space right after showing answers no.
    ui_->BitBtnNet->setFocus();
    showPicture();
    // Changing window flags re-creates a shown window, so topmost is set while still hidden.
    setWindowFlag(Qt::WindowStaysOnTopHint, true);
}

void TFormYesNo::done(int code)
{
    QDialog::done(code);
    FormClose();
}

void TFormYesNo::FormClose()
{
    showPicture();
    RestoreDEF();
    setWindowFlag(Qt::WindowStaysOnTopHint, false);
}

void TFormYesNo::answer(bool yes)
{
    result_ = yes;
    stripeColour_ = u'g';
    if (yes)
        accept();
    else
        reject();
}

// ImageXX shows the source picture named "image" + the letter, in any case.
void TFormYesNo::showPicture()
{
    const QString name = QStringLiteral("image") + imageLetter_;
    for (const QLabel* source : {ui_->ImageQ, ui_->ImageR, ui_->ImageB, ui_->ImageY}) {
        if (source->objectName().compare(name, Qt::CaseInsensitive) == 0) ui_->ImageXX->setPixmap(source->pixmap());
    }
    ui_->ImageXX->show();
}

void TFormYesNo::ImageXXDblClick()
{
    imageLetter_ = kPictureCycle[kPictureCycle.indexOf(imageLetter_) + 1];
    showPicture();
}

void TFormYesNo::PaintBoxRDblClick()
{
    stripeColour_ = stripeColour_ == u'g' ? u'r' : u'g';
    ui_->PaintBoxR->update();
}

void TFormYesNo::PaintBoxRPaint()
{
    const QLabel* tile = stripeColour_ == u'r' ? ui_->ImageRLI : ui_->ImageGLI;
    QPainter painter(ui_->PaintBoxR);
    painter.drawTiledPixmap(ui_->PaintBoxR->rect(), tile->pixmap());
}

bool TFormYesNo::eventFilter(QObject* watched, QEvent* event)
{
    const bool doubleClick = event->type() == QEvent::MouseButtonDblClick &&
                             static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton;
    if (watched == ui_->ImageXX && doubleClick) {
        ImageXXDblClick();
        return true;
    }
    if (watched == ui_->PaintBoxR && doubleClick) {
        PaintBoxRDblClick();
        return true;
    }
    if (watched == ui_->PaintBoxR && event->type() == QEvent::Paint) {
        PaintBoxRPaint();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

// A black outline with a raised edge inside it.
void TFormYesNo::paintEvent(QPaintEvent*)
{
    const int cw = width();
    const int ch = height();
    QPainter painter(this);
    FramePen pen(painter, {0, ch - 1});
    pen.setColour(Qt::black);
    pen.lineTo(0, 0);
    pen.lineTo(cw - 1, 0);
    pen.lineTo(cw - 1, ch - 1);
    pen.lineTo(0, ch - 1);
    pen.setColour(Qt::white);
    pen.moveTo(1, ch - 2);
    pen.lineTo(1, 1);
    pen.lineTo(cw - 2, 1);
    pen.setColour(QColor(0x80, 0x80, 0x80));
    pen.lineTo(cw - 2, ch - 2);
    pen.lineTo(1, ch - 2);
}

void TFormYesNo::mousePressEvent(QMouseEvent* event)
{
    // The background and the question text move the dialog; the picture, the
    // stripes and the buttons keep their own clicks.
    const QWidget* under = childAt(event->position().toPoint());
    dragging_ = false;
    if (event->button() == Qt::LeftButton && (under == nullptr || under == ui_->LabelTXT)) {
        FormMouseDown(*event);
        return;
    }
    QDialog::mousePressEvent(event);
}

void TFormYesNo::FormMouseDown(const QMouseEvent& event)
{
    if (windowHandle() && windowHandle()->startSystemMove()) return;
    // No system move here (no window manager, or a platform without one):
    // the dialog follows the mouse itself until the button is released.
    dragging_ = true;
    dragOffset_ = event.globalPosition().toPoint() - pos();
}

void TFormYesNo::mouseMoveEvent(QMouseEvent* event)
{
    if (dragging_ && (event->buttons() & Qt::LeftButton)) {
        move(event->globalPosition().toPoint() - dragOffset_);
        return;
    }
    QDialog::mouseMoveEvent(event);
}

void TFormYesNo::mouseReleaseEvent(QMouseEvent* event)
{
    dragging_ = false;
    QDialog::mouseReleaseEvent(event);
}

void TFormYesNo::RestoreDEF()
{
    QPushButton* da = ui_->BitBtnDa;
    QPushButton* net = ui_->BitBtnNet;
    QWidget* stripes = ui_->PaintBoxR;
    QLabel* picture = ui_->ImageXX;
    QLabel* text = ui_->LabelTXT;

    setWidth(this, 520);
    setWidth(da, 120);
    setWidth(net, 120);
    const int cw = width();
    setLeft(da, cw - da->width() - 32);
    setLeft(net, da->x());
    setLeft(stripes, da->x() - 32);
    setWidth(stripes, cw - stripes->x() - 2);
    setLeft(picture, 40);
    setLeft(text, picture->x() + picture->width() + 16);
    setWidth(text, stripes->x() - text->x() - 24);

    setHeight(this, 120);
    setHeight(da, 33);
    setHeight(net, 33);
    const int ch = height();
    setTop(da, (ch - 2 * da->height()) * 42 / 100);
    setTop(net, ch - da->y() - net->height());
    setHeight(stripes, ch - 4);
    setHeight(text, ch - 2 * text->y());
    setTop(picture, (ch - 40) / 2);

    text->setText(kRestingText);
    imageLetter_ = u'q';
}
