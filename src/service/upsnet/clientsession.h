#pragma once
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "units/unitsnapshot.h"
#include "upsnet/attachments.h"

namespace tornavel::service::upsnet {

// One unit as the protocol serves it.
struct ServedUnit {
    std::string name;  // its --name, else its port label
    UnitSnapshot snapshot;
    bool forcedShutdown = false;  // this monitor has decided to shut down for it
};

// What every connection shares: the units now, the users, the followers.
struct SessionContext {
    std::function<std::vector<ServedUnit>()> units;
    std::map<std::string, std::string> users;  // name -> bcrypt hash
    std::string decoyHash;                     // checked for other names: they take as long
    // Whether the password matches the hash (the web config's bcrypt check;
    // a test may count the calls).
    std::function<bool(const std::string& hash, const std::string& password)> passwordMatches;
    Attachments* attachments = nullptr;
    bool tlsAvailable = false;
    std::string version;  // VER's text
};

// The answer to one line: the lines to send, then what the connection does.
struct Reply {
    enum class Then { Continue, StartTls, Close };
    std::vector<std::string> lines;
    Then then = Then::Continue;
};

// One connection's side of the protocol: its login state and the answers to
// its commands. Read-only: nothing here reaches a unit, sets a value or
// decides a shutdown; every command that would is refused the RFC's way.
class Session {
public:
    // `anonymousReads`: the peer's address is one of those allowed to read
    // without a login.
    Session(const SessionContext& context, std::uint64_t id, std::string address, bool anonymousReads);
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // The answer to one line as received, without its line end.
    Reply Answer(const std::string& line);
    // After a successful STARTTLS handshake.
    void TlsStarted() { tls_ = true; }

private:
    Reply Dispatch(const std::vector<std::string>& words);
    Reply Get(const std::vector<std::string>& words);
    Reply List(const std::vector<std::string>& words);
    Reply Attach(const std::vector<std::string>& words);
    Reply SetCredential(std::optional<std::string>& credential, const std::vector<std::string>& words,
                        const char* alreadySet);
    // Reads are allowed: an allowed address, or a user whose password matched.
    bool MayRead();
    bool LoggedIn();
    std::optional<ServedUnit> FindUnit(const std::string& name) const;

    const SessionContext& context_;
    const std::uint64_t id_;
    const std::string address_;
    const bool anonymousReads_;
    bool tls_ = false;
    std::optional<std::string> username_;
    std::optional<std::string> password_;
    std::optional<bool> passwordMatched_;  // checked once, when first needed
};

}  // namespace tornavel::service::upsnet
