#pragma once

#include <string>
#include <string_view>

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

    bool open(const std::string& path, std::string& error);

    void received(const std::string& port, unsigned char byte);
    void sent(const std::string& port, std::string_view bytes);
    void dropped(const std::string& port, std::string_view bytes);
    void note(const std::string& port, std::string_view text);

private:
    void line(const std::string& port, char direction, std::string_view payload);

    int fd_ = -1;
};
