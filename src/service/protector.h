#pragma once
#include <atomic>
#include <mutex>
#include <string>

#include "eventlog.h"
#include "protectoptions.h"
#include "shutdownpolicy.h"

namespace tornavel::service {

// Host protection for one unit (watched here, or followed on a primary):
// feeds the policy and carries its decision out once. Carrying out means
// recording the decision where the root tornavel-shutdown service acts on it,
// then the "shutdown" event; a dry run only logs "shutdown_dry_run". A
// decision recorded earlier in this boot (the service restarted during the
// outage) is kept and never taken twice.
//
// A cancel (tornavelctl cancel-shutdown) withdraws a recorded decision: its
// file is renamed to "cancelled", and from then on, restarts of the service
// in this boot included, nothing is decided for the unit until a reading
// shows it back on mains; then protection resumes with a fresh policy. So a
// cancelled shutdown is not decided again at once, on the same outage.
class Protector {
public:
    // `device` is the unit's device for the power-off at the very end of the
    // shutdown; empty for a followed unit, which this host never touches.
    Protector(std::string port, std::string device, const ProtectOptions& options, EventLog& log,
              std::string bootId);

    // From the unit's thread after each answered cycle, and from a Tick thread.
    void Cycle(const PolicyReading& reading, double nowSeconds);
    void Tick(double nowSeconds);

    // The unit's serial number, from its full read at each connection:
    // recorded with a decision, so the power-off at the end reaches only it.
    void Identified(std::string serial);

    enum class Cancelled { NothingPending, Withdrawn, Failed };
    // From the control socket; `error` says why a withdrawal failed.
    Cancelled Cancel(std::string& error);

    // Decided and recorded (never in a dry run): published as shutdown_pending.
    bool Pending() const { return pending_.load(std::memory_order_acquire); }
    const std::string& port() const { return port_; }

private:
    void CarryOut(const std::string& reason);
    // While held after a cancel: false, or true once the unit is back on mains.
    bool Resumes(const PolicyReading& reading);
    std::string FlagPath() const { return stateDir_ + "/shutdown"; }
    std::string CancelledPath() const { return stateDir_ + "/cancelled"; }

    const std::string port_;
    const std::string device_;
    const std::string stateDir_;
    const bool dryRun_;
    const std::string bootId_;
    const ProtectLimits limits_;
    EventLog& log_;
    std::mutex mutex_;
    ShutdownPolicy policy_;
    std::atomic<bool> pending_{false};
    std::string serial_;   // guarded by mutex_
    bool held_ = false;    // guarded by mutex_: cancelled, waiting for the mains
};

}  // namespace tornavel::service
