#pragma once
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "app/monitoroptions.h"
#include "app/systemdnotify.h"
#include "clock.h"
#include "control/controlsocket.h"
#include "events/eventlog.h"
#include "events/hookrunner.h"
#include "periodicthread.h"
#include "protection/attachedfollowers.h"
#include "protection/follower.h"
#include "protection/followersdone.h"
#include "protection/hostshutdown.h"
#include "protection/protector.h"
#include "publish/httpendpoint.h"
#include "publish/monitorcounters.h"
#include "publish/textfile.h"
#include "serial/serialdevice.h"
#include "units/unitworker.h"
#include "upsnet/attachments.h"
#include "upsnet/clientsession.h"
#include "upsnet/upsserver.h"

namespace tornavel::service {

// The whole service: one worker thread per unit, the metrics endpoint, the
// text file, the event log and the event program.
class Monitor {
public:
    explicit Monitor(MonitorOptions options);
    ~Monitor();

    // Listens and writes the text file once; false with a one-line reason.
    bool Open(std::string& error);
    // Starts the units' threads.
    void Start();
    // Every unit leaves smart mode and closes its port; then the text file
    // is written with every unit down and no readings, and event programs get
    // at most kHookStopMs more.
    void Stop();
    // Writes the text file anew (after SIGHUP, e.g. once it was removed).
    void Reopen();
    // Ends every running event program at once (a second stop signal).
    void Abandon();

    // What /metrics serves: the units, the build and the process.
    std::string Metrics() const;

    static constexpr int kHookStopMs = 3000;

private:
    // The units, the build and the monitor's counters: what the text file
    // holds too. `stopped`: every unit down, without readings.
    std::string UnitMetrics(bool stopped = false) const;
    MonitorCounters Counters() const;
    void Published();
    void WriteTextfile(bool stopped);
    bool OpenControlSocket(std::string& error);
    void Protect();
    void TickProtectors();  // once
    bool OpenUpsServer(std::string& error);
    // The units as the UPS network protocol serves them.
    std::vector<upsnet::ServedUnit> ServedUnits() const;
    void FollowerVisited(const std::string& header);

    MonitorOptions options_;
    std::unique_ptr<HookRunner> hooks_;
    EventLog log_;
    SteadyClock clock_;
    AttachedFollowers followers_{clock_};
    std::optional<FollowersDone> followersDone_;  // the ticker's only
    std::vector<std::unique_ptr<PortOpener>> openers_;
    std::vector<std::unique_ptr<UnitWorker>> workers_;
    std::vector<std::thread> threads_;
    std::unique_ptr<HostShutdown> host_;
    std::vector<std::unique_ptr<Protector>> protectors_;
    std::unique_ptr<Follower> follower_;
    std::string protectError_;  // found while setting protection up, reported by Open
    // systemd: READY=1 once the units run, STOPPING=1 at a stop, and the
    // watchdog fed at half its interval while every unit's thread is alive.
    void FeedWatchdog(long long intervalMs);  // once
    SystemdNotifier notifier_ = SystemdNotifier::FromEnvironment();
    PeriodicThread watchdog_;
    PeriodicThread ticker_;  // the protectors' and the followers-done file's every second
    std::vector<std::unique_ptr<MetricsEndpoint>> endpoints_;
    std::string listening_;  // the endpoints' URLs, for the start line
    std::unique_ptr<ControlSocket> control_;
    upsnet::Attachments attachments_{&followers_};
    upsnet::SessionContext upsContext_;
    std::unique_ptr<upsnet::UpsServer> upsServer_;
    std::optional<TextfileWriter> textfile_;
    std::mutex textfileMutex_;
    bool textfileFailing_ = false;
    std::atomic<std::uint64_t> textfileErrors_{0};
};

}  // namespace tornavel::service
