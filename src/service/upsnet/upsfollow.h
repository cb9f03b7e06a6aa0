#pragma once
#include <memory>
#include <optional>
#include <string>

#include "protection/follower.h"
#include "upsnet/tlsclient.h"
#include "upsnet/upsurl.h"

namespace tornavel::service::upsnet {

// A follower's side of the UPS network protocol: one connection to the
// server, kept between reads. With a user it logs in and attaches (LOGIN,
// or ATTACH for a server that knows only the RFC's name), so the server's
// primary waits for it; with a CA it asks for STARTTLS first and refuses to
// go on in plain text. Each read asks for ups.status, battery.charge and
// battery.runtime; FSD in the status is the primary's decision.
class UpsFollowSource : public FollowSource {
public:
    UpsFollowSource(UpsUrl url, std::string password, std::optional<std::string> caFile, int timeoutSeconds);
    ~UpsFollowSource() override;
    std::optional<PolicyReading> Read(std::string& error) override;
    // LOGOUT, then the connection is closed.
    void Leave() override;

private:
    bool Connect(std::string& error);
    void Close();
    bool Send(const std::string& line);
    // One line of the server's, without its line end; false on a timeout,
    // the end of the connection or a line too long.
    bool ReceiveLine(std::string& line);
    // The answer to one command; false (with the reason) when the connection failed.
    bool Ask(const std::string& line, std::string& answer, std::string& error);
    // The value of GET VAR, or nothing with the server's error (DATA-STALE...).
    std::optional<std::string> Variable(const std::string& name, std::string& refused, std::string& error);

    const UpsUrl url_;
    const std::string password_;
    const std::optional<std::string> caFile_;
    const int timeoutSeconds_;
    int fd_ = -1;
    std::unique_ptr<TlsClient> tls_;  // after STARTTLS
    std::string buffered_;
};

// The password for a ups:// address from the file of --follow-auth: its first
// line, either PASSWORD or USER:PASSWORD for the URL's user.
std::string PasswordFromLine(const std::string& line, const std::string& user);

}  // namespace tornavel::service::upsnet
