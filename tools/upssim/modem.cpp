#include "modem.h"

#include <cctype>

namespace {

constexpr size_t maxCommandLength = 256;

bool holdsAtCommand(const std::string& line)
{
    for (size_t i = 0; i + 1 < line.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(line[i])) == 'a'
            && std::tolower(static_cast<unsigned char>(line[i + 1])) == 't')
            return true;
    }
    return false;
}

} // namespace

void Modem::receive(unsigned char byte, double)
{
    if (byte == '\n') return;
    line_.answer(std::string(1, static_cast<char>(byte)));
    if (byte == '\r') {
        if (holdsAtCommand(command_)) line_.answer("\r\nOK\r\n");
        command_.clear();
    } else if (command_.size() < maxCommandLength) {
        command_ += static_cast<char>(byte);
    }
}
