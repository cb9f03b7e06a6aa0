#pragma once
#include <QEvent>
#include <QHash>
#include <QObject>
#include <QPointer>
#include <functional>

#include "shared/screen.h"

class QWidget;

// Shows what the core asks for on the main window's controls, found by their
// object names. On the window thread a change is made at once; from the
// polling thread it is posted, together with the window messages, to one
// receiver, so everything reaches the window thread in the order made.
class QtScreen final : public QObject, public tornavel::Screen {
    Q_OBJECT
public:
    using MessageHandler = std::function<void(tornavel::WindowMessage)>;

    QtScreen(QWidget* window, MessageHandler onMessage);

    void SetText(std::string_view control, const std::string& text) override;
    void SetVisible(std::string_view control, bool visible) override;
    void SetPicture(std::string_view control, std::string_view source) override;
    void SetColor(std::string_view control, std::uint32_t rgb) override;
    void SetValue(std::string_view control, int value) override;
    void SetMaximum(std::string_view control, int maximum) override;
    void SetRowCount(std::string_view grid, int rows) override;
    void SetCell(std::string_view grid, int column, int row, const std::string& text) override;
    void PostMessage(tornavel::WindowMessage message) override;
    void ProcessMessages() override;

    // The control of that name, or null.
    QWidget* Control(std::string_view name);

protected:
    void customEvent(QEvent* event) override;

private:
    // Runs the change now on the window thread, or posts it from another.
    void Apply(std::function<void()> change);

    QWidget* window_;
    MessageHandler onMessage_;
    QHash<QString, QPointer<QWidget>> controls_;
};
