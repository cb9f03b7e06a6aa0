#include "units/unitworker.h"

#include <algorithm>
#include <chrono>
#include <utility>

#include "events/alertnames.h"
#include "monitor/readings.h"
#include "protocol/commands.h"
#include "protocol/connection.h"
#include "readings/readingtable.h"
#include "settings/changestore.h"
#include "units/unittext.h"

namespace tornavel::service {

namespace {

// The unit's own alert that its battery is low.
const Bytes kLowBatteryAlert = "%";

}  // namespace

UnitWorker::UnitWorker(std::string label, int number, PortOpener& opener, Clock& clock, EventLog& log,
                       std::function<void()> published)
    : label_(std::move(label)),
      opener_(opener),
      log_(log),
      published_(std::move(published)),
      session_(screen_),
      port_(opener_, clock),
      loop_(session_, port_),
      lastBeatMs_(clock.NowMs())
{
    session_.table.Add(number);
    session_.table.SetApcIndex(0);
    session_.events = this;
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
    return Event{{},
                 label_,
                 name,
                 message,
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
    const std::string reason = emptyRead_ ? "the unit answered \"SM\" to \"Y\" but nothing of the full read; retrying"
                               : opener_.lastOpened ? "no Smart-UPS answers on the port (no \"SM\" to \"Y\"); retrying"
                               : holder
                                   ? "cannot open the port: its UUCP lock file names process " +
                                         std::to_string(holder->pid) +
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
    if (linkLost_) {                  // silent, or the device went mid-cycle: polled again
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

void UnitWorker::FullReadProgress(int)
{
    Beat();
}

void UnitWorker::LineGone()
{
    if (!linkLost_) DeviceGone();
    linkLost_ = true;
}

void UnitWorker::CycleRead(const CycleReport& cycle)
{
    Beat();
    // A cycle in which none of the values it reads every time got an answer
    // is a cycle without an answer; an answer withheld as maybe another
    // command's still shows the unit is there.
    const auto readings = Readings();
    const bool answered = std::any_of(readings.begin(), readings.end(), [&](const Reading& reading) {
        return reading.refresh == Refresh::EveryCycle && cycle.answered[reading.slot];
    });
    const double now = port_.clock().UnixSeconds();
    const apcrec record = session_.table.Record(0);
    Publish([&](UnitSnapshot& s) {
        s.up = answered;
        s.slots = record.slot;
        // A value read every cycle and not settled in this one is withheld;
        // any other keeps its last settled answer.
        for (const Reading& reading : readings)
            if (cycle.settled[reading.slot])
                s.settled[reading.slot] = record.slot[reading.slot];
            else if (reading.refresh == Refresh::EveryCycle)
                s.settled[reading.slot].clear();
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
        if (awaiting_ == Awaiting::Test && !session_.requests.cmdPending.load()) {
            controlResult_ = answered ? std::optional<Bytes>(acknowledgement_) : std::nullopt;
            awaiting_ = Awaiting::Nothing;
        }
    }
    controlWake_.notify_all();
    if (answered) {
        if (protector_) protector_->Cycle(SettledReading(cycle));
        return;
    }
    linkLost_ = true;
    session_.requests.stopRequest = true;  // the loop ends after this pass
    Record("link_lost", "no answer for a whole monitoring cycle; reconnecting");
}

PolicyReading UnitWorker::SettledReading(const CycleReport& cycle)
{
    const auto settled = [&](int slot) { return cycle.settled[slot] ? session_.table.Slot(slot) : Bytes(); };
    PolicyReading reading;
    reading.status = ParseStatus(settled(kSlotStatus));
    reading.chargePercent = ReadingValue(ReadingOf(kSlotCharge), settled(kSlotCharge));
    reading.runtimeSeconds = ReadingValue(ReadingOf(kSlotRuntime), settled(kSlotRuntime));
    reading.lowBatteryAlert = std::exchange(lowBatteryAlert_, false);
    reading.signs = std::exchange(signs_, {});
    return reading;
}

void UnitWorker::Alert(const Bytes& token)
{
    if (token == kLowBatteryAlert) lowBatteryAlert_ = true;
    const int row = AlertRow(token);
    if (row == kMainsFailureRow) signs_.mainsFailureAlert = true;
    if (row < 0) {  // an acknowledgement: the answer of the test being served
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

void UnitWorker::ChangeDone(const Bytes&)
{
    // As the window completes a change: the read-back is filtered and stored
    // in the record, and only then is the request released.
    CompleteChange(session_);
    const apcrec record = session_.table.Record(0);
    Publish([&](UnitSnapshot& s) { s.slots = record.slot; });
    AnswerControl(session_.requests.changeAnswer.Get());
}

void UnitWorker::AnswerControl(std::optional<Bytes> result)
{
    {
        std::lock_guard lock(controlMutex_);
        if (awaiting_ == Awaiting::Nothing) return;
        controlResult_ = std::move(result);
        awaiting_ = Awaiting::Nothing;
    }
    controlWake_.notify_all();
}

std::optional<Bytes> UnitWorker::PerformChange(const ChangeRequestTexts& request, int patienceMs)
{
    return AwaitControl(
        Awaiting::Change, [&] { session_.requests.PostChange(request.changeCmd, request.changeValue); }, patienceMs);
}

std::optional<Bytes> UnitWorker::PerformTest(const Bytes& command, Bytes& status, int patienceMs)
{
    auto answer = AwaitControl(
        Awaiting::Test, [&] { session_.requests.PostCommand(command); }, patienceMs);
    status = session_.table.Slot(kSlotStatus);
    return answer;
}

std::optional<Bytes> UnitWorker::AwaitControl(Awaiting kind, const std::function<void()>& post, int patienceMs)
{
    std::lock_guard one(controlOne_);
    std::unique_lock lock(controlMutex_);
    awaiting_ = kind;
    acknowledgement_.clear();
    controlResult_.reset();
    lock.unlock();
    post();
    lock.lock();
    controlWake_.wait_for(lock, std::chrono::milliseconds(patienceMs),
                          [this] { return awaiting_ == Awaiting::Nothing || stopping_; });
    if (awaiting_ == Awaiting::Nothing) return controlResult_;
    awaiting_ = Awaiting::Nothing;
    // Not performed in time (a unit that will not enter programming mode,
    // a lost link): withdrawn, so it cannot be carried out later unasked.
    session_.requests.eepromChange = false;
    session_.requests.cmdPending = false;
    return std::nullopt;
}

}  // namespace tornavel::service
