#include "unitworker.h"

#include <algorithm>
#include <chrono>
#include <utility>

#include "alertnames.h"
#include "monitor/readings.h"
#include "protocol/connection.h"
#include "unittext.h"

namespace tornavel::service {

namespace {

// The values every monitoring cycle reads: a cycle in which none of them got
// an answer is a cycle without an answer.
// The unit's own alert that its battery is low.
const Bytes kLowBatteryAlert = "%";

constexpr int kCycleSlots[] = {kSlotStatus, kSlotLoad, kSlotCharge, kSlotInputVolts, kSlotOutputVolts};

double UnixSecondsNow()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count() / 1000.0;
}

}  // namespace

UnitWorker::UnitWorker(std::string label, int number, PortOpener& opener, Clock& clock, EventLog& log,
                       std::function<void()> published)
    : label_(std::move(label)),
      opener_(opener),
      log_(log),
      published_(std::move(published)),
      screen_([this] { CycleRead(); }),
      session_(screen_),
      port_(opener_, clock),
      loop_(session_, port_)
{
    session_.table.Add(number);
    session_.table.SetApcIndex(0);
    session_.alerts.SetObserver([this](const Bytes& token) { Alert(token); });
    snapshot_.port = label_;
}

UnitSnapshot UnitWorker::Snapshot() const
{
    std::lock_guard lock(mutex_);
    return snapshot_;
}

template <typename Change>
void UnitWorker::Publish(Change change)
{
    {
        std::lock_guard lock(mutex_);
        change(snapshot_);
    }
    if (published_) published_();
}

void UnitWorker::Record(const std::string& name, const std::string& message)
{
    const auto& table = session_.table;
    log_.Record(Event{{}, label_, name, message,
                      {{"model", UnitText(table.Slot(kSlotModel))}, {"serial", UnitText(table.Slot(kSlotSerial))}}});
}

void UnitWorker::RequestStop()
{
    // Flag first, then the loop's request: Poll checks them in the other order.
    stopping_ = true;
    session_.requests.stopRequest = true;
}

void UnitWorker::Run()
{
    int retryMs = kFirstRetryMs;
    std::string lastReason;
    while (!stopping_) {
        if (Connect()) {
            lastReason.clear();
            retryMs = kFirstRetryMs;
            if (Poll()) return;
        } else {
            Unavailable(lastReason);
        }
        WaitBeforeRetry(retryMs);
        retryMs = std::min(retryMs * 2, kLongestRetryMs);
    }
}

void UnitWorker::Unavailable(std::string& lastReason)
{
    const std::string reason = opener_.lastOpened
                                   ? "no Smart-UPS answers on the port (no \"SM\" to \"Y\"); retrying"
                                   : "cannot open the port (absent, busy or not permitted); retrying";
    if (reason == lastReason) return;  // logged once, not on every try
    lastReason = reason;
    log_.Record(Event{{}, label_, "unavailable", reason, {}});
}

bool UnitWorker::Connect()
{
    if (!OpenAndRead(session_, port_, 1)) return false;
    const double now = UnixSecondsNow();
    const apcrec record = session_.table.Record(0);
    Publish([&](UnitSnapshot& s) {
        s.identified = true;
        s.up = true;
        s.lastGoodSeconds = now;
        s.slots = record.slot;
    });
    Record("connected", UnitText(record.slot[kSlotModel]) + ", serial " + UnitText(record.slot[kSlotSerial]));
    return true;
}

bool UnitWorker::Poll()
{
    linkLost_ = false;
    session_.requests.stopRequest = false;
    if (!stopping_) loop_.Execute();  // a stop asked after this check ends it after one pass
    if (linkLost_ || session_.requests.lineGone) {  // the device went mid-cycle: polled again
        port_.ClosePort(session_.hCom);
        session_.hCom = nullptr;
        return stopping_;
    }
    CloseConnection(session_, port_);
    return true;
}

void UnitWorker::CycleRead()
{
    const bool answered = std::any_of(std::begin(kCycleSlots), std::end(kCycleSlots),
                                      [this](int slot) { return !session_.table.Slot(slot).empty(); });
    const double now = UnixSecondsNow();
    const apcrec record = session_.table.Record(0);
    Publish([&](UnitSnapshot& s) {
        s.up = answered;
        s.slots = record.slot;
        if (answered) {
            s.lastGoodSeconds = now;
            s.outage.Status(ParseStatus(record.slot[kSlotStatus]), now);
        } else {
            ++s.linkLosses;
            s.outage.Unseen();
        }
    });
    if (answered) {
        if (protector_) protector_->Cycle(SettledReading(), now);
        return;
    }
    linkLost_ = true;
    session_.requests.stopRequest = true;  // the loop ends after this pass
    Record("link_lost", "no answer for a whole monitoring cycle; reconnecting");
}

PolicyReading UnitWorker::SettledReading()
{
    const auto settled = [this](int slot) {
        return loop_.Settled(slot) ? session_.table.Slot(slot) : Bytes();
    };
    PolicyReading reading;
    reading.status = ParseStatus(settled(kSlotStatus));
    reading.chargePercent = ParseDecimal(settled(kSlotCharge));
    reading.runtimeSeconds = ParseMinutesAsSeconds(settled(kSlotRuntime));
    reading.lowBatteryAlert = std::exchange(lowBatteryAlert_, false);
    return reading;
}

void UnitWorker::Alert(const Bytes& token)
{
    if (token == kLowBatteryAlert) lowBatteryAlert_ = true;
    const int row = AlertRow(token);
    if (row < 0) return;  // an acknowledgement
    const double now = UnixSecondsNow();
    Publish([row, now](UnitSnapshot& s) {
        ++s.alerts[row];
        if (row == kMainsFailureRow) s.outage.MainsFailure(now);
    });
    Record(kAlertNames[row], alertTable[row].message);
}

void UnitWorker::WaitBeforeRetry(int ms)
{
    for (int waited = 0; waited < ms && !stopping_; waited += kRetryStepMs) port_.clock().Sleep(kRetryStepMs);
}

}  // namespace tornavel::service
