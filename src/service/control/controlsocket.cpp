#include "control/controlsocket.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "control/controlprotocol.h"
#include "control/linesocket.h"

namespace tornavel::service {

namespace {

constexpr int kClientPatienceSeconds = 5;  // for the client's lines, not for the work
constexpr int kBacklog = 4;

bool PeerIsRoot(int client)
{
    ucred peer{};
    socklen_t length = sizeof peer;
    return ::getsockopt(client, SOL_SOCKET, SO_PEERCRED, &peer, &length) == 0 && length == sizeof peer && peer.uid == 0;
}

bool Address(const std::string& path, sockaddr_un& address)
{
    address = {};
    address.sun_family = AF_UNIX;
    if (path.empty() || path.size() >= sizeof address.sun_path) return false;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    return true;
}

bool SomeoneAnswers(const sockaddr_un& address)
{
    const int probe = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const bool answers = ::connect(probe, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    ::close(probe);
    return answers;
}

}  // namespace

std::unique_ptr<ControlSocket> ControlSocket::Start(const std::string& path, Handler handler, std::string& error)
{
    sockaddr_un address;
    if (!Address(path, address)) {
        error = "control socket path too long: " + path;
        return nullptr;
    }
    if (SomeoneAnswers(address)) {
        error = "another monitor answers on the control socket " + path;
        return nullptr;
    }
    struct stat existing {};
    if (::lstat(path.c_str(), &existing) == 0 && S_ISSOCK(existing.st_mode)) ::unlink(path.c_str());

    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    // Made 0600 from the start: the file never exists with a wider mode.
    const mode_t oldMask = ::umask(0177);
    const bool bound = ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    ::umask(oldMask);
    if (!bound || ::chmod(path.c_str(), 0600) != 0 || ::listen(fd, kBacklog) != 0) {
        error = "cannot make the control socket " + path + ": " + std::strerror(errno);
        ::close(fd);
        return nullptr;
    }
    return std::unique_ptr<ControlSocket>(new ControlSocket(fd, path, std::move(handler)));
}

ControlSocket::ControlSocket(int fd, std::string path, Handler handler)
    : fd_(fd), path_(std::move(path)), handler_(std::move(handler))
{
    if (::pipe2(wake_, O_CLOEXEC) != 0) wake_[0] = wake_[1] = -1;
    thread_ = std::thread([this] { Serve(); });
}

ControlSocket::~ControlSocket()
{
    if (wake_[1] >= 0) (void)!::write(wake_[1], "x", 1);
    ::shutdown(fd_, SHUT_RDWR);
    thread_.join();
    {
        // A client that is still talking is cut off: the monitor is stopping.
        const std::lock_guard lock(clientsMutex_);
        for (Client& client : clients_) ::shutdown(client.fd, SHUT_RDWR);
    }
    for (Client& client : clients_) {
        client.thread.join();
        ::close(client.fd);
    }
    ::close(fd_);
    for (int end : wake_)
        if (end >= 0) ::close(end);
    ::unlink(path_.c_str());
}

void ControlSocket::Serve()
{
    while (true) {
        pollfd fds[2] = {{fd_, POLLIN, 0}, {wake_[0], POLLIN, 0}};
        if (::poll(fds, wake_[0] >= 0 ? 2 : 1, -1) < 0) {
            if (errno == EINTR) continue;
            return;
        }
        if (fds[1].revents) return;
        if (fds[0].revents & (POLLERR | POLLHUP | POLLNVAL)) return;
        const int client = ::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0) continue;
        ReapClients();
        Take(client);
    }
}

void ControlSocket::Take(int fd)
{
    const std::lock_guard lock(clientsMutex_);
    if (clients_.size() >= kMostClients) {
        control::SetTimeouts(fd, kClientPatienceSeconds);
        control::WriteLine(fd, control::kError + " busy: " + std::to_string(kMostClients) +
                                   " clients are being served; try again");
        ::close(fd);
        return;
    }
    Client& client = clients_.emplace_back();
    client.fd = fd;
    client.thread = std::thread([this, &client] {
        Answer(client.fd);
        const std::lock_guard done(clientsMutex_);
        ::shutdown(client.fd, SHUT_RDWR);
        client.done = true;
    });
}

void ControlSocket::ReapClients()
{
    std::list<Client> ended;
    {
        const std::lock_guard lock(clientsMutex_);
        for (auto it = clients_.begin(); it != clients_.end();) {
            const auto next = std::next(it);
            if (it->done) ended.splice(ended.end(), clients_, it);
            it = next;
        }
    }
    for (Client& client : ended) {
        client.thread.join();
        ::close(client.fd);
    }
}

void ControlSocket::Answer(int client)
{
    using namespace control;
    SetTimeouts(client, kClientPatienceSeconds);
    if (!PeerIsRoot(client)) {
        WriteLine(client, kError + " only root may use the control socket");
        return;
    }
    const auto greeting = ReadLine(client, kMaxLine);
    if (!greeting || *greeting != kGreeting) {
        WriteLine(client, kError + " this monitor speaks " + kGreeting);
        return;
    }
    const auto request = ReadLine(client, kMaxLine);
    if (!request) {
        WriteLine(client, kError + " no request, or a request line longer than " + std::to_string(kMaxLine));
        return;
    }
    for (const std::string& line : handler_(SplitWords(*request)))
        if (!WriteLine(client, line)) return;
}

}  // namespace tornavel::service
