#pragma once
#include <memory>
#include <optional>
#include <string>

#include "periodicthread.h"
#include "protection/attachedfollowers.h"
#include "protection/protector.h"

namespace tornavel::service {

// What a follower remembers between two reads of its primary: a reading is
// new only when the primary has answered a new cycle since, and a runtime only
// when it differs from the one already counted (the primary publishes its
// last runtime between the reads of that slot); its counters tell whether the
// unit sent "!" or lost its link in between.
struct FollowMemory {
    std::optional<double> lastGood;
    std::optional<double> runtime;
    std::optional<double> mainsFailures;
    std::optional<double> linkLosses;
};

// One unit's state in the primary's metrics text, as a policy reading; nothing
// when the unit is not up there or no new cycle was answered since the last read.
std::optional<PolicyReading> ReadingFromMetrics(const std::string& text, const std::string& port, FollowMemory& memory);

// Where a follower reads its primary's unit.
class FollowSource {
public:
    virtual ~FollowSource() = default;
    // The unit's state now: nothing with an empty error when the primary
    // answered without a new reading, nothing with an error when it could
    // not be read.
    virtual std::optional<PolicyReading> Read(std::string& error) = 0;
    // The follower stops: a source that attached to its primary leaves.
    virtual void Leave() {}
};

// Another monitor's /metrics, over http or https.
class MetricsSource : public FollowSource {
public:
    // `credentials` is USER:PASSWORD for a primary that asks for them, or empty.
    MetricsSource(const ProtectOptions& options, std::string credentials);
    ~MetricsSource() override;
    std::optional<PolicyReading> Read(std::string& error) override;
    void Leave() override;

private:
    // The primary's metrics, read with `visit` saying who asks.
    std::optional<std::string> Fetch(const FollowerVisit& visit, long timeoutSeconds, std::string& error) const;

    const std::string url_;
    const std::string port_;
    const std::optional<std::string> ca_;
    const std::string credentials_;  // USER:PASSWORD, or empty
    const int everySeconds_;
    const FollowerVisit visit_;  // how this follower names itself to the primary
    FollowMemory memory_;
};

// A host without the cable: reads the primary every few seconds and applies
// the same policy to the one unit it names. A primary that cannot be read
// gives no reading, which the policy counts towards a lost link.
class Follower {
public:
    Follower(const ProtectOptions& options, std::unique_ptr<FollowSource> source, Protector& protector, EventLog& log);
    ~Follower();

    void Start();
    void Stop();

private:
    // One read of the primary, handed to the policy.
    void Read();

    const std::string url_;
    const std::string port_;
    std::unique_ptr<FollowSource> source_;
    const int everySeconds_;
    Protector& protector_;
    EventLog& log_;
    std::string lastError_;  // the reader's: an error is logged once, not on every try
    PeriodicThread reader_;  // last: it ends before what it uses
};

}  // namespace tornavel::service
