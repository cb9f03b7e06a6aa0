#pragma once
#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <string>

#include "clock.h"
#include "events/eventlog.h"
#include "monitor/pollingloop.h"
#include "protection/protector.h"
#include "serial/comport.h"
#include "serial/notingopener.h"
#include "session.h"
#include "settings/fieldrules.h"
#include "shared/quietscreen.h"
#include "units/unitsnapshot.h"

namespace tornavel::service {

// One unit, on its own thread: the same connection, full read and polling
// loop as the window's, whose events it takes directly. A cycle without any
// answer ends the loop; the port is closed and reopened with a growing pause
// (1 s doubling up to 30 s) until "Y" gets "SM" and a full read is done
// again; a full read without a single answer counts as no unit there. A
// stop makes the unit leave smart mode ("R"), waits a second and
// closes the port, as the window's "стоп" does.
class UnitWorker final : private PollEvents {
public:
    static constexpr int kFirstRetryMs = 1000;
    static constexpr int kLongestRetryMs = 30000;
    // A pause before a retry is cut into steps so a stop ends it early.
    static constexpr int kRetryStepMs = 100;

    // `number` is the COM number for the opener (any for a device path).
    // `published` runs on this unit's thread after each new snapshot.
    UnitWorker(std::string label, int number, PortOpener& opener, Clock& clock, EventLog& log,
               std::function<void()> published);

    // Feeds host protection after each answered cycle; before Run.
    void Protect(Protector& protector) { protector_ = &protector; }
    // The thread body; returns after a stop.
    void Run();
    // From any thread.
    void RequestStop();
    UnitSnapshot Snapshot() const;
    // The clock's time when this unit's thread last showed life: a monitoring
    // cycle, a connection attempt, a step of the pause before a retry.
    std::int64_t LastBeatMs() const { return lastBeatMs_; }

    // Requests of the control socket, from its thread, one at a time: handed
    // to this unit's polling loop as the window hands its requests, and
    // performed between two cycles. nullopt when the loop did not perform
    // it within `patienceMs` (it is then withdrawn) or the link was lost.
    static constexpr int kControlPatienceMs = 30000;
    // A change request's read-back, after the alert filter.
    std::optional<Bytes> PerformChange(const ChangeRequestTexts& request, int patienceMs = kControlPatienceMs);
    // A test command's acknowledgement ("OK", "NO", or empty) and the status
    // read in the same cycle.
    std::optional<Bytes> PerformTest(const Bytes& command, Bytes& status, int patienceMs = kControlPatienceMs);

private:
    bool Connect();
    // Polls until the link is lost (false) or a stop is asked (true).
    bool Poll();
    // What the connection and the polling loop report, on this unit's thread.
    void FullReadProgress(int slot) override;
    void CycleRead(const CycleReport& cycle) override;
    void ChangeDone(const Bytes& readBack) override;
    void Alert(const Bytes& token) override;
    // The port's device vanished (an adapter pulled) while the unit was up.
    void LineGone() override;
    void DeviceGone();
    // Hands a control request to the loop and waits for its answer.
    enum class Awaiting { Nothing, Change, Test };
    std::optional<Bytes> AwaitControl(Awaiting kind, const std::function<void()>& post, int patienceMs);
    // Ends the wait of the control request being served, if any: `result`
    // is its outcome, nullopt when it was not performed.
    void AnswerControl(std::optional<Bytes> result);
    PolicyReading SettledReading(const CycleReport& cycle);
    // A test or calibration command this worker sent, with the unit's answer.
    void TestAnswered(const Bytes& command, const Bytes& answer) override;
    void Unavailable(std::string& lastReason);
    void WaitBeforeRetry(int ms);
    void Beat();
    Event UnitEvent(const std::string& name, const std::string& message) const;
    void Record(const std::string& name, const std::string& message);
    template <typename Change>
    void Publish(Change change);

    const std::string label_;
    NotingOpener opener_;
    EventLog& log_;
    std::function<void()> published_;
    QuietScreen screen_;
    Session session_;
    ComPort port_;
    PollingLoop loop_;
    std::atomic<bool> stopping_{false};
    std::atomic<std::int64_t> lastBeatMs_;
    bool linkLost_ = false;                 // this thread only
    bool emptyRead_ = false;                // this thread only: the last full read got no answer
    std::optional<LockHolder> lockHolder_;  // this thread only: as published
    Protector* protector_ = nullptr;
    bool lowBatteryAlert_ = false;  // this thread only: a "%" since the last cycle
    DeliberateRun::Signs signs_;    // this thread only: since the last cycle
    mutable std::mutex mutex_;
    UnitSnapshot snapshot_;

    std::mutex controlOne_;  // one control request at a time
    std::mutex controlMutex_;
    std::condition_variable controlWake_;
    Awaiting awaiting_ = Awaiting::Nothing;  // cleared once answered
    std::optional<Bytes> controlResult_;
    Bytes acknowledgement_;  // of the test being served
};

}  // namespace tornavel::service
