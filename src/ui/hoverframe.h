#pragma once
#include <QFrame>
#include <QPointer>

class QWidget;

// The raised box drawn around the picture button under the mouse. At most one
// exists; it lives in the picture's parent, behind its other controls, and is
// named "BX" followed by the picture's name.
class HoverFrame {
public:
    void Place(QWidget* picture);
    void Hide();

private:
    QPointer<QFrame> frame_;
};
