#pragma once
// The lines an event log has written to a temporary file so far.
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

namespace tornavel::service {

// Read with pread, never by moving the stream: the log may be writing to it
// from another thread, and a rewind here would put its next line over the
// first ones.
inline std::vector<std::string> LogLines(std::FILE* file)
{
    std::fflush(file);
    std::string text;
    char buffer[4096];
    for (ssize_t n; (n = ::pread(::fileno(file), buffer, sizeof buffer, static_cast<off_t>(text.size()))) > 0;)
        text.append(buffer, static_cast<std::size_t>(n));
    std::vector<std::string> lines;
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t end = text.find('\n', at);
        const std::size_t next = end == std::string::npos ? text.size() : end + 1;
        lines.push_back(text.substr(at, next - at));
        at = next;
    }
    return lines;
}

}  // namespace tornavel::service
