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
class Protector {
public:
    // `device` is the unit's device for the power-off at the very end of the
    // shutdown; empty for a followed unit, which this host never touches.
    Protector(std::string port, std::string device, const ProtectOptions& options, EventLog& log,
              std::string bootId);

    // From the unit's thread after each answered cycle, and from a Tick thread.
    void Cycle(const PolicyReading& reading, double nowSeconds);
    void Tick(double nowSeconds);

    // Decided and recorded (never in a dry run): published as shutdown_pending.
    bool Pending() const { return pending_.load(std::memory_order_acquire); }
    const std::string& port() const { return port_; }

private:
    void CarryOut(const std::string& reason);
    std::string FlagPath() const { return stateDir_ + "/shutdown"; }

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
};

}  // namespace tornavel::service
