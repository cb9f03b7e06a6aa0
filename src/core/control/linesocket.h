#pragma once
#include <optional>
#include <string>

namespace tornavel::control {

// Line I/O on a connected stream socket whose waits are bounded by its
// SO_RCVTIMEO/SO_SNDTIMEO. A line longer than `maxLength`, a closed peer or
// a time-out gives nullopt.
std::optional<std::string> ReadLine(int fd, std::size_t maxLength);
bool WriteLine(int fd, const std::string& line);
// Sets both time-outs of a socket.
void SetTimeouts(int fd, int seconds);

}  // namespace tornavel::control
