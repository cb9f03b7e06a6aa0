#include "app/monitor.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>

#include "control/controlprotocol.h"
#include "control/controlrequests.h"
#include "protection/shutdownflag.h"
#include "publish/metricstext.h"
#include "publish/monitorcounters.h"
#include "publish/selfmetrics.h"
#include "publish/webconfig.h"
#include "serial/portmap.h"
#include "serial/posixport.h"
#include "tornavel_version.h"
#include "upsnet/followermetrics.h"
#include "upsnet/upsfollow.h"
#include "upsnet/upsurl.h"

namespace tornavel::service {

namespace {

std::unique_ptr<PortOpener> OpenerFor(const UnitPort& unit, const std::optional<std::string>& portsDir)
{
    if (unit.number > 0) return std::make_unique<PosixPortOpener>(PortMap(portsDir));
    return std::make_unique<DevicePathOpener>(unit.path);
}

std::string ListenText(const ListenAddress& address, int port)
{
    return address.text.substr(0, address.text.rfind(':') + 1) + std::to_string(port);
}

}  // namespace

Monitor::Monitor(MonitorOptions options)
    : options_(std::move(options)),
      hooks_(options_.onEvent
                 ? std::make_unique<HookRunner>(
                       *options_.onEvent, options_.hookTimeoutSeconds * 1000,
                       [this](const std::string& name, const std::string& message) { log_.Note("-", name, message); })
                 : nullptr),
      log_(stdout, hooks_.get(), StreamIsJournal(STDOUT_FILENO, std::getenv("JOURNAL_STREAM")))
{
    if (options_.textfile) textfile_.emplace(*options_.textfile);
    for (const UnitPort& unit : options_.units) {
        openers_.push_back(OpenerFor(unit, options_.portsDir));
        workers_.push_back(std::make_unique<UnitWorker>(unit.label, unit.number, *openers_.back(), clock_, log_,
                                                        [this] { Published(); }));
    }
    Protect();
}

void Monitor::Protect()
{
    const ProtectOptions& protection = options_.protection;
    if (!protection.Enabled()) return;
    const std::string bootId = CurrentBootId(protection.bootIdFile);
    const int units = static_cast<int>(protection.protect.size()) + (protection.followUrl ? 1 : 0);
    host_ = std::make_unique<HostShutdown>(protection, units, bootId, log_);
    if (!protection.dryRun) {
        // Followers are known by their scrapes: a monitor without units has
        // none, one with units gives them time to come back after a start.
        const std::string donePath = protection.stateDir + "/followers-done";
        if (!host_->Pending()) ::unlink(donePath.c_str());  // left from an earlier decision
        const double listenFor = workers_.empty() ? 0 : FollowerPatienceSeconds(ProtectOptions{}.followEverySeconds);
        followersDone_.emplace(donePath, bootId, log_, static_cast<double>(clock_.NowMs()) / 1000.0 + listenFor);
    }
    auto outageFile = [&](const std::string& name) -> std::optional<OutageState> {
        if (protection.dryRun) return std::nullopt;
        return OutageState(protection.stateDir + "/outage-" + FileNameOf(name), bootId);
    };
    for (std::size_t i = 0; i < options_.units.size(); ++i) {
        const UnitPort& unit = options_.units[i];
        if (std::find(protection.protect.begin(), protection.protect.end(), unit.label) == protection.protect.end())
            continue;
        protectors_.push_back(std::make_unique<Protector>(unit.label, UnitDevice(unit, options_.portsDir), protection,
                                                          *host_, log_, clock_, outageFile(unit.label)));
        workers_[i]->Protect(*protectors_.back());
    }
    if (protection.followUrl) {
        const auto upsUrl = upsnet::ParseUpsUrl(*protection.followUrl);
        // A unit followed over the UPS network protocol is labelled by its name there.
        const std::string port = upsUrl ? upsUrl->name : protection.followPort;
        protectors_.push_back(
            std::make_unique<Protector>(port, "", protection, *host_, log_, clock_, outageFile("follow-" + port)));
        std::string credentials;
        if (protection.followAuth) {
            std::ifstream file(*protection.followAuth);
            const bool read = static_cast<bool>(std::getline(file, credentials));
            if (!read || (!upsUrl && credentials.find(':') == std::string::npos))
                protectError_ = "--follow-auth " + *protection.followAuth + ": no " +
                                (upsUrl ? "password" : "USER:PASSWORD") + " line to read";
        }
        std::unique_ptr<FollowSource> source;
        if (upsUrl)
            source = std::make_unique<upsnet::UpsFollowSource>(
                *upsUrl, upsnet::PasswordFromLine(credentials, upsUrl->user), protection.followCa,
                std::min(protection.followEverySeconds * 2, 10));
        else
            source = std::make_unique<MetricsSource>(protection, credentials);
        ProtectOptions labelled = protection;
        labelled.followPort = port;
        follower_ = std::make_unique<Follower>(labelled, std::move(source), *protectors_.back(), log_);
    }
}

void Monitor::TickProtectors()
{
    for (auto& protector : protectors_) protector->Tick();
    if (!followersDone_) return;
    if (host_->Pending())
        followersDone_->Check(followers_.Attached(), static_cast<double>(clock_.NowMs()) / 1000.0);
    else
        followersDone_->Reset();  // cancelled: a later decision waits again
}

void Monitor::FollowerVisited(const std::string& header)
{
    const auto visit = ParseFollowerVisit(header);
    if (!visit) return;
    const std::string id = "http:" + visit->name;
    // A follower in a dry run never powers its host off: nothing to wait for.
    if (visit->leaving || visit->dryRun)
        followers_.Detach(id);
    else
        followers_.Seen(id, FollowerPatienceSeconds(visit->everySeconds));
}

Monitor::~Monitor()
{
    Stop();
}

bool Monitor::Open(std::string& error)
{
    // A decision that cannot be recorded would never be carried out: refused
    // at start rather than found out during an outage.
    const ProtectOptions& protection = options_.protection;
    if (!protectError_.empty()) {
        error = protectError_;
        return false;
    }
    if (protection.Enabled() && !protection.dryRun && ::access(protection.stateDir.c_str(), W_OK) != 0) {
        error = "host protection: cannot write the state directory " + protection.stateDir + ": " +
                std::strerror(errno);
        return false;
    }
    for (const ListenAddress& address : options_.listen) {
        auto endpoint = MetricsEndpoint::Start(
            address, [this] { return Metrics(); }, error, options_.web,
            [this](const std::string& header) { FollowerVisited(header); });
        if (!endpoint) return false;
        listening_ += (options_.web.certPem.empty() ? " http://" : " https://") +
                      ListenText(address, endpoint->port()) + "/metrics";
        endpoints_.push_back(std::move(endpoint));
    }
    if (!OpenUpsServer(error)) return false;
    if (textfile_ && !textfile_->Write(UnitMetrics(), error)) return false;
    return OpenControlSocket(error);
}

bool Monitor::OpenUpsServer(std::string& error)
{
    const upsnet::ServerOptions& server = options_.upsServer;
    if (!server.Enabled()) return true;
    upsContext_.units = [this] { return ServedUnits(); };
    upsContext_.users = server.users;
    upsContext_.decoyHash = server.decoyHash;
    upsContext_.passwordMatches = PasswordMatches;
    upsContext_.attachments = &attachments_;
    upsContext_.version = "Tornavel monitor " TORNAVEL_VERSION " (RFC 9271, read-only)";
    upsServer_ = upsnet::UpsServer::Start(server, upsContext_, error);
    if (!upsServer_) return false;
    for (std::size_t i = 0; i < server.listen.size(); ++i)
        listening_ += " ups://" + ListenText(server.listen[i], upsServer_->ports()[i]);
    return true;
}

std::vector<upsnet::ServedUnit> Monitor::ServedUnits() const
{
    std::vector<upsnet::ServedUnit> units;
    for (std::size_t i = 0; i < workers_.size(); ++i) {
        upsnet::ServedUnit unit{options_.units[i].name, workers_[i]->Snapshot(), false};
        if (unit.name.empty()) unit.name = options_.units[i].label;
        unit.snapshot.unit = options_.units[i].name;
        // The forced shutdown of a unit that protects this host, once this
        // host's shutdown is decided and recorded: its followers go first.
        const auto& protect = options_.protection.protect;
        unit.forcedShutdown = host_ && host_->Pending() &&
                              std::find(protect.begin(), protect.end(), options_.units[i].label) != protect.end();
        units.push_back(std::move(unit));
    }
    return units;
}

bool Monitor::OpenControlSocket(std::string& error)
{
    std::optional<std::string> path = options_.controlSocket;
    if (const char* runtime = std::getenv("RUNTIME_DIRECTORY"); !path && runtime && *runtime) {
        const std::string directories = runtime;  // systemd lists them with ':'
        path = directories.substr(0, directories.find(':')) + "/control";
    }
    if (!path) return true;
    std::vector<ControlledUnit> units;
    for (std::size_t i = 0; i < workers_.size(); ++i)
        units.push_back({options_.units[i].label, UnitDevice(options_.units[i], options_.portsDir), workers_[i].get()});
    control_ = ControlSocket::Start(
        *path,
        [this, units](const std::vector<std::string>& words) {
            if (words == std::vector<std::string>{control::kCancelShutdown}) return AnswerCancelShutdown(host_.get());
            return AnswerControlRequest(words, units, log_);
        },
        error);
    return control_ != nullptr;
}

void Monitor::Start()
{
    std::string ports;
    for (const UnitPort& unit : options_.units) ports += " " + unit.label;
    log_.Record(Event{{}, "-", "start", "listening on" + listening_ + "; ports" + ports, {}});
    for (auto& worker : workers_) threads_.emplace_back([&worker] { worker->Run(); });
    if (follower_ && FollowedInClearFromAnotherHost(options_.protection))
        log_.Note(options_.protection.followPort, "follow_unprotected",
                  "warning: the primary " + *options_.protection.followUrl +
                      " is read without TLS from another host: anyone on the network between them can forge "
                      "its readings and make this host shut down or stay up (and read a password sent); serve it "
                      "over TLS (https, or STARTTLS for ups://) and give --follow-ca");
    if (follower_) follower_->Start();
    if (!protectors_.empty())
        ticker_.Start(std::chrono::seconds(1), PeriodicThread::FirstRun::AfterPeriod, [this] { TickProtectors(); });
    notifier_.Send("READY=1");
    if (const auto intervalMs = notifier_.watchdogMs())
        watchdog_.Start(std::chrono::milliseconds(*intervalMs / 2), PeriodicThread::FirstRun::AfterPeriod,
                        [this, intervalMs] { FeedWatchdog(*intervalMs); });
}

void Monitor::FeedWatchdog(long long intervalMs)
{
    std::vector<std::int64_t> beats;
    for (const auto& worker : workers_) beats.push_back(worker->LastBeatMs());
    if (EveryThreadAlive(beats, clock_.NowMs(), intervalMs)) notifier_.Send("WATCHDOG=1");
}

void Monitor::Stop()
{
    if (!threads_.empty()) notifier_.Send("STOPPING=1");
    watchdog_.Stop();
    ticker_.Stop();
    if (follower_) follower_->Stop();
    if (threads_.empty()) return;
    for (auto& worker : workers_) worker->RequestStop();
    for (auto& thread : threads_) thread.join();
    threads_.clear();
    control_.reset();  // after the units: a request in progress has been answered
    log_.FlushAll();
    log_.Record(Event{{}, "-", "stop", "all ports closed", {}});
    // No unit is watched any more: readings left in the file would pass for
    // current ones.
    WriteTextfile(/*stopped=*/true);
    endpoints_.clear();
    upsServer_.reset();
    if (hooks_) hooks_->Finish(kHookStopMs);
}

void Monitor::Reopen()
{
    log_.Note("-", "reopen", textfile_ ? "hangup: the text file is written anew" : "hangup: nothing to reopen");
    Published();
}

void Monitor::Abandon()
{
    if (hooks_) hooks_->KillRunning();
}

std::string Monitor::Metrics() const
{
    std::string text = UnitMetrics() + RenderProcessMetrics();
    if (upsServer_) text += upsnet::RenderAttachedFollowers(ServedUnits(), attachments_);
    return text;
}

std::string Monitor::UnitMetrics(bool stopped) const
{
    std::vector<UnitSnapshot> units;
    for (const auto& worker : workers_) {
        units.push_back(worker->Snapshot());
        if (stopped) units.back().up = false;
    }
    for (std::size_t i = 0; i < units.size(); ++i) units[i].unit = options_.units[i].name;
    for (const auto& protector : protectors_)
        for (UnitSnapshot& unit : units)
            if (unit.port == protector->port()) unit.shutdownPending = host_->Pending();
    return RenderMetrics(units) + RenderBuildInfo(TORNAVEL_VERSION) + RenderMonitorCounters(Counters());
}

MonitorCounters Monitor::Counters() const
{
    MonitorCounters counters;
    if (hooks_) {
        const HookRunner::Counts hooks = hooks_->counts();
        counters.hookRuns = hooks.runs;
        counters.hookFailures = hooks.failures;
        counters.hookTimeouts = hooks.timeouts;
        counters.hookSkipped = hooks.skipped;
    }
    counters.eventsCoalesced = log_.coalesced();
    counters.textfileWriteErrors = textfileErrors_;
    return counters;
}

void Monitor::Published()
{
    WriteTextfile(/*stopped=*/false);
}

void Monitor::WriteTextfile(bool stopped)
{
    if (!textfile_) return;
    // Rendered under the lock: two units publishing at once must not let the
    // text rendered first be written last and hide the other's news.
    std::lock_guard lock(textfileMutex_);
    std::string error;
    const bool written = textfile_->Write(UnitMetrics(stopped), error);
    if (!written) ++textfileErrors_;
    // A failure is logged once, and again only after the file was written.
    if (!written && !textfileFailing_) log_.Note("-", "textfile_failed", error);
    textfileFailing_ = !written;
}

}  // namespace tornavel::service
