#include "upsnet/clientconnection.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

namespace tornavel::service::upsnet {

Connection::Connection(int fd, PeerAddress peer, std::unique_ptr<Session> session, const TlsCredentials* tls,
                       std::int64_t nowMs)
    : fd_(fd), peer_(peer), session_(std::move(session)), credentials_(tls), lastLineMs_(nowMs)
{
}

Connection::~Connection()
{
    channel_.reset();
    ::close(fd_);
}

short Connection::Events() const
{
    if (done_) return 0;
    if (tls_ == Tls::Handshake) return wantWrite_ ? POLLOUT : POLLIN;
    short events = 0;
    if (!closing_ && tls_ != Tls::Starting && out_.size() < kMaxPending) events |= POLLIN;
    if (!out_.empty()) events |= POLLOUT;
    return events;
}

void Connection::CheckIdle(std::int64_t nowMs, std::int64_t idleMs)
{
    if (!done_ && nowMs - lastLineMs_ >= idleMs) done_ = true;
}

void Connection::Serve(short revents, std::int64_t nowMs)
{
    if (done_) return;
    if (revents & (POLLERR | POLLNVAL)) {
        done_ = true;
        return;
    }
    if (tls_ == Tls::Handshake) {
        ContinueHandshake();
        return;
    }
    if (revents & (POLLIN | POLLHUP)) ReadInput(nowMs);
    if (!done_) WriteOutput();
    if (!done_ && tls_ == Tls::Starting && out_.empty()) {
        // "OK STARTTLS" is out in plain text: the handshake follows.
        channel_ = std::make_unique<TlsChannel>(*credentials_, fd_);
        tls_ = Tls::Handshake;
        ContinueHandshake();
    }
    if (closing_ && out_.empty()) done_ = true;
}

void Connection::ContinueHandshake()
{
    switch (channel_->Handshake()) {
    case TlsChannel::Step::Done:
        tls_ = Tls::On;
        wantWrite_ = false;
        session_->TlsStarted();
        break;
    case TlsChannel::Step::WantRead: wantWrite_ = false; break;
    case TlsChannel::Step::WantWrite: wantWrite_ = true; break;
    case TlsChannel::Step::Failed: done_ = true; break;
    }
}

long Connection::Receive(char* buffer, std::size_t size)
{
    if (tls_ == Tls::On) return channel_->Read(buffer, size);
    const ssize_t got = ::recv(fd_, buffer, size, 0);
    if (got >= 0) return got;
    return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR ? -1 : -2;
}

void Connection::ReadInput(std::int64_t nowMs)
{
    char buffer[4096];
    while (!done_ && !closing_ && tls_ != Tls::Starting && out_.size() < kMaxPending) {
        const long got = Receive(buffer, sizeof buffer);
        if (got == -1) return;
        if (got <= 0) {
            done_ = true;  // the peer left, or the link failed
            return;
        }
        in_.append(buffer, static_cast<std::size_t>(got));
        AnswerLines(nowMs);
    }
}

void Connection::AnswerLines(std::int64_t nowMs)
{
    while (!closing_ && (tls_ == Tls::Off || tls_ == Tls::On)) {
        const std::size_t end = in_.find('\n');
        if (end == std::string::npos || end + 1 > kMaxLine) break;
        std::string line = in_.substr(0, end);
        in_.erase(0, end + 1);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lastLineMs_ = nowMs;
        const Reply reply = session_->Answer(line);
        for (const std::string& answer : reply.lines) out_ += answer + "\n";
        if (reply.then == Reply::Then::Close) closing_ = true;
        if (reply.then == Reply::Then::StartTls) {
            // Whatever the client sent after STARTTLS came before the
            // handshake, in plain text: it is never taken as protected.
            in_.clear();
            tls_ = Tls::Starting;
            return;
        }
    }
    const std::size_t lineEnd = in_.find('\n');
    if (!closing_ && (lineEnd == std::string::npos ? in_.size() : lineEnd + 1) > kMaxLine) {
        out_ += "ERR INVALID-ARGUMENT\n";
        in_.clear();
        closing_ = true;
    }
}

void Connection::WriteOutput()
{
    while (!out_.empty()) {
        long wrote;
        if (tls_ == Tls::On) {
            // A record the channel could not send yet is offered again whole.
            const std::size_t size = retrySize_ ? retrySize_ : out_.size();
            wrote = channel_->Write(out_.data(), size);
            retrySize_ = wrote == -1 ? size : 0;
        } else {
            const ssize_t sent = ::send(fd_, out_.data(), out_.size(), MSG_NOSIGNAL);
            wrote = sent >= 0 ? sent : (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR ? -1 : -2);
        }
        if (wrote == -1) return;
        if (wrote < 0) {
            done_ = true;
            return;
        }
        out_.erase(0, static_cast<std::size_t>(wrote));
    }
}

}  // namespace tornavel::service::upsnet
