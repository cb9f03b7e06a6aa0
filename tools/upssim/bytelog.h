#pragma once

#include <string>
#include <string_view>

namespace upssim {

// The byte log: one line per event, written with one write() each so that a
// reader following the file sees whole lines at once.
//   <ms since start, 1 decimal> <port> <direction> <payload>
// directions: "<" one received byte, ">" one answer or alert as it starts on
// the line, "x" an answer or alert dropped, "*" a note (open, close, event).
class ByteLog {
public:
    ByteLog() = default;
    ByteLog(const ByteLog&) = delete;
    ByteLog& operator=(const ByteLog&) = delete;
    ~ByteLog();

    bool Open(const std::string& path, std::string& error);

    void Received(const std::string& port, unsigned char byte);
    void Sent(const std::string& port, std::string_view bytes);
    void Dropped(const std::string& port, std::string_view bytes);
    void Note(const std::string& port, std::string_view text);

private:
    void WriteLine(const std::string& port, char direction, std::string_view payload);

    int fd_ = -1;
};

}  // namespace upssim
