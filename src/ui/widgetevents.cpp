#include "widgetevents.h"

#include <QAbstractScrollArea>
#include <QMouseEvent>
#include <QWidget>

namespace {

class EventHook final : public QObject {
public:
    EventHook(QObject* parent, QEvent::Type type, std::function<bool(QEvent*)> handler)
        : QObject(parent), type_(type), handler_(std::move(handler))
    {
    }

protected:
    bool eventFilter(QObject*, QEvent* event) override { return event->type() == type_ && handler_(event); }

private:
    QEvent::Type type_;
    std::function<bool(QEvent*)> handler_;
};

bool IsLeftButton(QEvent* event)
{
    return static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton;
}

}  // namespace

void OnEvent(QWidget* widget, QEvent::Type type, std::function<bool(QEvent*)> handler)
{
    if (!widget) return;
    QWidget* target = widget;
    if (auto* area = qobject_cast<QAbstractScrollArea*>(widget)) target = area->viewport();
    target->installEventFilter(new EventHook(widget, type, std::move(handler)));
}

void OnClick(QWidget* widget, std::function<void()> handler)
{
    OnEvent(widget, QEvent::MouseButtonPress, [handler = std::move(handler)](QEvent* e) {
        if (IsLeftButton(e)) handler();
        return false;
    });
}

void OnDoubleClick(QWidget* widget, std::function<void()> handler)
{
    OnEvent(widget, QEvent::MouseButtonDblClick, [handler = std::move(handler)](QEvent* e) {
        if (IsLeftButton(e)) handler();
        return false;
    });
}

void OnMouseMove(QWidget* widget, std::function<void()> handler, Propagation propagation)
{
    if (!widget) return;
    widget->setMouseTracking(true);
    if (auto* area = qobject_cast<QAbstractScrollArea*>(widget)) area->viewport()->setMouseTracking(true);
    OnEvent(widget, QEvent::MouseMove, [handler = std::move(handler), propagation](QEvent*) {
        handler();
        return propagation == Propagation::Consume;
    });
}
