#pragma once
#include <memory>
#include <string>

namespace tornavel::service::upsnet {

// The server's certificate for STARTTLS, loaded once.
class TlsCredentials {
public:
    // Null with a one-line reason when the PEM texts cannot be used.
    static std::unique_ptr<TlsCredentials> Load(const std::string& certPem, const std::string& keyPem,
                                                std::string& error);
    ~TlsCredentials();
    void* native() const { return credentials_; }

private:
    TlsCredentials() = default;
    void* credentials_ = nullptr;  // gnutls_certificate_credentials_t
};

// One connection's TLS after STARTTLS, over its non-blocking socket (GnuTLS).
class TlsChannel {
public:
    enum class Step { Done, WantRead, WantWrite, Failed };

    TlsChannel(const TlsCredentials& credentials, int fd);
    ~TlsChannel();
    TlsChannel(const TlsChannel&) = delete;
    TlsChannel& operator=(const TlsChannel&) = delete;

    Step Handshake();
    // Bytes read (> 0), 0 at the peer's end, -1 for "try later", -2 on an error.
    long Read(char* buffer, std::size_t size);
    // Bytes written (> 0), -1 for "try later" (call again with the same
    // bytes), -2 on an error.
    long Write(const char* data, std::size_t size);
    // Whether a "try later" waits for the socket to be writable.
    bool WantsWrite() const;

private:
    void* session_ = nullptr;  // gnutls_session_t
};

}  // namespace tornavel::service::upsnet
