#pragma once
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "upsnet/clientconnection.h"
#include "upsnet/clientsession.h"
#include "upsnet/serveroptions.h"
#include "upsnet/tlschannel.h"

namespace tornavel::service::upsnet {

// The UPS network protocol server: its listening sockets and every client
// connection, served by one thread with poll(). Limits: connections in all
// and per address (a connection past them is closed at once), an idle
// timeout (no whole line for a while), and a bound on a line's length.
class UpsServer {
public:
    // Null with a one-line reason when an address cannot be listened on or
    // the certificate cannot be used. `context` lives as long as the server.
    static std::unique_ptr<UpsServer> Start(const ServerOptions& options, SessionContext& context, std::string& error);
    ~UpsServer();
    UpsServer(const UpsServer&) = delete;
    UpsServer& operator=(const UpsServer&) = delete;

    // The ports listened on, in the order of the options (0 asked: the one given).
    const std::vector<int>& ports() const { return ports_; }

private:
    UpsServer(const ServerOptions& options, SessionContext& context);
    bool Listen(const ListenAddress& address, std::string& error);
    void Run();
    void Accept(int listener, std::int64_t nowMs);

    const ServerOptions options_;
    SessionContext& context_;
    std::unique_ptr<TlsCredentials> tls_;
    std::vector<int> listeners_;
    std::vector<int> ports_;
    int wakeRead_ = -1, wakeWrite_ = -1;
    std::atomic<bool> stopping_{false};
    std::uint64_t nextId_ = 1;
    std::vector<std::unique_ptr<Connection>> connections_;  // the server's thread only
    std::thread thread_;
};

}  // namespace tornavel::service::upsnet
