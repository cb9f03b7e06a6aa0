#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include "upsnet/clientsession.h"
#include "upsnet/peeraddress.h"
#include "upsnet/tlschannel.h"

namespace tornavel::service::upsnet {

// One client's socket on the server's thread: reads its lines (bounded),
// answers each through its session, writes the answers, and switches to TLS
// after STARTTLS. Never blocks: every step does what the socket allows now.
class Connection {
public:
    // Longest line taken, line end included; a longer one ends the connection.
    static constexpr std::size_t kMaxLine = 1024;
    // Answers not yet taken by the client; past this, its lines wait.
    static constexpr std::size_t kMaxPending = 64 * 1024;

    Connection(int fd, PeerAddress peer, std::unique_ptr<Session> session, const TlsCredentials* tls,
               std::int64_t nowMs);
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    // The poll events it waits for now (0 when it is done).
    short Events() const;
    // After poll: reads, answers and writes what it can.
    void Serve(short revents, std::int64_t nowMs);
    // Ends a connection that sent no whole line for `idleMs`.
    void CheckIdle(std::int64_t nowMs, std::int64_t idleMs);
    bool Done() const { return done_; }
    int fd() const { return fd_; }
    const PeerAddress& peer() const { return peer_; }

private:
    enum class Tls { Off, Starting, Handshake, On };

    void ReadInput(std::int64_t nowMs);
    void AnswerLines(std::int64_t nowMs);
    void WriteOutput();
    void ContinueHandshake();
    long Receive(char* buffer, std::size_t size);

    const int fd_;
    const PeerAddress peer_;
    std::unique_ptr<Session> session_;
    const TlsCredentials* credentials_;
    std::unique_ptr<TlsChannel> channel_;
    Tls tls_ = Tls::Off;
    std::string in_, out_;
    bool closing_ = false;  // ends once the answers are written
    bool done_ = false;
    bool wantWrite_ = false;     // the TLS handshake waits for a writable socket
    std::size_t retrySize_ = 0;  // bytes of a TLS write to offer again
    std::int64_t lastLineMs_;
};

}  // namespace tornavel::service::upsnet
