#pragma once
#include <mutex>
#include <optional>
#include <string>

#include "clock.h"
#include "events/eventlog.h"
#include "protection/hostshutdown.h"
#include "protection/outagestate.h"
#include "protection/protectoptions.h"
#include "protection/shutdownpolicy.h"

namespace tornavel::service {

// Host protection for one unit (watched here, or followed on a primary):
// feeds the unit's policy, tells the host's decision when the unit can no
// longer feed it and when it is back on line, and keeps the unit's outage
// across a restart of the service. Every interval is measured on `clock`'s
// monotonic time. A unit lost stays lost, whatever else it shows, until a
// reading shows it back on mains: after a cancel (tornavelctl
// cancel-shutdown), restarts of the service in this boot included, the same
// outage decides nothing again.
class Protector {
public:
    // `device` is the unit's device for the power-off at the very end of the
    // shutdown; empty for a followed unit, which this host never touches.
    // `outageFile` keeps the unit's outage (none in a dry run).
    Protector(std::string port, std::string device, const ProtectOptions& options, HostShutdown& host, EventLog& log,
              const Clock& clock, std::optional<OutageState> outageFile);

    // From the unit's thread after each answered cycle, and from a Tick thread.
    void Cycle(const PolicyReading& reading);
    void Tick();

    // The unit's serial number, from its full read at each connection:
    // recorded with a decision, so the power-off at the end reaches only it.
    void Identified(std::string serial);

    const std::string& port() const { return port_; }

private:
    double Now() const { return static_cast<double>(clock_.NowMs()) / 1000.0; }
    void Lost(const std::string& reason);
    void SaveOutage();

    const std::string port_;
    const std::string device_;
    const ProtectLimits limits_;
    HostShutdown& host_;
    EventLog& log_;
    const Clock& clock_;
    const std::optional<OutageState> outageFile_;
    std::mutex mutex_;
    ShutdownPolicy policy_;
    std::string serial_;
    bool lost_ = false;  // the host was told this unit can no longer feed it (or a cancel holds it)
    ShutdownPolicy::Outage saved_;
    bool saveFailing_ = false;
};

}  // namespace tornavel::service
