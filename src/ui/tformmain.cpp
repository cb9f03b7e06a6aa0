#include "tformmain.h"

#include <QAbstractScrollArea>
#include <QCloseEvent>
#include <QMouseEvent>
#include <QShortcut>

#include "calibrationpanel.h"
#include "changepresenter.h"
#include "gridcelldelegate.h"
#include "history/unitevents.h"
#include "historydialog.h"
#include "parameterpage.h"
#include "protocol/commands.h"
#include "protocol/connection.h"
#include "protocol/scan.h"
#include "settings/changestore.h"
#include "statusdisplay.h"
#include "tcomthread.h"
#include "terminalpage.h"
#include "ui_tformmain.h"
#include "voltgraph.h"
#include "widgetevents.h"

using tornavel::WindowMessage;

namespace {
const QString kCaption = QStringLiteral("  Tornavel  ::  0.77 Beta");
const QString kClosingCaption = QStringLiteral("   ждите... идёт завершение работы.");
const QString kStop = QStringLiteral("стоп");
// How often a vanished unit's port is looked for again.
constexpr int kReconnectMs = 3000;
}  // namespace

TFormMain::TFormMain(tornavel::PortOpener& opener, QWidget* parent)
    : QWidget(parent),
      ui_(new Ui::TFormMain),
      history_(tornavel::DefaultHistoryPath()),
      screen_(this, [this](WindowMessage m) { OnMessage(m); }),
      session_(screen_),
      opener_(opener),
      port_(opener, clock_)
{
    Q_INIT_RESOURCE(pictures);  // the pictures live in a static library
    ui_->setupUi(this);
    FormCreate();
    WireControls();
    WireHoverFrame();
    WireHistory();
    reconnectTimer_.setInterval(kReconnectMs);
    connect(&reconnectTimer_, &QTimer::timeout, this, &TFormMain::TryReconnect);
}

TFormMain::~TFormMain()
{
    if (comThread_) {  // the program is ending anyway: stop polling first
        session_.requests.stopRequest = true;
        comThread_->wait();
        delete comThread_;
    }
    delete ui_;
}

void TFormMain::FormCreate()
{
    ui_->UPS->setRowCount(1);
    for (int column = 0; const int width : {48, 208, 98, 63}) ui_->UPS->setColumnWidth(column++, width);
    ui_->UPS->setHorizontalHeaderLabels({QStringLiteral("порт"), QStringLiteral("устройство"),
                                         QStringLiteral("серийный номер"), QStringLiteral("дата")});
    ui_->UPS->setItemDelegate(new GridCellDelegate(ui_->UPS));
    session_.volts.ResetVoltGraph();
    ui_->PageControl1->setCurrentWidget(ui_->TabSheetMO);
    session_.requests.terminalMode = false;
    ui_->Splitter1->setSizes({1, 0});  // the command reference starts closed
    session_.requests.stopRequest = false;
    session_.requests.closeRequest = false;
    session_.requests.eepromChange = false;
    setWindowTitle(kCaption);
    setFixedSize(size());
    setWindowFlags((windowFlags() | Qt::MSWindowsFixedSizeDialogHint) & ~Qt::WindowMaximizeButtonHint);
}

void TFormMain::WireControls()
{
    connect(ui_->BitBtnSCAN, &QPushButton::clicked, this, &TFormMain::BitBtnSCANClick);
    connect(ui_->BitBtnGO, &QPushButton::clicked, this, &TFormMain::BitBtnGOClick);
    connect(ui_->PageControl1, &QTabWidget::currentChanged, this, &TFormMain::OnPageShown);

    OnClick(ui_->ImageTI, [this] { RequestTest(tornavel::cmd::kTestIndicators, "тест индикации..."); });
    OnClick(ui_->ImageTB, [this] { RequestTest(tornavel::cmd::kTestBattery, "ждите... идёт тест батарей"); });
    OnClick(ui_->ImageSB, [this] { RequestTest(tornavel::cmd::kTestMainsFailure, "сбой питания..."); });

    voltGraph_ = new VoltGraph(
        ui_->PaintVolt, ui_->LabelUio, ui_->LabelUin, ui_->LabelUout, ui_->ImageLA, session_.volts,
        [this] { screen_.PostMessage(WindowMessage::DrawVolt); }, this);
    parameterPage_ = new ParameterPage(*ui_, session_, this);
    terminalPage_ = new TerminalPage(
        *ui_, session_, [this] { BitBtnGOClick(); }, this);
    calibrationPanel_ = new CalibrationPanel(
        *ui_, session_, this, [this] { return connectionsEnded_; }, this);
}

void TFormMain::WireHoverFrame()
{
    const QList<QWidget*> pictures = {ui_->Image1,  ui_->ImageTI, ui_->ImageTB, ui_->ImageSB,  ui_->ImageFLOP,
                                      ui_->ImageUD, ui_->ImageU,  ui_->ImageD,  ui_->ImageTCLR};
    for (QWidget* picture : pictures)
        OnMouseMove(
            picture, [this, picture] { hoverFrame_.Place(picture); }, Propagation::Consume);

    // Moving over these areas takes the frame and the caption highlight away.
    const QList<QWidget*> resetAreas = {this,        ui_->TabSheetMO, ui_->TabSheetKA, ui_->PanelKA, ui_->Panel2,
                                        ui_->Panel3, ui_->PanelU,     ui_->Panel5,     ui_->Panel8,  ui_->TERM,
                                        ui_->Help,   ui_->Panel4,     ui_->Label16,    ui_->PanelTB};
    for (QWidget* area : resetAreas) {
        auto* scroll = qobject_cast<QAbstractScrollArea*>(area);
        QWidget* surface = scroll ? scroll->viewport() : area;
        surface->setMouseTracking(true);
        OnEvent(area, QEvent::MouseMove, [this, surface](QEvent* event) {
            // Only the area's own background counts, not a control lying on it.
            const QPoint at = static_cast<QMouseEvent*>(event)->position().toPoint();
            if (!surface->childAt(at)) {
                hoverFrame_.Hide();
                voltGraph_->ResetHighlight();
            }
            return false;
        });
    }
}

void TFormMain::WireHistory()
{
    historyDialog_ = new HistoryDialog(history_, this);
    // Events come from the polling thread too: the list is changed on this one.
    history_.SetListener([dialog = historyDialog_](const tornavel::HistoryEntry& entry) {
        QMetaObject::invokeMethod(
            dialog, [dialog, entry] { dialog->Add(entry); }, Qt::QueuedConnection);
    });
    session_.events = &windowPresenter_;
    auto* open = new QShortcut(QKeySequence(Qt::Key_F9), this);
    connect(open, &QShortcut::activated, this, [this] {
        historyDialog_->show();
        historyDialog_->raise();
        historyDialog_->activateWindow();
    });
}

void TFormMain::RecordChange(const tornavel::Bytes& before)
{
    const auto& requests = session_.requests;
    history_.Record(tornavel::HistoryKind::Change,
                    tornavel::ChangeText(requests.changeCmd.Get(), std::string(SettingField(requests.changeCmd.Get())),
                                         before, requests.changeAnswer.Get(), requests.changeValue.Get()));
}

void TFormMain::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    voltGraph_->DrawAxis();
}

void TFormMain::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    ui_->PanelWA->move((width() - ui_->PanelWA->width()) / 2, (height() - ui_->PanelWA->height()) / 2);
    ui_->ImageZD->move(ui_->ImageZD->x(), height() - ui_->ImageZD->height() - 1);
}

void TFormMain::closeEvent(QCloseEvent* event)
{
    if (busy_) {  // a scan, a full read or the end of a connection is running
        closeWhenIdle_ = true;
        setWindowTitle(kClosingCaption);
        event->ignore();
        return;
    }
    if (!comThread_) {
        event->accept();
        return;
    }
    event->ignore();
    setWindowTitle(kClosingCaption);
    session_.requests.stopRequest = true;
    ui_->ImageW->show();
    session_.requests.closeRequest = true;
}

template <typename Operation>
void TFormMain::RunLocked(Operation operation)
{
    busy_ = true;
    SetButtonsEnabled(false, false);
    operation();
    busy_ = false;
    if (closeWhenIdle_) {
        closeWhenIdle_ = false;
        close();
    }
}

void TFormMain::SetButtonsEnabled(bool scan, bool go)
{
    ui_->BitBtnSCAN->setEnabled(scan);
    ui_->BitBtnGO->setEnabled(go);
}

void TFormMain::BitBtnSCANClick()
{
    if (busy_ || comThread_) return;
    reconnectTimer_.stop();  // a new scan makes a new table
    RunLocked([this] {
        ui_->ImageW->show();
        screen_.ProcessMessages();
        tornavel::ComPortScan(session_, port_, scanPresenter_);
        ui_->ImageW->hide();
        if (ui_->UPS->rowCount() > 0) ui_->UPS->setCurrentCell(0, 0);
        ui_->UPS->setFocus();
        SetButtonsEnabled(true, true);
    });
}

void TFormMain::BitBtnGOClick()
{
    if (busy_) return;
    reconnectTimer_.stop();  // the operator decides now
    if (ui_->BitBtnGO->text() == kStop) {
        Disconnect();
        return;
    }
    Connect(ui_->UPS->currentRow() + 1);
}

bool TFormMain::Connect(int row)
{
    bool connected = false;
    RunLocked([this, row, &connected] {
        session_.requests.stopRequest = false;
        ui_->ImageW->show();
        screen_.ProcessMessages();
        connected = tornavel::OpenAndRead(session_, port_, row);
        if (connected && closeWhenIdle_) {
            // The window was closed during the read: the unit leaves smart
            // mode at once, without a monitoring cycle first.
            tornavel::CloseConnection(session_, port_);
            ++connectionsEnded_;
        } else if (connected) {
            session_.requests.pendingCmd.Set({});
            session_.requests.cmdPending = false;
            session_.volts.ResetVoltGraph();
            ui_->TERM->clear();
            threadCOMStart();
            ui_->BitBtnGO->setText(kStop);
            ui_->PageControl1->setCurrentWidget(ui_->TabSheetMO);
            ui_->PageControl1->show();
            ui_->PanelPIC->show();
            OnPageShown(ui_->PageControl1->currentIndex());
            ui_->LabelST->setText(QStringLiteral("подключен"));
            const tornavel::apcrec record = session_.table.Record(session_.table.apcIndex());
            history_.Record(tornavel::HistoryKind::Connected,
                            tornavel::ConnectedText(record.port, record.slot[tornavel::kSlotModel],
                                                    record.slot[tornavel::kSlotSerial]));
        }
        ui_->ImageW->hide();
        SetButtonsEnabled(!connected, true);
    });
    return connected && comThread_;
}

void TFormMain::TryReconnect()
{
    if (busy_ || comThread_) return;
    const int row = session_.table.apcIndex() + 1;
    // Nothing is sent until the device is there again: an absent port fails to open.
    if (!Connect(row)) {
        screen_.SetText("LabelST", tornavel::PortGoneText(session_.table.Record(row - 1).port));
        return;
    }
    reconnectTimer_.stop();
    ui_->LabelST->setText(QStringLiteral("подключен снова"));
}

void TFormMain::Disconnect()
{
    if (comThread_) {
        // The thread ends after its current cycle; its end message closes the
        // connection. Until then nothing else may start.
        session_.requests.stopRequest = true;
        ui_->ImageW->show();
        SetButtonsEnabled(false, false);
        return;
    }
    port_.ClosePort(session_.hCom);
    session_.hCom = nullptr;
    ++connectionsEnded_;
    tornavel::ShowIdle(screen_);
    SetButtonsEnabled(true, true);
}

void TFormMain::threadCOMStart()
{
    comThread_ = new TCOMThread(session_, opener_);
    comThread_->start(QThread::NormalPriority);
}

void TFormMain::ThreadEnded()
{
    if (comThread_) {
        comThread_->wait();  // it has already left its loop
        delete comThread_;
        comThread_ = nullptr;
        session_.requests.stopRequest = false;
    }
    const bool vanished = session_.requests.lineGone;
    using tornavel::EndReason;
    const EndReason reason = vanished                         ? EndReason::DeviceGone
                             : session_.requests.closeRequest ? EndReason::WindowClosed
                                                              : EndReason::Stopped;
    history_.Record(tornavel::HistoryKind::Disconnected,
                    tornavel::DisconnectedText(session_.table.Record(session_.table.apcIndex()).port, reason));
    RunLocked([this] {
        tornavel::CloseConnection(session_, port_);
        ++connectionsEnded_;
        hoverFrame_.Hide();
        SetButtonsEnabled(true, true);
    });
    if (session_.requests.closeRequest)
        close();
    else if (vanished)
        reconnectTimer_.start();  // until the device is back or the operator acts
}

void TFormMain::RequestTest(const tornavel::Bytes& command, const char* caption)
{
    ui_->LabelST->setText(QString::fromUtf8(caption));
    ui_->LabelUME->setText(QStringLiteral("..."));
    ui_->ImageW->show();
    session_.requests.PostCommand(command);
}

void TFormMain::OnPageShown(int index)
{
    QWidget* page = ui_->PageControl1->widget(index);
    if (page == ui_->TabSheetMO) session_.requests.terminalMode = false;
    if (page == ui_->TabSheetKA) parameterPage_->TabSheetKAShow();
    if (page == ui_->TabSheetTE) terminalPage_->TabSheetTEShow();
}

void TFormMain::OnMessage(WindowMessage message)
{
    switch (message) {
    case WindowMessage::ThreadEnded: ThreadEnded(); break;
    case WindowMessage::ChangeDone: {
        const int slot = tornavel::SlotOfCommand(session_.requests.changeCmd.Get());
        const tornavel::Bytes before = slot > 0 ? session_.table.Slot(slot) : tornavel::Bytes();
        tornavel::CompleteChange(session_, [this](const tornavel::Bytes& command, const tornavel::Bytes& readBack) {
            ShowChangeDone(screen_, session_.table, command, readBack);
        });
        RecordChange(before);
        break;
    }
    case WindowMessage::DrawVolt: voltGraph_->DrawVolt(); break;
    case WindowMessage::SetLoad: tornavel::SetLoad(screen_, session_.table.Slot(tornavel::kSlotLoad)); break;
    case WindowMessage::SetBatt: tornavel::SetBatt(screen_, session_.table.Slot(tornavel::kSlotCharge)); break;
    case WindowMessage::TerminalAnswer: terminalPage_->ShowAnswer(); break;
    case WindowMessage::GaugeStep:
        ui_->GaugeX->setValue(std::min(ui_->GaugeX->value() + 1, ui_->GaugeX->maximum()));
        break;
    }
}
