#pragma once
#include <optional>
#include <string>
#include <vector>

#include "protection/shutdownpolicy.h"

namespace tornavel::service {

// Host protection, off unless asked for: the units whose battery protects
// this host (--protect), or the one unit of another monitor it follows.
struct ProtectOptions {
    std::vector<std::string> protect;  // port labels of watched units
    ProtectLimits limits;
    // How many of the protected units (watched or followed) must still be
    // able to feed this host; all of them when not given.
    std::optional<int> needed;
    bool dryRun = false;
    std::string stateDir = "/var/lib/tornavel-monitor";
    std::optional<std::string> followUrl;
    std::string followPort;  // the primary's port label of the unit
    std::optional<std::string> followCa;
    std::optional<std::string> followAuth;  // a file holding USER:PASSWORD for the primary's basic auth
    int followEverySeconds = 5;
    // The kernel's id of this boot, recorded with a decision (a test points it elsewhere).
    std::string bootIdFile = "/proc/sys/kernel/random/boot_id";

    bool Enabled() const { return !protect.empty() || followUrl.has_value(); }
};

// Whether the option belongs to host protection, and whether it takes a value.
bool IsProtectOption(const std::string& name);
bool ProtectOptionTakesValue(const std::string& name);
// Takes one option; false with a one-line error.
bool TakeProtectOption(const std::string& name, const std::string& value, ProtectOptions& options, std::string& error);
// Checks the whole: false with a one-line error.
bool CheckProtectOptions(const ProtectOptions& options, const std::vector<std::string>& unitLabels, std::string& error);
// Whether `url` is plain http to a host other than this one (not loopback):
// anyone on the way may read and forge what the follower acts on.
bool PlainHttpToAnotherHost(const std::string& url);
// Whether the followed primary is on another host and read without TLS:
// plain http, or a ups:// server without --follow-ca (no STARTTLS).
bool FollowedInClearFromAnotherHost(const ProtectOptions& options);
// The lines of the usage text about protection.
const char* ProtectUsageText();

}  // namespace tornavel::service
