#pragma once
#include <QTimer>
#include <QWidget>
#include <memory>

#include "eventloopclock.h"
#include "history/eventhistory.h"
#include "history/unitevents.h"
#include "hoverframe.h"
#include "qtscreen.h"
#include "scanpresenter.h"
#include "serial/comport.h"
#include "session.h"
#include "windowpresenter.h"

namespace Ui {
class TFormMain;
}
class CalibrationPanel;
class HistoryDialog;
class ParameterPage;
class TCOMThread;
class TerminalPage;
class VoltGraph;

// The main window: a thin layer over the core. Scanning and connecting run on
// this thread with waits that keep the window alive; while such an operation
// runs, no other can start and a close waits for its end.
class TFormMain : public QWidget {
    Q_OBJECT
public:
    // `opener` maps port numbers to devices; it outlives the window.
    explicit TFormMain(tornavel::PortOpener& opener, QWidget* parent = nullptr);
    ~TFormMain() override;

    Ui::TFormMain* ui() const { return ui_; }
    tornavel::Session& session() { return session_; }
    bool connected() const { return comThread_ != nullptr; }

    void BitBtnSCANClick();
    void BitBtnGOClick();
    // Waiting for a vanished unit's device to come back.
    bool reconnecting() const { return reconnectTimer_.isActive(); }
    // The history of events, opened with F9.
    HistoryDialog* historyDialog() const { return historyDialog_; }

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void FormCreate();
    void WireControls();
    void WireHoverFrame();
    void WireHistory();
    // The history entry for the setting change just completed.
    void RecordChange(const tornavel::Bytes& before);
    void OnMessage(tornavel::WindowMessage message);
    void OnPageShown(int index);
    void RequestTest(const tornavel::Bytes& command, const char* caption);
    void threadCOMStart();
    void ThreadEnded();
    void Disconnect();
    // Connects to grid row `row` and starts monitoring; true when monitoring.
    bool Connect(int row);
    // One look for a vanished unit's device; on its return, the same
    // connection as "go" makes, full read included.
    void TryReconnect();
    // Runs a window-thread operation with both buttons locked; a close asked
    // for meanwhile is carried out once it has ended.
    template <typename Operation>
    void RunLocked(Operation operation);
    void SetButtonsEnabled(bool scan, bool go);

    Ui::TFormMain* ui_;
    tornavel::EventHistory history_;
    tornavel::HistoryEvents historyEvents_{history_};
    QtScreen screen_;
    ScanPresenter scanPresenter_{screen_};
    WindowPresenter windowPresenter_{screen_, historyEvents_};
    tornavel::Session session_;
    tornavel::PortOpener& opener_;
    EventLoopClock clock_;
    tornavel::ComPort port_;
    HoverFrame hoverFrame_;
    VoltGraph* voltGraph_ = nullptr;
    ParameterPage* parameterPage_ = nullptr;
    TerminalPage* terminalPage_ = nullptr;
    CalibrationPanel* calibrationPanel_ = nullptr;
    HistoryDialog* historyDialog_ = nullptr;
    TCOMThread* comThread_ = nullptr;
    int connectionsEnded_ = 0;
    bool busy_ = false;
    bool closeWhenIdle_ = false;
    QTimer reconnectTimer_;
};
