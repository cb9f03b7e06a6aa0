#include "qtscreen.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QTableWidget>
#include <QThread>

namespace {

const QEvent::Type kChangeEvent = static_cast<QEvent::Type>(QEvent::registerEventType());
const QEvent::Type kMessageEvent = static_cast<QEvent::Type>(QEvent::registerEventType());

struct ChangeEvent final : QEvent {
    explicit ChangeEvent(std::function<void()> change_) : QEvent(kChangeEvent), change(std::move(change_)) {}
    std::function<void()> change;
};

struct MessageEvent final : QEvent {
    explicit MessageEvent(tornavel::WindowMessage message_) : QEvent(kMessageEvent), message(message_) {}
    tornavel::WindowMessage message;
};

QString Name(std::string_view name)
{
    return QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size()));
}

QString Text(const std::string& text)
{
    return QString::fromStdString(text);
}

}  // namespace

QtScreen::QtScreen(QWidget* window, MessageHandler onMessage) : window_(window), onMessage_(std::move(onMessage)) {}

QWidget* QtScreen::Control(std::string_view name)
{
    const QString key = Name(name);
    auto it = controls_.find(key);
    if (it != controls_.end() && *it) return *it;
    QWidget* control = window_->objectName() == key ? window_ : window_->findChild<QWidget*>(key);
    controls_.insert(key, control);
    return control;
}

void QtScreen::Apply(std::function<void()> change)
{
    if (QThread::currentThread() == thread())
        change();
    else
        QCoreApplication::postEvent(this, new ChangeEvent(std::move(change)));
}

void QtScreen::customEvent(QEvent* event)
{
    if (event->type() == kChangeEvent)
        static_cast<ChangeEvent*>(event)->change();
    else if (event->type() == kMessageEvent && onMessage_)
        onMessage_(static_cast<MessageEvent*>(event)->message);
}

void QtScreen::SetText(std::string_view control, const std::string& text)
{
    Apply([this, name = std::string(control), text] {
        QWidget* w = Control(name);
        if (auto* label = qobject_cast<QLabel*>(w)) {
            label->setTextFormat(Qt::PlainText);  // a UPS answer is never markup
            label->setText(Text(text));
        } else if (auto* edit = qobject_cast<QLineEdit*>(w)) {
            edit->setText(Text(text));
        } else if (auto* button = qobject_cast<QAbstractButton*>(w)) {
            button->setText(Text(text));
        }
    });
}

void QtScreen::SetVisible(std::string_view control, bool visible)
{
    Apply([this, name = std::string(control), visible] {
        if (QWidget* w = Control(name)) {
            w->setVisible(visible);
            if (visible) w->raise();
        }
    });
}

void QtScreen::SetPicture(std::string_view control, std::string_view source)
{
    Apply([this, name = std::string(control), from = std::string(source)] {
        auto* target = qobject_cast<QLabel*>(Control(name));
        auto* origin = qobject_cast<QLabel*>(Control(from));
        if (target && origin) target->setPixmap(origin->pixmap());
    });
}

void QtScreen::SetColor(std::string_view control, std::uint32_t rgb)
{
    Apply([this, name = std::string(control), rgb] {
        QWidget* w = Control(name);
        if (!w) return;
        const QString colour = QColor::fromRgb(rgb).name();
        if (qobject_cast<QProgressBar*>(w)) {
            // Only the bar: frame and background stay as the window's style sheet has them.
            w->setStyleSheet(QStringLiteral("QProgressBar::chunk{background:%1;}").arg(colour));
        } else {
            QPalette palette = w->palette();
            palette.setColor(QPalette::WindowText, QColor::fromRgb(rgb));  // a label's text
            palette.setColor(QPalette::Text, QColor::fromRgb(rgb));        // an edit box's text
            w->setPalette(palette);
        }
    });
}

void QtScreen::SetValue(std::string_view control, int value)
{
    Apply([this, name = std::string(control), value] {
        if (auto* bar = qobject_cast<QProgressBar*>(Control(name))) bar->setValue(std::min(value, bar->maximum()));
    });
}

void QtScreen::SetMaximum(std::string_view control, int maximum)
{
    Apply([this, name = std::string(control), maximum] {
        if (auto* bar = qobject_cast<QProgressBar*>(Control(name))) bar->setMaximum(maximum);
    });
}

void QtScreen::SetRowCount(std::string_view grid, int rows)
{
    Apply([this, name = std::string(grid), rows] {
        auto* table = qobject_cast<QTableWidget*>(Control(name));
        // The grid's header row is the widget's own header.
        if (table) table->setRowCount(std::max(rows - 1, 0));
    });
}

void QtScreen::SetCell(std::string_view grid, int column, int row, const std::string& text)
{
    Apply([this, name = std::string(grid), column, row, text] {
        auto* table = qobject_cast<QTableWidget*>(Control(name));
        if (!table || row < 1 || row > table->rowCount() || column >= table->columnCount()) return;
        table->setItem(row - 1, column, new QTableWidgetItem(Text(text)));
    });
}

void QtScreen::PostMessage(tornavel::WindowMessage message)
{
    QCoreApplication::postEvent(this, new MessageEvent(message));
}

void QtScreen::ProcessMessages()
{
    if (QThread::currentThread() == thread()) QCoreApplication::processEvents();
}
