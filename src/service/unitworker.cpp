#include "unitworker.h"

#include <algorithm>
#include <chrono>
#include <utility>

#include "alertnames.h"
#include "monitor/readings.h"
#include "protocol/commands.h"
#include "protocol/connection.h"
#include "settings/changestore.h"
#include "unittext.h"

namespace tornavel::service {

namespace {

// The values every monitoring cycle reads: a cycle in which none of them got
// an answer is a cycle without an answer.
// The unit's own alert that its battery is low.
const Bytes kLowBatteryAlert = "%";

constexpr int kCycleSlots[] = {kSlotStatus, kSlotLoad, kSlotCharge, kSlotInputVolts, kSlotOutputVolts};

}  // namespace

UnitWorker::UnitWorker(std::string label, int number, PortOpener& opener, Clock& clock, EventLog& log,
                       std::function<void()> published)
    : label_(std::move(label)),
      opener_(opener),
      log_(log),
      published_(std::move(published)),
      screen_([this] { CycleRead(); }, [this] { ChangeDone(); }, [this] { Beat(); }),
      session_(screen_),
      port_(opener_, clock),
      loop_(session_, port_),
      lastBeatMs_(clock.NowMs())
{
    session_.table.Add(number);
    session_.table.SetApcIndex(0);
    session_.alerts.SetObserver([this](const Bytes& token) { Alert(token); });
    session_.onTestAnswer = [this](const Bytes& command, const Bytes& answer) { TestAnswered(command, answer); };
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

Event UnitWorker::UnitEvent(const std::string& name, const std::string& message) const
{
    const auto& table = session_.table;
    return Event{{}, label_, name, message,
                 {{"model", UnitText(table.Slot(kSlotModel))}, {"serial", UnitText(table.Slot(kSlotSerial))}}};
}

void UnitWorker::Record(const std::string& name, const std::string& message)
{
    log_.Record(UnitEvent(name, message));
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
        Beat();
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
    // A lock file is honoured, as every serial program honours it; but
    // /run/lock is writable by everyone, so whom it names is said.
    const auto holder = opener_.lastOpened ? std::nullopt : port_.PortHolder(session_.table.Record(0).port);
    const auto pidOf = [](const std::optional<LockHolder>& h) { return h ? h->pid : 0; };
    if (pidOf(holder) != pidOf(lockHolder_)) Publish([&](UnitSnapshot& s) { s.lockHolder = holder; });
    lockHolder_ = holder;
    const std::string reason =
        emptyRead_           ? "the unit answered \"SM\" to \"Y\" but nothing of the full read; retrying"
        : opener_.lastOpened ? "no Smart-UPS answers on the port (no \"SM\" to \"Y\"); retrying"
        : holder             ? "cannot open the port: its UUCP lock file names process " + std::to_string(holder->pid) +
                                   (holder->program.empty() ? "" : " (" + holder->program + ")") +
                                   ", which is alive; if that process does not use the port, remove the lock "
                                   "file; retrying"
                             : "cannot open the port (absent, busy or not permitted); retrying";
    if (reason == lastReason) return;  // logged once, not on every try
    lastReason = reason;
    log_.Record(Event{{}, label_, "unavailable", reason, {}});
}

bool UnitWorker::Connect()
{
    emptyRead_ = false;
    if (!OpenAndRead(session_, port_, 1)) return false;
    ReadPowerReturn(session_, port_);
    const double now = port_.clock().UnixSeconds();
    const apcrec record = session_.table.Record(0);
    // "SM" to "Y" and then silence (or only answers that may be others'):
    // nothing is known of the unit, so it is neither up nor connected.
    emptyRead_ = record.settled.none();
    if (emptyRead_) {
        port_.ClosePort(session_.hCom);
        session_.hCom = nullptr;
        return false;
    }
    signs_.linkResumed = true;  // alerts sent while the link was lost went unheard
    lockHolder_.reset();
    Publish([&](UnitSnapshot& s) {
        s.lockHolder.reset();
        s.identified = true;
        s.up = true;
        s.lastGoodSeconds = now;
        s.slots = record.slot;
        s.settled = record.slot;
    });
    Record("connected", UnitText(record.slot[kSlotModel]) + ", serial " + UnitText(record.slot[kSlotSerial]));
    if (protector_) protector_->Identified(record.slot[kSlotSerial]);
    return true;
}

bool UnitWorker::Poll()
{
    linkLost_ = false;
    session_.requests.stopRequest = false;
    if (!stopping_) loop_.Execute();  // a stop asked after this check ends it after one pass
    if (linkLost_ || session_.requests.lineGone) {  // the device went mid-cycle: polled again
        if (!linkLost_) DeviceGone();
        port_.ClosePort(session_.hCom);
        session_.hCom = nullptr;
        // Nothing asked of this connection may reach the next one.
        session_.requests.ClearConnectionRequests();
        AnswerControl(std::nullopt);
        return stopping_;
    }
    CloseConnection(session_, port_);
    AnswerControl(std::nullopt);
    return true;
}

void UnitWorker::DeviceGone()
{
    // Most often seen between two cycles, which then got their answers: its
    // readings are no longer current, though the last good time stays.
    Publish([](UnitSnapshot& s) {
        s.up = false;
        ++s.linkLosses;
        s.outage.Unseen();
    });
    Record("link_lost", "the port's device went away; reconnecting once it is back");
}

void UnitWorker::Beat()
{
    lastBeatMs_ = port_.clock().NowMs();
}

void UnitWorker::CycleRead()
{
    Beat();
    // An answer withheld as maybe another command's still shows the unit is there.
    const bool answered = std::any_of(std::begin(kCycleSlots), std::end(kCycleSlots),
                                      [this](int slot) { return loop_.Answered(slot); });
    const double now = port_.clock().UnixSeconds();
    const apcrec record = session_.table.Record(0);
    Publish([&](UnitSnapshot& s) {
        s.up = answered;
        s.slots = record.slot;
        for (int slot = 1; slot <= kSlotCount; ++slot)
            if (loop_.Settled(slot)) s.settled[slot] = record.slot[slot];
        for (const int slot : kCycleSlots)
            if (!loop_.Settled(slot)) s.settled[slot].clear();
        if (answered) {
            s.lastGoodSeconds = now;
            s.outage.Status(ParseStatus(record.slot[kSlotStatus]), now);
        } else {
            ++s.linkLosses;
            s.outage.Unseen();
        }
    });
    log_.FlushDue();
    {
        // A test request is served at the start of a cycle; its status is read in it.
        std::lock_guard lock(controlMutex_);
        if (awaiting_ == Awaiting::Test && !session_.requests.cmdPending.load())
            controlAnswer_.emplace(answered ? std::optional<Bytes>(acknowledgement_) : std::nullopt);
    }
    controlAnswered_.notify_all();
    if (answered) {
        if (protector_) protector_->Cycle(SettledReading());
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
    reading.signs = std::exchange(signs_, {});
    return reading;
}

void UnitWorker::Alert(const Bytes& token)
{
    if (token == kLowBatteryAlert) lowBatteryAlert_ = true;
    const int row = AlertRow(token);
    if (row == kMainsFailureRow) signs_.mainsFailureAlert = true;
    if (row < 0) {  // an acknowledgement
        std::lock_guard lock(controlMutex_);
        if (awaiting_ == Awaiting::Test) acknowledgement_ = token;
        return;
    }
    const double now = port_.clock().UnixSeconds();
    Publish([row, now](UnitSnapshot& s) {
        ++s.alerts[row];
        if (row == kMainsFailureRow) s.outage.MainsFailure(now);
    });
    log_.RecordAlert(UnitEvent(kAlertNames[row], alertTable[row].message));
}

void UnitWorker::TestAnswered(const Bytes& command, const Bytes& answer)
{
    bool accepted = answer == "OK";
    {
        std::lock_guard lock(controlMutex_);
        accepted = accepted || (awaiting_ == Awaiting::Test && acknowledgement_ == "OK");
    }
    if (!accepted) return;
    if (command == cmd::kTestBattery) signs_.selfTestStarted = true;
    if (command == cmd::kTestMainsFailure) signs_.simulatedFailureStarted = true;
}

void UnitWorker::WaitBeforeRetry(int ms)
{
    for (int waited = 0; waited < ms && !stopping_; waited += kRetryStepMs) {
        port_.clock().Sleep(kRetryStepMs);
        Beat();
    }
}

void UnitWorker::ChangeDone()
{
    // The window's completion: the read-back is filtered and stored in the
    // record, and only then is the request released.
    CompleteChange(session_);
    const apcrec record = session_.table.Record(0);
    Publish([&](UnitSnapshot& s) { s.slots = record.slot; });
    AnswerControl(session_.requests.changeAnswer.Get());
}

void UnitWorker::AnswerControl(std::optional<Bytes> answer)
{
    {
        std::lock_guard lock(controlMutex_);
        if (awaiting_ == Awaiting::Nothing) return;
        controlAnswer_.emplace(std::move(answer));
    }
    controlAnswered_.notify_all();
}

std::optional<Bytes> UnitWorker::PerformChange(const ChangeRequestTexts& request, int patienceMs)
{
    std::lock_guard one(controlOne_);
    {
        std::lock_guard lock(controlMutex_);
        awaiting_ = Awaiting::Change;
        controlAnswer_.reset();
    }
    session_.requests.PostChange(request.changeCmd, request.changeField, request.changeValue);
    return AwaitControl(patienceMs);
}

std::optional<Bytes> UnitWorker::PerformTest(const Bytes& command, Bytes& status, int patienceMs)
{
    std::lock_guard one(controlOne_);
    {
        std::lock_guard lock(controlMutex_);
        awaiting_ = Awaiting::Test;
        acknowledgement_.clear();
        controlAnswer_.reset();
    }
    session_.requests.PostCommand(command);
    auto answer = AwaitControl(patienceMs);
    status = session_.table.Slot(kSlotStatus);
    return answer;
}

std::optional<Bytes> UnitWorker::AwaitControl(int patienceMs)
{
    std::unique_lock lock(controlMutex_);
    const bool answered = controlAnswered_.wait_for(lock, std::chrono::milliseconds(patienceMs),
                                                    [this] { return controlAnswer_.has_value() || stopping_; });
    awaiting_ = Awaiting::Nothing;
    if (answered && controlAnswer_) return *controlAnswer_;
    // Not performed in time (a unit that will not enter programming mode,
    // a lost link): withdrawn, so it cannot be carried out later unasked.
    session_.requests.eepromChange = false;
    session_.requests.cmdPending = false;
    return std::nullopt;
}

}  // namespace tornavel::service
