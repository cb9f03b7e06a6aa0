#include "calibrationpanel.h"

#include <QMouseEvent>
#include <QPushButton>
#include <QStringList>
#include <QTextDocument>
#include <algorithm>

#include "formYN.h"
#include "protocol/commands.h"
#include "session.h"
#include "settings/calibration.h"
#include "ui_tformmain.h"
#include "widgetevents.h"

namespace {

const QString kAbortCaption = QStringLiteral("прервать калибровку");
const QString kAbortQuestion = QStringLiteral("прервать калибровку?");
const QString kStartQuestion = QStringLiteral("включить режим калибровки?");
// Fits MemoKA's 97 x 40 in three lines.
const QString kNote = QStringLiteral("калибровка разряжает батареи; прервать её - той же кнопкой");

}  // namespace

CalibrationPanel::CalibrationPanel(Ui::TFormMain& ui, tornavel::Session& session, QWidget* window,
                                   std::function<int()> connectionsEnded, QObject* parent)
    : QObject(parent), ui_(ui), session_(session), window_(window), connectionsEnded_(std::move(connectionsEnded))
{
    ui_.LabelKA->setTextFormat(Qt::PlainText);
    ui_.MemoKA->setReadOnly(true);
    ui_.MemoKA->setFocusPolicy(Qt::NoFocus);
    ui_.MemoKA->document()->setDocumentMargin(1);
    ui_.MemoKA->setPlainText(kNote);

    connect(ui_.BitBtnKA, &QPushButton::clicked, this, &CalibrationPanel::BitBtnKAClick);
    OnClick(ui_.Image1, [this] { Image1Click(); });
    OnClick(ui_.ImageKX, [this] { ImageKXClick(); });
    const QList<QWidget*> dragHandles = {ui_.PanelKA, ui_.Panel9, ui_.LabelKAH};
    for (QWidget* handle : dragHandles) WireDragging(handle);
}

void CalibrationPanel::BitBtnKAClick()
{
    if (ui_.BitBtnKA->text() == kAbortCaption) {
        // Stopping touches neither the wait picture nor the message line.
        if (Ask(kAbortQuestion)) session_.requests.PostCommand(tornavel::cmd::kCalibration);
        return;
    }
    ShowAdvice();
}

// The panel opens in the middle of the window with the preconditions that the
// last read values do not meet; they are advice only.
void CalibrationPanel::ShowAdvice()
{
    QWidget* panel = ui_.PanelKA;
    ui_.LabelKA->clear();
    panel->move((window_->width() - panel->width()) / 2, (window_->height() - panel->height()) / 2);
    panel->show();
    panel->raise();

    QStringList warnings;
    for (const std::string& warning : tornavel::CalibrationWarnings(session_.table))
        warnings << QString::fromStdString(warning);
    ui_.LabelKA->setText(warnings.join(u'\n'));
}

void CalibrationPanel::Image1Click()
{
    if (!Ask(kStartQuestion)) return;
    ui_.LabelUME->setText(QStringLiteral("..."));
    ui_.ImageW->show();
    session_.requests.PostCommand(tornavel::cmd::kCalibration);
    ui_.PanelKA->hide();
}

// The question is modal, but the window goes on handling the polling
// thread's messages meanwhile: a "да" given after the connection has been
// stopped or has ended belongs to no unit and does nothing.
bool CalibrationPanel::Ask(const QString& question)
{
    const auto stopping = [this] { return session_.requests.stopRequest.load(); };
    if (stopping()) return false;
    const int ended = connectionsEnded_();
    return AskYesNo(question, window_) && !stopping() && connectionsEnded_() == ended;
}

void CalibrationPanel::ImageKXClick()
{
    ui_.PanelKA->hide();
}

void CalibrationPanel::WireDragging(QWidget* handle)
{
    const auto mouse = [](QEvent* event) -> const QMouseEvent& { return *static_cast<QMouseEvent*>(event); };
    OnEvent(handle, QEvent::MouseButtonPress,
            [this, handle, mouse](QEvent* e) { return PanelKAMouseDown(*handle, mouse(e)); });
    OnEvent(handle, QEvent::MouseMove, [this, mouse](QEvent* e) { return PanelKAMouseMove(mouse(e)); });
    OnEvent(handle, QEvent::MouseButtonRelease, [this](QEvent*) { return PanelKAMouseUp(); });
}

// Only the bare surface of a handle grabs the panel; a press that reached it
// from a control on it (the pictures, the advice lines) does not.
bool CalibrationPanel::PanelKAMouseDown(const QWidget& handle, const QMouseEvent& event)
{
    if (event.button() != Qt::LeftButton || handle.childAt(event.position().toPoint())) return false;
    QWidget* panel = ui_.PanelKA;
    grabOffset_ = panel->pos() - panel->parentWidget()->mapFromGlobal(event.globalPosition().toPoint());
    dragging_ = true;
    return true;
}

// The panel follows the mouse but stays whole inside the window, so it can
// always be caught again.
bool CalibrationPanel::PanelKAMouseMove(const QMouseEvent& event)
{
    if (!dragging_) return false;
    if (!(event.buttons() & Qt::LeftButton)) {  // the release went elsewhere
        dragging_ = false;
        return false;
    }
    QWidget* panel = ui_.PanelKA;
    const QWidget* area = panel->parentWidget();
    const QPoint wanted = area->mapFromGlobal(event.globalPosition().toPoint()) + grabOffset_;
    const int right = std::max(0, area->width() - panel->width());
    const int bottom = std::max(0, area->height() - panel->height());
    panel->move(std::clamp(wanted.x(), 0, right), std::clamp(wanted.y(), 0, bottom));
    return true;
}

bool CalibrationPanel::PanelKAMouseUp()
{
    const bool wasDragging = dragging_;
    dragging_ = false;
    return wasDragging;
}
