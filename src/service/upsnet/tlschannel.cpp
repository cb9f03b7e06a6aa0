#include "upsnet/tlschannel.h"

#include <gnutls/gnutls.h>

namespace tornavel::service::upsnet {

namespace {

gnutls_session_t Native(void* session)
{
    return static_cast<gnutls_session_t>(session);
}

}  // namespace

std::unique_ptr<TlsCredentials> TlsCredentials::Load(const std::string& certPem, const std::string& keyPem,
                                                     std::string& error)
{
    std::unique_ptr<TlsCredentials> loaded(new TlsCredentials);
    gnutls_certificate_credentials_t credentials = nullptr;
    if (gnutls_certificate_allocate_credentials(&credentials) != GNUTLS_E_SUCCESS) {
        error = "cannot set TLS up";
        return nullptr;
    }
    loaded->credentials_ = credentials;
    const gnutls_datum_t cert{reinterpret_cast<unsigned char*>(const_cast<char*>(certPem.data())),
                              static_cast<unsigned>(certPem.size())};
    const gnutls_datum_t key{reinterpret_cast<unsigned char*>(const_cast<char*>(keyPem.data())),
                             static_cast<unsigned>(keyPem.size())};
    const int result = gnutls_certificate_set_x509_key_mem(credentials, &cert, &key, GNUTLS_X509_FMT_PEM);
    if (result < 0) {
        error = std::string("the certificate for STARTTLS cannot be used: ") + gnutls_strerror(result);
        return nullptr;
    }
    return loaded;
}

TlsCredentials::~TlsCredentials()
{
    if (credentials_) gnutls_certificate_free_credentials(static_cast<gnutls_certificate_credentials_t>(credentials_));
}

TlsChannel::TlsChannel(const TlsCredentials& credentials, int fd)
{
    gnutls_session_t session = nullptr;
    gnutls_init(&session, GNUTLS_SERVER | GNUTLS_NONBLOCK);
    gnutls_set_default_priority(session);
    gnutls_credentials_set(session, GNUTLS_CRD_CERTIFICATE, credentials.native());
    gnutls_certificate_server_set_request(session, GNUTLS_CERT_IGNORE);
    gnutls_transport_set_int(session, fd);
    gnutls_handshake_set_timeout(session, 0);  // the server's idle timeout bounds it
    session_ = session;
}

TlsChannel::~TlsChannel()
{
    gnutls_deinit(Native(session_));
}

TlsChannel::Step TlsChannel::Handshake()
{
    const int result = gnutls_handshake(Native(session_));
    if (result == GNUTLS_E_SUCCESS) return Step::Done;
    if (result == GNUTLS_E_AGAIN || result == GNUTLS_E_INTERRUPTED || !gnutls_error_is_fatal(result))
        return WantsWrite() ? Step::WantWrite : Step::WantRead;
    return Step::Failed;
}

long TlsChannel::Read(char* buffer, std::size_t size)
{
    const ssize_t result = gnutls_record_recv(Native(session_), buffer, size);
    if (result >= 0) return result;
    if (result == GNUTLS_E_AGAIN || result == GNUTLS_E_INTERRUPTED) return -1;
    return -2;
}

long TlsChannel::Write(const char* data, std::size_t size)
{
    const ssize_t result = gnutls_record_send(Native(session_), data, size);
    if (result > 0) return result;
    if (result == GNUTLS_E_AGAIN || result == GNUTLS_E_INTERRUPTED) return -1;
    return -2;
}

bool TlsChannel::WantsWrite() const
{
    return gnutls_record_get_direction(Native(session_)) == 1;
}

}  // namespace tornavel::service::upsnet
