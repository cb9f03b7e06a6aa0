#pragma once
// A small client of the UPS network protocol (RFC 9271), written from the
// RFC for the tests: one TCP connection to a loopback address, lines out,
// lines back, STARTTLS checked against a CA. Every wait is bounded.
#include <arpa/inet.h>
#include <gnutls/gnutls.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace tornavel::testing {

class UpsClient {
public:
    // Connects to `host`:`port`, from `from` when given (another loopback address).
    explicit UpsClient(int port, const char* host = "127.0.0.1", const char* from = nullptr)
    {
        fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        if (from) {
            ::inet_pton(AF_INET, from, &address.sin_addr);
            ::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address);
        }
        address.sin_port = htons(static_cast<uint16_t>(port));
        ::inet_pton(AF_INET, host, &address.sin_addr);
        connected_ = ::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    }

    ~UpsClient()
    {
        if (session_) gnutls_deinit(session_);
        if (credentials_) gnutls_certificate_free_credentials(credentials_);
        ::close(fd_);
    }
    UpsClient(const UpsClient&) = delete;
    UpsClient& operator=(const UpsClient&) = delete;

    bool connected() const { return connected_; }

    // Bytes as they are, no line end added.
    void SendRaw(const std::string& bytes)
    {
        if (session_)
            gnutls_record_send(session_, bytes.data(), bytes.size());
        else
            (void)!::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    }

    // One line without its line end; nothing once the server closed or after the patience.
    std::optional<std::string> ReadLine(int patienceMs = 10000)
    {
        const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(patienceMs);
        while (true) {
            if (const auto end = buffered_.find('\n'); end != std::string::npos) {
                std::string line = buffered_.substr(0, end);
                buffered_.erase(0, end + 1);
                return line;
            }
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until -
                                                                                    std::chrono::steady_clock::now());
            if (left.count() <= 0) return std::nullopt;
            if (!(session_ && gnutls_record_check_pending(session_))) {
                pollfd p{fd_, POLLIN, 0};
                if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) return std::nullopt;
            }
            char buffer[4096];
            const long got = session_ ? gnutls_record_recv(session_, buffer, sizeof buffer)
                                      : ::recv(fd_, buffer, sizeof buffer, 0);
            if (got == GNUTLS_E_AGAIN) continue;
            if (got <= 0) {
                closed_ = true;
                return std::nullopt;
            }
            buffered_.append(buffer, static_cast<std::size_t>(got));
        }
    }

    // The answer to one command: its line, or a whole BEGIN LIST ... END LIST.
    std::vector<std::string> Ask(const std::string& line)
    {
        SendRaw(line + "\n");
        std::vector<std::string> answer;
        auto first = ReadLine();
        if (!first) return answer;
        answer.push_back(*first);
        if (first->rfind("BEGIN LIST ", 0) != 0) return answer;
        const std::string end = "END" + first->substr(5);
        while (auto next = ReadLine()) {
            answer.push_back(*next);
            if (*next == end) break;
        }
        return answer;
    }

    // The single line answering one command ("" when none came).
    std::string AskOne(const std::string& line)
    {
        const auto answer = Ask(line);
        return answer.empty() ? "" : answer[0];
    }

    // Whether the server closes the connection within the patience (what
    // it sends before is read and dropped).
    bool ClosedBy(int patienceMs)
    {
        const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(patienceMs);
        while (!closed_ && std::chrono::steady_clock::now() < until) ReadLine(200);
        return closed_;
    }

    // STARTTLS, then a handshake that must verify against `caFile` for
    // 127.0.0.1. `behind` is sent in plain text right behind the command, in
    // the same packet.
    bool StartTls(const std::string& caFile, std::string& error, const std::string& behind = "")
    {
        SendRaw("STARTTLS\n" + behind);
        const std::string answer = ReadLine().value_or("");
        if (answer != "OK STARTTLS") {
            error = "answer " + answer;
            return false;
        }
        gnutls_certificate_allocate_credentials(&credentials_);
        gnutls_certificate_set_x509_trust_file(credentials_, caFile.c_str(), GNUTLS_X509_FMT_PEM);
        gnutls_init(&session_, GNUTLS_CLIENT);
        gnutls_set_default_priority(session_);
        gnutls_credentials_set(session_, GNUTLS_CRD_CERTIFICATE, credentials_);
        gnutls_session_set_verify_cert(session_, "127.0.0.1", 0);
        gnutls_transport_set_int(session_, fd_);
        gnutls_handshake_set_timeout(session_, 10000);
        int result;
        do {
            result = gnutls_handshake(session_);
        } while (result < 0 && !gnutls_error_is_fatal(result));
        if (result < 0) error = gnutls_strerror(result);
        return result >= 0;
    }

private:
    int fd_ = -1;
    bool connected_ = false;
    bool closed_ = false;
    std::string buffered_;
    gnutls_certificate_credentials_t credentials_ = nullptr;
    gnutls_session_t session_ = nullptr;
};

}  // namespace tornavel::testing
