#include "voltgraph.h"

#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <algorithm>

namespace {

constexpr int kMid = VoltGraph::kHeight / 2;  // the 220 V row
constexpr int kFirstColumn = 20;              // column of the oldest reading
constexpr int kAxisColumn = 19;
constexpr int kSpan = 44;  // volts shown above and below 220 V

constexpr QRgb kBackground = 0xFFBCBFCB;  // also erases above a reading
constexpr QRgb kAxis = 0xFF909090;
constexpr QRgb kArea = 0xFFA0A0FF;
constexpr QRgb kAxisInArea = 0xFF6060A0;  // keeps the 220 V line seen inside the area
constexpr QRgb kReading = 0xFF0000FF;
const QColor kHighlight(0x00, 0x00, 0xFF);

// A line from `from` to `to` colours the pixels from `from` up to but not
// including `to`, one by one so that no smoothing blurs the one-pixel
// graph. The graph needs only vertical and horizontal lines.
void Line(QImage& image, QPoint from, QPoint to, QRgb colour)
{
    Q_ASSERT(from.x() == to.x() || from.y() == to.y());
    const QPoint step((to.x() > from.x()) - (to.x() < from.x()), (to.y() > from.y()) - (to.y() < from.y()));
    for (QPoint p = from; p != to; p += step) image.setPixel(p, colour);
}

// An axis label with its top-left corner at (2, top), kept left of the
// 220 V line and the ticks.
void AxisLabel(QPainter& painter, int top, const QString& text)
{
    painter.drawText(QRect(2, top, 14, 9), Qt::AlignLeft | Qt::AlignTop, text);
}

QPalette Highlighted(QPalette palette)
{
    palette.setColor(QPalette::WindowText, kHighlight);
    return palette;
}

}  // namespace

VoltGraph::VoltGraph(QWidget* paintVolt, QLabel* legend, QLabel* labelUin, QLabel* labelUout, QLabel* marker,
                     const tornavel::VoltHistory& history, std::function<void()> postDrawVolt, QObject* parent)
    : QObject(parent),
      paintVolt_(paintVolt),
      legend_(legend),
      labelUin_(labelUin),
      labelUout_(labelUout),
      marker_(marker),
      history_(history),
      postDrawVolt_(std::move(postDrawVolt)),
      normalUin_(labelUin->palette()),
      normalUout_(labelUout->palette()),
      image_(kWidth, kHeight, QImage::Format_RGB32)
{
    paintVolt_->setAttribute(Qt::WA_OpaquePaintEvent);  // the copy covers it all
    paintVolt_->installEventFilter(this);
    for (QLabel* caption : {labelUin_, labelUout_}) {
        caption->setMouseTracking(true);  // highlight without a button held
        caption->installEventFilter(this);
    }
    DrawAxis();
}

void VoltGraph::DrawAxis()
{
    image_.fill(kBackground);
    Line(image_, {kAxisColumn, 0}, {kAxisColumn, kHeight}, kAxis);
    Line(image_, {16, kMid}, {kWidth, kMid}, kAxis);
    for (int volts = 10; volts <= 40; volts += 10) {  // ticks every 10 V, 260 V to 180 V
        Line(image_, {17, kMid - volts}, {kAxisColumn, kMid - volts}, kAxis);
        Line(image_, {17, kMid + volts}, {kAxisColumn, kMid + volts}, kAxis);
    }

    QPainter painter(&image_);
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(7);
    font.setStyleStrategy(QFont::NoAntialias);  // crisp at this size
    painter.setFont(font);
    painter.setPen(QColor::fromRgb(kAxis));
    painter.setBackground(QColor::fromRgb(kBackground));
    painter.setBackgroundMode(Qt::OpaqueMode);
    AxisLabel(painter, kMid - 34, QStringLiteral("250"));
    AxisLabel(painter, kMid - 4, QStringLiteral("220"));
    AxisLabel(painter, kMid + 26, QStringLiteral("190"));
    painter.end();

    Show(false);
}

void VoltGraph::DrawVolt()
{
    legend_->setText(curveSelect_ == 'i' ? QStringLiteral("U incoming") : QStringLiteral("U outgoing"));
    const std::vector<tornavel::VoltReading> readings = history_.Readings();
    const int columns = std::min(static_cast<int>(readings.size()), kWidth - kFirstColumn);
    for (int i = 0; i < columns; ++i) {
        const int x = kFirstColumn + i;
        const qint64 volts = curveSelect_ == 'i' ? readings[i].input : readings[i].output;
        if (volts < 0) {  // a cycle without an answer: a gap, not a reading
            Line(image_, {x, 0}, {x, kHeight}, kBackground);
            image_.setPixel(x, kMid, kAxis);
            continue;
        }
        const int d = static_cast<int>(std::clamp<qint64>(220 - volts, -kSpan, kSpan));
        const int y = kMid + d;
        Line(image_, {x, 0}, {x, y}, kBackground);
        Line(image_, {x, kMid + kSpan}, {x, y}, kArea);
        image_.setPixel(x, kMid, d < 0 ? kAxisInArea : kAxis);
        image_.setPixel(x, y, kReading);
    }
    Show(true);
}

// How a redraw reaches the screen, and why it cannot loop: an outside repaint
// (expose, page switch, or DrawAxis called outside a paint) clears the image
// to the axes and posts the curve's redraw (DrawVolt); the repaint DrawVolt
// then asks for only copies the image. Drawing inside the paint asks for no
// repaint at all, as the paint's own copy shows it. So one outside repaint
// gives at most two paints and one DrawVolt. Should an outside repaint merge
// with DrawVolt's, the copy still shows the curve DrawVolt has just drawn.
void VoltGraph::Show(bool copyOnly)
{
    if (inPaint_) return;
    // update() of a hidden area paints nothing, so nothing is marked then.
    copyOnlyPaint_ = copyOnly && paintVolt_->isVisible();
    paintVolt_->update();
}

void VoltGraph::PaintVoltPaint()
{
    if (!copyOnlyPaint_) {
        inPaint_ = true;
        DrawAxis();
        postDrawVolt_();
        inPaint_ = false;
    }
    copyOnlyPaint_ = false;
    QPainter(paintVolt_).drawImage(0, 0, image_);
}

void VoltGraph::LabelUinClick()
{
    SelectCurve('i', labelUin_);
}

void VoltGraph::LabelUoutClick()
{
    SelectCurve('o', labelUout_);
}

// The graph and legend follow at the next DrawVolt, not at once.
void VoltGraph::SelectCurve(char curve, QLabel* caption)
{
    curveSelect_ = curve;
    marker_->move(marker_->x(), caption->y() - 2);
}

void VoltGraph::Highlight(QLabel* label)
{
    labelUin_->setPalette(label == labelUin_ ? Highlighted(normalUin_) : normalUin_);
    labelUout_->setPalette(label == labelUout_ ? Highlighted(normalUout_) : normalUout_);
}

void VoltGraph::ResetHighlight()
{
    Highlight(nullptr);
}

bool VoltGraph::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == paintVolt_ && event->type() == QEvent::Paint) {
        PaintVoltPaint();
        return true;
    }
    if (watched != labelUin_ && watched != labelUout_) return false;
    auto* caption = static_cast<QLabel*>(watched);
    if (event->type() == QEvent::MouseMove) {
        Highlight(caption);
        return true;  // the group panel around it would take the highlight away again
    }
    if (event->type() == QEvent::MouseButtonPress && static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        caption == labelUin_ ? LabelUinClick() : LabelUoutClick();
    }
    return false;
}
