#include "hoverframe.h"

#include <QFrame>

void HoverFrame::Place(QWidget* picture)
{
    QWidget* parent = picture->parentWidget();
    const QRect bounds = picture->geometry().adjusted(-2, -2, 2, 2);
    if (frame_ && frame_->parentWidget() == parent) {
        frame_->setGeometry(bounds);
        frame_->show();
        return;
    }
    delete frame_;  // a frame of another parent goes; a new one is made here
    frame_ = new QFrame(parent);
    frame_->setObjectName(QStringLiteral("BX") + picture->objectName());
    frame_->setFrameShape(QFrame::Box);
    frame_->setFrameShadow(QFrame::Raised);
    frame_->setLineWidth(1);
    frame_->setGeometry(bounds);
    frame_->lower();  // behind the picture and everything else of that parent
    frame_->show();
}

void HoverFrame::Hide()
{
    if (frame_) frame_->hide();
}
