#pragma once
// The lines an event log has written to a temporary file so far.
#include <cstdio>
#include <string>
#include <vector>

namespace tornavel::service {

inline std::vector<std::string> LogLines(std::FILE* file)
{
    std::fflush(file);
    std::rewind(file);
    std::vector<std::string> lines;
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, file)) lines.emplace_back(buffer);
    return lines;
}

}  // namespace tornavel::service
