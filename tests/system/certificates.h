#pragma once
// A self-signed certificate for tests: made by openssl for 127.0.0.1.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "test_files.h"

namespace tornavel::testing {

// NAME.pem and NAME.key in `dir`, for CN=localhost and IP 127.0.0.1.
inline void MakeSelfSigned(const TempDir& dir, const std::string& name)
{
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, 1);
        ::dup2(null, 2);
        const std::string key = dir / (name + ".key"), cert = dir / (name + ".pem");
        ::execl("/usr/bin/openssl", "openssl", "req", "-x509", "-newkey", "ec", "-pkeyopt",
                "ec_paramgen_curve:prime256v1", "-nodes", "-keyout", key.c_str(), "-out", cert.c_str(), "-days", "2",
                "-subj", "/CN=localhost", "-addext", "subjectAltName=IP:127.0.0.1", nullptr);
        ::_exit(127);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

}  // namespace tornavel::testing
