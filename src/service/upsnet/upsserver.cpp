#include "upsnet/upsserver.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>

#include "clock.h"
#include "upsnet/clientconnection.h"

namespace tornavel::service::upsnet {

namespace {

void NonBlocking(int fd)
{
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    ::fcntl(fd, F_SETFD, FD_CLOEXEC);
}

int PortOf(int fd)
{
    sockaddr_storage bound{};
    socklen_t length = sizeof bound;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&bound), &length);
    if (bound.ss_family == AF_INET6) return ntohs(reinterpret_cast<sockaddr_in6&>(bound).sin6_port);
    return ntohs(reinterpret_cast<sockaddr_in&>(bound).sin_port);
}

}  // namespace

UpsServer::UpsServer(const ServerOptions& options, SessionContext& context) : options_(options), context_(context) {}

std::unique_ptr<UpsServer> UpsServer::Start(const ServerOptions& options, SessionContext& context, std::string& error)
{
    std::unique_ptr<UpsServer> server(new UpsServer(options, context));
    if (!options.certPem.empty()) {
        server->tls_ = TlsCredentials::Load(options.certPem, options.keyPem, error);
        if (!server->tls_) return nullptr;
    }
    context.tlsAvailable = server->tls_ != nullptr;
    for (const ListenAddress& address : options.listen)
        if (!server->Listen(address, error)) return nullptr;
    int wake[2];
    if (::pipe(wake) != 0) {
        error = std::string("cannot make a pipe: ") + std::strerror(errno);
        return nullptr;
    }
    server->wakeRead_ = wake[0];
    server->wakeWrite_ = wake[1];
    NonBlocking(wake[0]);
    server->thread_ = std::thread([raw = server.get()] { raw->Run(); });
    return server;
}

bool UpsServer::Listen(const ListenAddress& address, std::string& error)
{
    auto attempt = [&](const ListenAddress& a) -> int {
        const int fd = ::socket(a.address.ss_family, SOCK_STREAM, 0);
        if (fd < 0) return -1;
        const int yes = 1, no = 0;
        ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
        if (a.address.ss_family == AF_INET6)
            ::setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, a.DualStack() ? &no : &yes, sizeof yes);
        if (::bind(fd, reinterpret_cast<const sockaddr*>(&a.address), a.length) != 0 || ::listen(fd, 64) != 0) {
            const int saved = errno;
            ::close(fd);
            errno = saved;
            return -1;
        }
        return fd;
    };
    int fd = attempt(address);
    if (fd < 0 && address.anyFamily) fd = attempt(address.Ipv4Any());  // a host without IPv6
    if (fd < 0) {
        error = "cannot listen on " + address.text + " (--ups-listen): " + std::strerror(errno);
        return false;
    }
    NonBlocking(fd);
    listeners_.push_back(fd);
    ports_.push_back(PortOf(fd));
    return true;
}

UpsServer::~UpsServer()
{
    stopping_ = true;
    if (wakeWrite_ >= 0) {
        const char byte = 0;
        [[maybe_unused]] const auto ignored = ::write(wakeWrite_, &byte, 1);
    }
    if (thread_.joinable()) thread_.join();
    for (const int fd : listeners_) ::close(fd);
    for (const int fd : {wakeRead_, wakeWrite_})
        if (fd >= 0) ::close(fd);
}

void UpsServer::Accept(int listener, std::int64_t nowMs)
{
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    const int fd = ::accept(listener, reinterpret_cast<sockaddr*>(&address), &length);
    if (fd < 0) return;
    NonBlocking(fd);
    const auto peer = PeerAddress::From(address);
    // Past a limit the connection is closed at once, before it costs anything.
    std::size_t fromPeer = 0;
    for (const auto& connection : connections_)
        if (peer && connection->peer() == *peer) ++fromPeer;
    if (!peer || connections_.size() >= static_cast<std::size_t>(options_.maxConnections) ||
        fromPeer >= static_cast<std::size_t>(options_.maxPerAddress)) {
        ::close(fd);
        return;
    }
    const bool anonymous = std::any_of(options_.allow.begin(), options_.allow.end(),
                                       [&](const AddressRange& r) { return r.Contains(*peer); });
    auto session = std::make_unique<Session>(context_, nextId_++, peer->Text(), anonymous);
    connections_.push_back(std::make_unique<Connection>(fd, *peer, std::move(session), tls_.get(), nowMs));
}

void UpsServer::Run()
{
    const std::int64_t idleMs = static_cast<std::int64_t>(options_.idleSeconds) * 1000;
    std::vector<pollfd> polled;
    while (!stopping_) {
        polled.clear();
        polled.push_back({wakeRead_, POLLIN, 0});
        for (const int fd : listeners_) polled.push_back({fd, POLLIN, 0});
        for (const auto& connection : connections_) polled.push_back({connection->fd(), connection->Events(), 0});
        // Woken at least once a second for the idle timeout.
        if (::poll(polled.data(), polled.size(), 1000) < 0 && errno != EINTR) break;
        const std::int64_t now = SteadyClock().NowMs();
        const std::size_t first = 1 + listeners_.size();
        for (std::size_t i = 0; i < connections_.size() && first + i < polled.size(); ++i)
            if (polled[first + i].revents) connections_[i]->Serve(polled[first + i].revents, now);
        for (auto& connection : connections_) connection->CheckIdle(now, idleMs);
        std::erase_if(connections_, [](const auto& connection) { return connection->Done(); });
        for (std::size_t i = 0; i < listeners_.size(); ++i)
            if (polled[1 + i].revents & POLLIN) Accept(listeners_[i], now);
    }
    connections_.clear();
}

}  // namespace tornavel::service::upsnet
