#include "protection/protectoptions.h"

#include <arpa/inet.h>
#include <algorithm>

#include <cctype>

#include "app/monitoroptions.h"
#include "upsnet/upsurl.h"

namespace tornavel::service {

namespace {

constexpr const char* kValued[] = {"--protect",   "--runtime-below", "--charge-below", "--on-battery-longer",
                                   "--link-lost", "--state-dir",     "--follow",       "--follow-port",
                                   "--follow-ca", "--follow-auth",   "--follow-every", "--protect-needed"};

}  // namespace

namespace {

// Whether `host` (a name or an address, as a URL holds it) may be another
// host: anything but loopback addresses and the names that cannot leave.
bool AnotherHost(std::string host)
{
    for (char& c : host) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    in_addr v4{};
    if (::inet_pton(AF_INET, host.c_str(), &v4) == 1) return (ntohl(v4.s_addr) >> 24) != 127;
    return host != "localhost" && host != "::1";
}

}  // namespace

bool PlainHttpToAnotherHost(const std::string& url)
{
    const std::string scheme = "http://";
    if (url.rfind(scheme, 0) != 0) return false;
    std::string host = url.substr(scheme.size(), url.find_first_of("/?#", scheme.size()) - scheme.size());
    if (const auto at = host.rfind('@'); at != std::string::npos) host.erase(0, at + 1);
    if (!host.empty() && host.front() == '[') {
        host = host.substr(1, host.find(']') - 1);
    } else if (const auto colon = host.find(':'); colon != std::string::npos) {
        host.erase(colon);
    }
    return AnotherHost(host);
}

bool FollowedInClearFromAnotherHost(const ProtectOptions& options)
{
    if (!options.followUrl) return false;
    // A ups:// server is read in clear unless --follow-ca asks for STARTTLS.
    if (const auto ups = upsnet::ParseUpsUrl(*options.followUrl)) return !options.followCa && AnotherHost(ups->host);
    return PlainHttpToAnotherHost(*options.followUrl);
}

bool IsProtectOption(const std::string& name)
{
    return name == "--dry-run" || ProtectOptionTakesValue(name);
}

bool ProtectOptionTakesValue(const std::string& name)
{
    return std::find(std::begin(kValued), std::end(kValued), name) != std::end(kValued);
}

bool TakeProtectOption(const std::string& name, const std::string& value, ProtectOptions& options, std::string& error)
{
    auto number = [&](int lowest, int highest, int& into) {
        return TakeWholeNumber(name, value, lowest, highest, into, error);
    };
    if (name == "--dry-run") {
        options.dryRun = true;
        return true;
    }
    if (name == "--protect") {
        // The label of a COMn port, as the watched units are labelled.
        std::string label = value;
        if (label.find('/') == std::string::npos)
            for (char& c : label) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        options.protect.push_back(label);
        return true;
    }
    if (name == "--runtime-below") return number(0, 86400, options.limits.runtimeBelowSeconds);
    if (name == "--charge-below") return number(0, 100, options.limits.chargeBelowPercent);
    if (name == "--on-battery-longer") {
        int seconds = 0;
        if (!number(1, 86400, seconds)) return false;
        options.limits.onBatteryLongerSeconds = seconds;
        return true;
    }
    if (name == "--link-lost") return number(5, 3600, options.limits.linkLostSeconds);
    if (name == "--protect-needed") {
        int needed = 0;
        if (!number(1, 64, needed)) return false;
        options.needed = needed;
        return true;
    }
    if (name == "--follow-every") return number(1, 60, options.followEverySeconds);
    if (name == "--state-dir") options.stateDir = value;
    if (name == "--follow") {
        const bool http = value.rfind("http://", 0) == 0 || value.rfind("https://", 0) == 0;
        if (!http && !upsnet::ParseUpsUrl(value)) {
            error = "--follow takes an http://, https:// or ups://[USER@]HOST[:PORT]/NAME address, not '" + value + "'";
            return false;
        }
        options.followUrl = value;
    }
    if (name == "--follow-port") options.followPort = value;
    if (name == "--follow-ca") options.followCa = value;
    if (name == "--follow-auth") options.followAuth = value;
    return true;
}

bool CheckProtectOptions(const ProtectOptions& options, const std::vector<std::string>& unitLabels, std::string& error)
{
    for (const std::string& label : options.protect) {
        if (std::find(unitLabels.begin(), unitLabels.end(), label) == unitLabels.end()) {
            error = "--protect names '" + label + "', which is not one of the ports watched";
            return false;
        }
    }
    const int units = static_cast<int>(options.protect.size()) + (options.followUrl ? 1 : 0);
    if (options.needed && *options.needed > units) {
        error = "--protect-needed " + std::to_string(*options.needed) + " is more than the " + std::to_string(units) +
                " protected units (--protect and --follow)";
        return false;
    }
    if (options.followUrl && upsnet::IsUpsUrl(*options.followUrl)) {
        if (!options.followPort.empty()) {
            error = "--follow-port is for a monitor's /metrics; a ups:// address names the unit itself";
            return false;
        }
        if (!upsnet::ParseUpsUrl(*options.followUrl)->user.empty() && !options.followAuth) {
            error = "--follow ups://USER@...: the password comes from --follow-auth FILE";
            return false;
        }
        return true;
    }
    if (options.followUrl && options.followPort.empty()) {
        error = "--follow needs --follow-port, the primary's port label of the unit";
        return false;
    }
    if (options.followUrl && options.followAuth && PlainHttpToAnotherHost(*options.followUrl)) {
        error =
            "--follow-auth over plain http to another host would send the password in clear: use https "
            "(the primary's --web-config with tls_server_config, and --follow-ca)";
        return false;
    }
    if (!options.followUrl && (!options.followPort.empty() || options.followCa || options.followAuth)) {
        error = "--follow-port, --follow-ca and --follow-auth need --follow";
        return false;
    }
    return true;
}

const char* ProtectUsageText()
{
    return R"(
Host protection (off unless --protect or --follow is given):
  --protect PORT          shut this host down before PORT's battery runs out
  --runtime-below SEC     ... when the runtime stays below SEC (default 180)
  --charge-below PCT      ... when the charge stays below PCT (default 5)
  --on-battery-longer SEC ... when on battery for longer than SEC (default off)
  --link-lost SEC         ... when no valid reading came for SEC seconds and
                          the last one said on battery (default 30)
  --protect-needed N      with several protected units (two power supplies
                          on two units): shut down only when fewer than N
                          of them can still feed this host (default: all,
                          so the first unit whose battery will not last
                          decides)
  --dry-run               log the decision, carry nothing out
  --state-dir DIR         where the decision is recorded for the root
                          tornavel-shutdown service (default
                          /var/lib/tornavel-monitor)
  --follow URL            follow another monitor's /metrics instead of a
                          port (a host on the same unit without the cable),
                          or ups://[USER@]HOST[:PORT]/NAME, unit NAME of any
                          server of the UPS network protocol (RFC 9271):
                          with USER it logs in and attaches as a follower
  --follow-port LABEL     the unit on the primary: its port label or its name
                          (not for ups://)
  --follow-ca FILE        CA certificate for an https primary; for ups://,
                          STARTTLS is then required and checked against it
  --follow-auth FILE      USER:PASSWORD in FILE, for a primary that asks
                          for basic authentication; for ups://, the password
                          (PASSWORD or USER:PASSWORD)
  --follow-every SEC      read the primary every SEC seconds (default 5)
)";
}

}  // namespace tornavel::service
