#pragma once
#include <QObject>
#include <QPoint>
#include <functional>

class QMouseEvent;
class QWidget;
namespace Ui {
class TFormMain;
}
namespace tornavel {
struct Session;
}

// The battery calibration: the advice panel PanelKA with its warnings, the
// confirmation and the "D" request to the polling thread. Whether a
// calibration runs is not kept here: the status display sets BitBtnKA's
// caption from the UPS status, and the button reads it back.
class CalibrationPanel : public QObject {
    Q_OBJECT
public:
    // `connectionsEnded` counts the connections that have ended so far.
    CalibrationPanel(Ui::TFormMain& ui, tornavel::Session& session, QWidget* window,
                     std::function<int()> connectionsEnded, QObject* parent);

    void BitBtnKAClick();
    void Image1Click();
    void ImageKXClick();

private:
    bool Ask(const QString& question);
    void ShowAdvice();
    void WireDragging(QWidget* handle);
    bool PanelKAMouseDown(const QWidget& handle, const QMouseEvent& event);
    bool PanelKAMouseMove(const QMouseEvent& event);
    bool PanelKAMouseUp();

    Ui::TFormMain& ui_;
    tornavel::Session& session_;
    QWidget* window_;
    std::function<int()> connectionsEnded_;
    // PanelKA is a child panel, so the system cannot move it: it follows the
    // mouse by hand from a press on it until the release.
    bool dragging_ = false;
    QPoint grabOffset_;  // panel position minus the press point, in the window
};
