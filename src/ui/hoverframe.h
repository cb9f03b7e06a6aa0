#pragma once
#include <QPointer>

#include <QFrame>
class QWidget;

// The raised box drawn around the picture button under the mouse. At most one
// exists; it lives in the picture's parent, behind its other controls, and is
// named "BX" followed by the picture's name.
class HoverFrame {
public:
    void Place(QWidget* picture);
    void Hide();
    QFrame* frame() const { return frame_; }

private:
    QPointer<QFrame> frame_;
};
