#pragma once
#include <string>

#include "app/monitoroptions.h"

namespace tornavel::service {

// Root-only files (a password, a TLS key) cannot be read by the service's
// dynamic user. systemd hands them over instead: LoadCredential=NAME:FILE
// copies FILE, readable by the service alone, into $CREDENTIALS_DIRECTORY.
// There, a file named without a slash (--follow-auth follow-auth, or
// key_file: tls-key in the web config) is the credential of that name;
// anything else is a path, as it always is outside systemd.
std::string CredentialPath(const std::string& file, const char* credentialsDirectory);
// --web-config, --follow-ca, --follow-auth, --ups-users, --ups-tls-cert and
// --ups-tls-key.
void ResolveCredentials(MonitorOptions& options, const char* credentialsDirectory);
// "cannot read WHAT PATH: why", with the way out when the reason is permission.
std::string UnreadableFile(const std::string& what, const std::string& path, int error);

}  // namespace tornavel::service
