#include "publish/httpendpoint.h"

#include <microhttpd.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "protection/attachedfollowers.h"
#include "publish/metricstext.h"

namespace tornavel::service {

namespace {

// One host may hold a few connections, all hosts together many, and an idle
// one is closed soon: sockets held open by one host, or left half-open, never
// keep a scrape from another waiting. A scrape is one short request.
constexpr unsigned kConnectionLimit = 256;
constexpr unsigned kConnectionsPerAddress = 8;
constexpr unsigned kConnectionTimeoutSeconds = 3;
constexpr int kBacklog = 64;

MHD_Result Reply(MHD_Connection* connection, unsigned status, const std::string& body, const char* type,
                 const char* allow = nullptr)
{
    MHD_Response* response = MHD_create_response_from_buffer(body.size(), const_cast<char*>(body.data()),
                                                             MHD_RESPMEM_MUST_COPY);
    if (!response) return MHD_NO;
    MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE, type);
    if (allow) MHD_add_response_header(response, MHD_HTTP_HEADER_ALLOW, allow);
    const MHD_Result queued = MHD_queue_response(connection, status, response);
    MHD_destroy_response(response);
    return queued;
}

// The listening socket is made here rather than by the library, so a busy or
// foreign address is reported with its system reason.
int Listen(const ListenAddress& address, std::string& error)
{
    const int fd = ::socket(address.address.ss_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0 && address.anyFamily && errno == EAFNOSUPPORT) return Listen(address.Ipv4Any(), error);
    if (fd < 0) {
        error = std::string("cannot make a socket: ") + std::strerror(errno);
        return -1;
    }
    const int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    // Only [::] takes IPv4 as well; [::1] and the like are IPv6 alone.
    const int v6only = address.DualStack() ? 0 : 1;
    if (address.address.ss_family == AF_INET6) ::setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &v6only, sizeof v6only);
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&address.address), address.length) != 0 ||
        ::listen(fd, kBacklog) != 0) {
        error = "cannot listen on " + address.text + ": " + std::strerror(errno);
        ::close(fd);
        return -1;
    }
    return fd;
}

int BoundPort(int fd)
{
    sockaddr_storage bound{};
    socklen_t length = sizeof bound;
    if (::getsockname(fd, reinterpret_cast<sockaddr*>(&bound), &length) != 0) return 0;
    if (bound.ss_family == AF_INET6) return ntohs(reinterpret_cast<sockaddr_in6*>(&bound)->sin6_port);
    return ntohs(reinterpret_cast<sockaddr_in*>(&bound)->sin_port);
}

// Basic authentication against the web config's bcrypt hashes.
bool Authorized(MHD_Connection* connection, const WebConfig& web)
{
    char* password = nullptr;
    char* user = MHD_basic_auth_get_username_password(connection, &password);
    bool good = false;
    if (user && password) {
        // An unknown name is checked too, against the decoy: the time taken
        // tells nothing of which names exist.
        const auto known = web.users.find(user);
        const bool matches = PasswordMatches(known != web.users.end() ? known->second : web.decoyHash, password);
        good = known != web.users.end() && matches;
    }
    MHD_free(user);
    MHD_free(password);
    return good;
}

}  // namespace

struct EndpointAccess {
    static MHD_Result Answer(void* cls, MHD_Connection* connection, const char* url, const char* method, const char*,
                             const char*, size_t* uploadSize, void**)
    {
        auto* endpoint = static_cast<MetricsEndpoint*>(cls);
        *uploadSize = 0;  // a request body is never read
        const bool readOnly = std::strcmp(method, MHD_HTTP_METHOD_GET) == 0 ||
                              std::strcmp(method, MHD_HTTP_METHOD_HEAD) == 0;
        if (!readOnly)
            return Reply(connection, MHD_HTTP_METHOD_NOT_ALLOWED, "Only GET and HEAD.\n", "text/plain; charset=utf-8",
                         "GET, HEAD");
        if (!endpoint->web_.users.empty() && !Authorized(connection, endpoint->web_)) {
            const std::string body = "Authentication required.\n";
            MHD_Response* response = MHD_create_response_from_buffer(body.size(), const_cast<char*>(body.data()),
                                                                     MHD_RESPMEM_MUST_COPY);
            if (!response) return MHD_NO;
            const MHD_Result queued = MHD_queue_basic_auth_fail_response(connection, "tornavel-monitor", response);
            MHD_destroy_response(response);
            return queued;
        }
        if (std::strcmp(url, "/metrics") != 0)
            return Reply(connection, MHD_HTTP_NOT_FOUND, "Not found: the metrics are at /metrics.\n",
                         "text/plain; charset=utf-8");
        if (endpoint->followerSeen_)
            if (const char* follower = MHD_lookup_connection_value(connection, MHD_HEADER_KIND, kFollowerHeader))
                endpoint->followerSeen_(follower);
        return Reply(connection, MHD_HTTP_OK, endpoint->render_(), kMetricsContentType);
    }
};

std::unique_ptr<MetricsEndpoint> MetricsEndpoint::Start(const ListenAddress& address, Render render, std::string& error,
                                                        const WebConfig& web, FollowerSeen followerSeen)
{
    const int fd = Listen(address, error);
    if (fd < 0) return nullptr;
    std::unique_ptr<MetricsEndpoint> endpoint(new MetricsEndpoint(std::move(render)));
    endpoint->port_ = BoundPort(fd);
    endpoint->web_ = web;
    endpoint->followerSeen_ = std::move(followerSeen);
    const bool tls = !web.certPem.empty();
    // The key and certificate texts are the endpoint's own copies: the
    // library keeps the pointers.
    MHD_OptionItem https[] = {
        {tls ? MHD_OPTION_HTTPS_MEM_KEY : MHD_OPTION_END, 0, const_cast<char*>(endpoint->web_.keyPem.c_str())},
        {MHD_OPTION_HTTPS_MEM_CERT, 0, const_cast<char*>(endpoint->web_.certPem.c_str())},
        {MHD_OPTION_END, 0, nullptr}};
    endpoint->daemon_ = MHD_start_daemon(
        MHD_USE_INTERNAL_POLLING_THREAD | MHD_USE_POLL | (tls ? MHD_USE_TLS : 0), 0, nullptr, nullptr,
        &EndpointAccess::Answer, endpoint.get(), MHD_OPTION_LISTEN_SOCKET, fd, MHD_OPTION_CONNECTION_LIMIT,
        kConnectionLimit, MHD_OPTION_PER_IP_CONNECTION_LIMIT, kConnectionsPerAddress, MHD_OPTION_CONNECTION_TIMEOUT,
        kConnectionTimeoutSeconds, MHD_OPTION_ARRAY, https, MHD_OPTION_END);
    if (!endpoint->daemon_) {
        ::close(fd);
        error = "cannot start the HTTP server on " + address.text;
        return nullptr;
    }
    return endpoint;
}

MetricsEndpoint::~MetricsEndpoint()
{
    if (daemon_) MHD_stop_daemon(daemon_);  // closes the listening socket too
}

}  // namespace tornavel::service
