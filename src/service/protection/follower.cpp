#include "protection/follower.h"

#include <curl/curl.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <map>
#include <sstream>

#include "clock.h"
#include "events/alertnames.h"
#include "publish/metricstext.h"
#include "readings/readingtable.h"

namespace tornavel::service {

namespace {

// The primary's answer is small; anything much larger is not a monitor's.
constexpr std::size_t kMaxBody = 4 << 20;

// The value of label `name` in a sample's label set, unescaped; nothing when absent.
std::optional<std::string> ValueOfLabel(const std::string& labels, const std::string& name)
{
    std::size_t i = 0;
    while (i < labels.size()) {
        const auto equals = labels.find("=\"", i);
        if (equals == std::string::npos) return std::nullopt;
        std::string key = labels.substr(i, equals - i);
        std::string value;
        std::size_t j = equals + 2;
        for (; j < labels.size() && labels[j] != '"'; ++j) {
            if (labels[j] == '\\' && j + 1 < labels.size()) {
                ++j;
                value += labels[j] == 'n' ? '\n' : labels[j];
            } else {
                value += labels[j];
            }
        }
        if (key == name) return value;
        i = labels.find(',', j);
        if (i == std::string::npos) return std::nullopt;
        ++i;
    }
    return std::nullopt;
}

// The samples of one unit, named by its port label or by its stable unit
// name (--name on the primary): "name" or "name{flag=...}" -> value.
std::map<std::string, double> SamplesOf(const std::string& text, const std::string& port)
{
    std::map<std::string, double> samples;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (!line.starts_with(kMetricPrefix)) continue;
        const auto open = line.find('{');
        const auto close = line.rfind('}');
        if (open == std::string::npos || close == std::string::npos || close < open) continue;
        const std::string labels = line.substr(open + 1, close - open - 1);
        if (ValueOfLabel(labels, "port") != port && ValueOfLabel(labels, "unit") != port) continue;
        std::string key = line.substr(0, open);
        if (const auto flag = ValueOfLabel(labels, "flag")) key += "{" + *flag + "}";
        if (const auto alert = ValueOfLabel(labels, "alert")) key += "{" + *alert + "}";
        try {
            samples[key] = std::stod(line.substr(close + 1));
        } catch (const std::exception&) {
        }
    }
    return samples;
}

// The sample of the series the exporter writes under `name`.
std::optional<double> Sample(const std::map<std::string, double>& samples, std::string_view name)
{
    const auto it = samples.find(std::string(kMetricPrefix) + std::string(name));
    if (it == samples.end() || !std::isfinite(it->second)) return std::nullopt;
    return it->second;
}

// This host's name as its primary sees it in its log; "follower" when it
// has none a primary would take.
std::string HostName()
{
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) != 0 || !ParseFollowerVisit(name)) return "follower";
    return name;
}

size_t Collect(char* data, size_t size, size_t count, void* body)
{
    auto& text = *static_cast<std::string*>(body);
    if (text.size() + size * count > kMaxBody) return 0;  // ends the transfer
    text.append(data, size * count);
    return size * count;
}

}  // namespace

std::optional<PolicyReading> ReadingFromMetrics(const std::string& text, const std::string& port, FollowMemory& memory)
{
    const auto samples = SamplesOf(text, port);
    PolicyReading reading;
    // The primary's own decision is followed whatever else it says.
    if (Sample(samples, kShutdownPendingMetric) == 1.0) {
        reading.primaryDecided = true;
        return reading;
    }
    if (Sample(samples, kUpMetric) != 1.0) return std::nullopt;
    // The primary's wall clock may step either way: any other time is a new cycle.
    const auto lastGood = Sample(samples, kLastGoodMetric);
    if (!lastGood || lastGood == memory.lastGood) return std::nullopt;
    memory.lastGood = lastGood;

    // The primary's counters tell what happened between two reads: a "!" from
    // the unit, or a lost link that may have hidden one. The first read, and
    // counters that went back (the primary restarted), tell nothing.
    const auto mainsFailures = Sample(samples, std::string(kAlertsMetric) + "{" + kAlertNames[kMainsFailureRow] + "}");
    const auto linkLosses = Sample(samples, kLinkLossesMetric);
    const bool counted = memory.mainsFailures && memory.linkLosses && mainsFailures && linkLosses &&
                         *mainsFailures >= *memory.mainsFailures && *linkLosses >= *memory.linkLosses;
    reading.signs.linkResumed = !counted || *linkLosses > *memory.linkLosses;
    reading.signs.mainsFailureAlert = counted && *mainsFailures > *memory.mainsFailures;
    memory.mainsFailures = mainsFailures;
    memory.linkLosses = linkLosses;

    const auto status = Sample(samples, ReadingOf(kSlotStatus).metric);
    if (status && *status >= 0 && *status <= 255 && std::floor(*status) == *status)
        reading.status = StatusFlags{static_cast<int>(*status)};
    const Reading& charge = ReadingOf(kSlotCharge);
    if (const auto value = Sample(samples, charge.metric)) reading.chargePercent = FromMetric(charge, *value);
    const Reading& runtimeReading = ReadingOf(kSlotRuntime);
    const auto runtime = Sample(samples, runtimeReading.metric);
    if (runtime && runtime != memory.runtime) reading.runtimeSeconds = FromMetric(runtimeReading, *runtime);
    memory.runtime = runtime;
    return reading;
}

MetricsSource::MetricsSource(const ProtectOptions& options, std::string credentials)
    : url_(options.followUrl.value_or("")),
      port_(options.followPort),
      ca_(options.followCa),
      credentials_(std::move(credentials)),
      everySeconds_(options.followEverySeconds),
      visit_{HostName(), options.followEverySeconds, false, options.dryRun}
{
    curl_global_init(CURL_GLOBAL_DEFAULT);  // before any thread uses the client
}

MetricsSource::~MetricsSource()
{
    curl_global_cleanup();
}

std::optional<PolicyReading> MetricsSource::Read(std::string& error)
{
    const auto text = Fetch(visit_, std::min(everySeconds_ * 2, 10), error);
    if (!text) return std::nullopt;
    return ReadingFromMetrics(*text, port_, memory_);
}

void MetricsSource::Leave()
{
    // The last read says goodbye: a primary waiting for this host to go
    // down need not wait for its silence.
    FollowerVisit leaving = visit_;
    leaving.leaving = true;
    std::string error;
    Fetch(leaving, 2, error);
}

Follower::Follower(const ProtectOptions& options, std::unique_ptr<FollowSource> source, Protector& protector,
                   EventLog& log)
    : url_(options.followUrl.value_or("")),
      port_(options.followPort),
      source_(std::move(source)),
      everySeconds_(options.followEverySeconds),
      protector_(protector),
      log_(log)
{
}

Follower::~Follower()
{
    Stop();
}

void Follower::Start()
{
    reader_.Start(std::chrono::seconds(everySeconds_), PeriodicThread::FirstRun::AtOnce, [this] { Read(); });
}

void Follower::Stop()
{
    if (reader_.Stop()) source_->Leave();
}

std::optional<std::string> MetricsSource::Fetch(const FollowerVisit& visit, long timeoutSeconds,
                                                std::string& error) const
{
    CURL* curl = curl_easy_init();
    if (!curl) {
        error = "cannot start an HTTP client";
        return std::nullopt;
    }
    std::string body;
    char message[CURL_ERROR_SIZE] = {};
    curl_easy_setopt(curl, CURLOPT_URL, url_.c_str());
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT, timeoutSeconds);
    const std::string header = std::string(kFollowerHeader) + ": " + FollowerVisitText(visit);
    curl_slist* headers = curl_slist_append(nullptr, header.c_str());
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, Collect);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &body);
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, message);
    curl_easy_setopt(curl, CURLOPT_FAILONERROR, 1L);
    if (ca_) curl_easy_setopt(curl, CURLOPT_CAINFO, ca_->c_str());
    if (!credentials_.empty()) {
        curl_easy_setopt(curl, CURLOPT_HTTPAUTH, CURLAUTH_BASIC);
        curl_easy_setopt(curl, CURLOPT_USERPWD, credentials_.c_str());
    }
    const CURLcode result = curl_easy_perform(curl);
    curl_easy_cleanup(curl);
    curl_slist_free_all(headers);
    if (result != CURLE_OK) {
        error = message[0] ? message : curl_easy_strerror(result);
        return std::nullopt;
    }
    return body;
}

void Follower::Read()
{
    std::string error;
    const auto reading = source_->Read(error);
    if (error.empty()) {
        if (!lastError_.empty()) log_.Note(port_, "primary_back", "the primary answers again: " + url_);
        lastError_.clear();
        if (reading) protector_.Cycle(*reading);
    } else if (error != lastError_) {
        lastError_ = error;
        log_.Note(port_, "primary_unreadable", url_ + ": " + error);
    }
}

}  // namespace tornavel::service
