#pragma once
#include <QEvent>
#include <QObject>
#include <functional>

class QWidget;

// Calls `handler` for every event of the given type that reaches `widget`
// (its viewport, for scroll areas), before the widget itself sees it. The
// handler returns true to swallow the event. Lives as long as the widget.
void OnEvent(QWidget* widget, QEvent::Type type, std::function<bool(QEvent*)> handler);

// A left click (press) or double-click on a widget, e.g. a picture button.
void OnClick(QWidget* widget, std::function<void()> handler);
void OnDoubleClick(QWidget* widget, std::function<void()> handler);
// Mouse movement over a widget (turns mouse tracking on). A consumed
// movement does not reach the widget's parents.
enum class Propagation { Pass, Consume };
void OnMouseMove(QWidget* widget, std::function<void()> handler, Propagation propagation = Propagation::Pass);
