#include "modem.h"

#include <cctype>

namespace upssim {

namespace {

constexpr size_t kMaxCommandLength = 256;

bool HoldsAtCommand(const std::string& line)
{
    for (size_t i = 0; i + 1 < line.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(line[i])) == 'a'
            && std::tolower(static_cast<unsigned char>(line[i + 1])) == 't')
            return true;
    }
    return false;
}

}  // namespace

void Modem::Receive(unsigned char byte, double)
{
    if (byte == '\n') return;
    line_.Answer(std::string(1, static_cast<char>(byte)));
    if (byte == '\r') {
        if (HoldsAtCommand(command_)) line_.Answer("\r\nOK\r\n");
        command_.clear();
    } else if (command_.size() < kMaxCommandLength) {
        command_ += static_cast<char>(byte);
    }
}

}  // namespace upssim
