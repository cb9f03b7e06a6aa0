#pragma once
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace tornavel::service {

// The monitor's local control socket for tornavelctl: a Unix stream socket
// of mode 0600 that only root may use, checked by the peer's credentials at
// every connection as well (a file mode can be changed; the kernel's word on
// who connected cannot). One request per connection, each connection on a
// thread of its own, so an idle client keeps no other waiting; a few are
// served at once and a client beyond them is told so. The greeting names
// the protocol and its version.
class ControlSocket {
public:
    // The request's words (after the greeting); the reply lines, the last
    // "ok" or "error ...".
    using Handler = std::function<std::vector<std::string>(const std::vector<std::string>& words)>;

    // Connections served at once; one more is refused at once.
    static constexpr int kMostClients = 8;

    // A live socket at `path` (another monitor answering there) is an
    // error; a stale one is replaced.
    static std::unique_ptr<ControlSocket> Start(const std::string& path, Handler handler, std::string& error);
    ~ControlSocket();
    ControlSocket(const ControlSocket&) = delete;
    ControlSocket& operator=(const ControlSocket&) = delete;

private:
    ControlSocket(int fd, std::string path, Handler handler);
    struct Client {
        int fd;
        std::thread thread;
        bool done = false;  // under clientsMutex_
    };

    void Serve();
    void Take(int fd);
    void Answer(int client);
    // Joins the threads of the connections that have ended.
    void ReapClients();

    int fd_;
    int wake_[2] = {-1, -1};
    std::string path_;
    Handler handler_;
    std::mutex clientsMutex_;
    std::list<Client> clients_;
    std::thread thread_;
};

}  // namespace tornavel::service
