#pragma once
// A running upssim for a system test: its ports in a fresh directory, its
// byte log beside them, its standard input for events and its standard
// error collected. Plain POSIX: the simulator is checked on its own too.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "child_process.h"

namespace tornavel::testing {

// Every wait for the simulator ends after this long: it keeps a broken
// simulator from hanging the test, it is not a measured time (generous, for
// a loaded machine).
inline constexpr int kPatienceMs = 30000;

inline std::string readAvailable(int fd)
{
    std::string bytes;
    char buffer[512];
    ssize_t count;
    while ((count = ::read(fd, buffer, sizeof buffer)) > 0) bytes.append(buffer, static_cast<size_t>(count));
    return bytes;
}

// A running upssim with its ports in a fresh directory, its byte log beside
// them, its standard input for events and its standard error collected.
class UpssimProcess {
public:
    explicit UpssimProcess(std::vector<std::string> args)
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "upssim-test-XXXXXX").string();
        if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
        root_ = pattern;
        int input[2], output[2], errors[2];
        if (::pipe2(input, O_CLOEXEC) || ::pipe2(output, O_CLOEXEC) || ::pipe2(errors, O_CLOEXEC))
            throw std::runtime_error("pipe failed");
        args.insert(args.begin(), {UPSSIM_PATH, "--dir", ports(), "--log", logPath()});
        pid_ = Spawn(args, input[0], output[1], errors[1], SIGTERM);
        ::close(input[0]);
        ::close(output[1]);
        ::close(errors[1]);
        events_ = input[1];
        stdout_ = output[0];
        stderr_ = errors[0];
        ::fcntl(stderr_, F_SETFL, O_NONBLOCK);
        try {
            while (readStdoutLine() != "ready") {
            }
        } catch (...) {
            stop();
            throw;
        }
    }

    ~UpssimProcess()
    {
        stop();
        for (int fd : {events_, stdout_, stderr_})
            if (fd >= 0) ::close(fd);
        std::error_code ignored;
        std::filesystem::remove_all(root_, ignored);
    }

    std::string ports() const { return (root_ / "ports").string(); }
    std::string port(const std::string& name) const { return ports() + "/" + name; }
    std::string logPath() const { return (root_ / "log").string(); }

    void event(const std::string& line)
    {
        const std::string text = line + "\n";
        ASSERT_EQ(::write(events_, text.data(), text.size()), static_cast<ssize_t>(text.size()));
    }

    void closeEvents()
    {
        ::close(events_);
        events_ = -1;
    }

    // One line of standard output ("com1 -> /dev/pts/3 (ups)", "ready").
    std::string readStdoutLine()
    {
        std::string line;
        char c;
        while (true) {
            pollfd fd{stdout_, POLLIN, 0};
            if (::poll(&fd, 1, kPatienceMs) <= 0 || ::read(stdout_, &c, 1) != 1)
                throw std::runtime_error("upssim printed no complete line: " + line);
            if (c == '\n') return line;
            line += c;
        }
    }

    // Standard error, once it holds the given number of lines (or patience runs out).
    std::string errorLines(long count)
    {
        std::string text;
        pollfd fd{stderr_, POLLIN, 0};
        while (std::count(text.begin(), text.end(), '\n') < count && ::poll(&fd, 1, kPatienceMs) > 0) {
            const std::string more = readAvailable(stderr_);
            if (more.empty()) break;  // upssim has gone
            text += more;
        }
        return text;
    }

    std::string log() const
    {
        std::ifstream file(logPath());
        std::stringstream text;
        text << file.rdbuf();
        return text.str();
    }

    // Waits until the log holds the text: the simulator has got that far.
    bool waitForLog(const std::string& text) const
    {
        const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(kPatienceMs);
        while (log().find(text) == std::string::npos) {
            if (std::chrono::steady_clock::now() > until) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return true;
    }

    // Every byte the simulated port received, in order, from the byte log.
    std::string received(const std::string& port) const
    {
        std::istringstream lines(log());
        std::string line;
        std::string bytes;
        while (std::getline(lines, line)) {
            std::istringstream fields(line);
            std::string ms, name, direction, hex;
            fields >> ms >> name >> direction;
            if (name != port || direction != "<") continue;
            while (fields >> hex) bytes += static_cast<char>(std::stoi(hex, nullptr, 16));
        }
        return bytes;
    }

    // SIGTERM; the exit status, or -1 if it did not exit normally (SIGKILL
    // ends one that does not stop within patience).
    int stop()
    {
        if (pid_ <= 0) return exitCode_;
        ::kill(pid_, SIGTERM);
        int status = 0;
        const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(kPatienceMs);
        while (::waitpid(pid_, &status, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() > until) {
                ::kill(pid_, SIGKILL);
                ::waitpid(pid_, &status, 0);
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        pid_ = -1;
        exitCode_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        return exitCode_;
    }

private:
    std::filesystem::path root_;
    pid_t pid_ = -1;
    int exitCode_ = -1;
    int events_ = -1;
    int stdout_ = -1;
    int stderr_ = -1;
};

}  // namespace tornavel::testing
