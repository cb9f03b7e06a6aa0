#pragma once
#include <string>

namespace tornavel::service::upsnet {

// A follower's TLS after STARTTLS, on its blocking socket (GnuTLS): the
// server's certificate must chain to the given CA and name the host.
class TlsClient {
public:
    TlsClient() = default;
    ~TlsClient();
    TlsClient(const TlsClient&) = delete;
    TlsClient& operator=(const TlsClient&) = delete;

    // False with a one-line reason.
    bool Start(int fd, const std::string& caFile, const std::string& host, std::string& error);
    // As recv and send: bytes, 0 at the end, < 0 on an error or a timeout.
    long Read(char* buffer, std::size_t size);
    long Write(const char* data, std::size_t size);

private:
    void* credentials_ = nullptr;  // gnutls_certificate_credentials_t
    void* session_ = nullptr;      // gnutls_session_t
};

}  // namespace tornavel::service::upsnet
