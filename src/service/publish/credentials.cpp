#include "publish/credentials.h"

#include <cerrno>
#include <cstring>

namespace tornavel::service {

std::string CredentialPath(const std::string& file, const char* credentialsDirectory)
{
    if (!credentialsDirectory || !*credentialsDirectory || file.empty() || file.find('/') != std::string::npos)
        return file;
    return std::string(credentialsDirectory) + "/" + file;
}

void ResolveCredentials(MonitorOptions& options, const char* credentialsDirectory)
{
    for (std::optional<std::string>* file :
         {&options.webConfigFile, &options.protection.followCa, &options.protection.followAuth})
        if (*file) **file = CredentialPath(**file, credentialsDirectory);
    for (std::optional<std::string>* file :
         {&options.upsServer.usersFile, &options.upsServer.certFile, &options.upsServer.keyFile})
        if (*file) **file = CredentialPath(**file, credentialsDirectory);
}

std::string UnreadableFile(const std::string& what, const std::string& path, int error)
{
    std::string text = "cannot read " + what + " " + path + ": " + std::strerror(error);
    if (error == EACCES)
        text +=
            " (the service runs as a user of its own: give it root-only files with LoadCredential=, see "
            "CREDENTIALS in tornavel-monitor(1))";
    return text;
}

}  // namespace tornavel::service
