#include "upsnet/tlsclient.h"

#include <gnutls/gnutls.h>

namespace tornavel::service::upsnet {

TlsClient::~TlsClient()
{
    if (session_) gnutls_deinit(static_cast<gnutls_session_t>(session_));
    if (credentials_) gnutls_certificate_free_credentials(static_cast<gnutls_certificate_credentials_t>(credentials_));
}

bool TlsClient::Start(int fd, const std::string& caFile, const std::string& host, std::string& error)
{
    gnutls_certificate_credentials_t credentials = nullptr;
    gnutls_certificate_allocate_credentials(&credentials);
    credentials_ = credentials;
    if (gnutls_certificate_set_x509_trust_file(credentials, caFile.c_str(), GNUTLS_X509_FMT_PEM) <= 0) {
        error = "no CA certificate in " + caFile;
        return false;
    }
    gnutls_session_t session = nullptr;
    gnutls_init(&session, GNUTLS_CLIENT);
    session_ = session;
    gnutls_set_default_priority(session);
    gnutls_credentials_set(session, GNUTLS_CRD_CERTIFICATE, credentials);
    gnutls_server_name_set(session, GNUTLS_NAME_DNS, host.data(), host.size());
    gnutls_session_set_verify_cert(session, host.c_str(), 0);
    gnutls_transport_set_int(session, fd);
    int result;
    int tries = 0;  // a server sending warnings for ever does not keep the follower here
    do {
        result = gnutls_handshake(session);
    } while (result < 0 && !gnutls_error_is_fatal(result) && result != GNUTLS_E_AGAIN && ++tries < 16);
    if (result < 0) {
        error = std::string("TLS: ") + gnutls_strerror(result);
        return false;
    }
    return true;
}

long TlsClient::Read(char* buffer, std::size_t size)
{
    const ssize_t result = gnutls_record_recv(static_cast<gnutls_session_t>(session_), buffer, size);
    return result >= 0 ? result : -1;
}

long TlsClient::Write(const char* data, std::size_t size)
{
    const ssize_t result = gnutls_record_send(static_cast<gnutls_session_t>(session_), data, size);
    return result >= 0 ? result : -1;
}

}  // namespace tornavel::service::upsnet
