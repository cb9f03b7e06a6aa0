#pragma once
// A running upssim for a system test: its ports in a fresh directory, its
// byte log beside them, its standard input for events.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace tornavel::testing {

class UpssimProcess {
public:
    // Every wait for the simulator ends after this long: it keeps a broken
    // simulator from hanging the test; it is not a measured time.
    static constexpr int kPatienceMs = 4000;

    explicit UpssimProcess(std::vector<std::string> args)
    {
        namespace fs = std::filesystem;
        std::string pattern = (fs::temp_directory_path() / "upssim-test-XXXXXX").string();
        if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
        root_ = pattern;
        int input[2], output[2];
        if (::pipe2(input, O_CLOEXEC) || ::pipe2(output, O_CLOEXEC)) throw std::runtime_error("pipe failed");
        args.insert(args.begin(), {UPSSIM_PATH, "--dir", ports(), "--log", logPath()});
        pid_ = ::fork();
        if (pid_ == 0) {
            ::prctl(PR_SET_PDEATHSIG, SIGTERM);
            ::dup2(input[0], STDIN_FILENO);
            ::dup2(output[1], STDOUT_FILENO);
            std::vector<char*> argv;
            for (std::string& arg : args) argv.push_back(arg.data());
            argv.push_back(nullptr);
            ::execv(UPSSIM_PATH, argv.data());
            ::_exit(127);
        }
        ::close(input[0]);
        ::close(output[1]);
        events_ = input[1];
        stdout_ = output[0];
        while (ReadStdoutLine() != "ready") {
        }
    }
    ~UpssimProcess()
    {
        Stop();
        for (int fd : {events_, stdout_})
            if (fd >= 0) ::close(fd);
        std::error_code ignored;
        std::filesystem::remove_all(root_, ignored);
    }
    UpssimProcess(const UpssimProcess&) = delete;
    UpssimProcess& operator=(const UpssimProcess&) = delete;

    std::string ports() const { return (root_ / "ports").string(); }
    std::string logPath() const { return (root_ / "log").string(); }

    // One event line, e.g. "com1 mains-fail".
    void Event(const std::string& line)
    {
        const std::string text = line + "\n";
        if (::write(events_, text.data(), text.size()) != static_cast<ssize_t>(text.size()))
            throw std::runtime_error("upssim does not take events");
    }

    // Every byte the simulated port received, in order.
    std::string Received(const std::string& port) const
    {
        std::ifstream log(logPath());
        std::string line;
        std::string bytes;
        while (std::getline(log, line)) {
            std::istringstream fields(line);
            std::string ms, name, direction, hex;
            fields >> ms >> name >> direction;
            if (name != port || direction != "<") continue;
            while (fields >> hex) bytes += static_cast<char>(std::stoi(hex, nullptr, 16));
        }
        return bytes;
    }

    void Stop()
    {
        if (pid_ <= 0) return;
        ::kill(pid_, SIGTERM);
        int status = 0;
        ::waitpid(pid_, &status, 0);
        pid_ = -1;
    }

private:
    std::string ReadStdoutLine()
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

    std::filesystem::path root_;
    pid_t pid_ = -1;
    int events_ = -1;
    int stdout_ = -1;
};

}  // namespace tornavel::testing
