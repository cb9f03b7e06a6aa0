#pragma once
#include <functional>
#include <memory>
#include <string>

#include "publish/listenaddress.h"
#include "publish/webconfig.h"

struct MHD_Daemon;

namespace tornavel::service {

// The read-only HTTP side, on GNU libmicrohttpd's own thread: GET or HEAD of
// /metrics gets the text that `render` makes; any other path is 404, any
// other method 405. Nothing that arrives here reaches a unit.
class MetricsEndpoint {
public:
    using Render = std::function<std::string()>;
    // A scrape of /metrics that named its follower (the header's value).
    using FollowerSeen = std::function<void(const std::string& header)>;

    // Null with a one-line reason when the address cannot be listened on.
    // With a web config, HTTPS with its certificate and, when it names
    // users, basic authentication for every request (401 otherwise).
    static std::unique_ptr<MetricsEndpoint> Start(const ListenAddress& address, Render render, std::string& error,
                                                  const WebConfig& web = {}, FollowerSeen followerSeen = {});
    ~MetricsEndpoint();
    MetricsEndpoint(const MetricsEndpoint&) = delete;
    MetricsEndpoint& operator=(const MetricsEndpoint&) = delete;

    // The port actually listened on (the one asked for, unless it was 0 in tests).
    int port() const { return port_; }

private:
    explicit MetricsEndpoint(Render render) : render_(std::move(render)) {}

    Render render_;
    FollowerSeen followerSeen_;
    WebConfig web_;
    MHD_Daemon* daemon_ = nullptr;
    int port_ = 0;

    friend struct EndpointAccess;
};

}  // namespace tornavel::service
