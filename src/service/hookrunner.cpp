#include "hookrunner.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <chrono>
#include <cstring>
#include <vector>

extern char** environ;

namespace tornavel::service {

namespace {

constexpr const char* kVariablePrefix = "TORNAVEL_";
constexpr int kReapStepMs = 20;

std::string VariableName(const std::string& key)
{
    std::string name = kVariablePrefix;
    for (const char c : key) name += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return name;
}

// The monitor's environment without TORNAVEL_* (so nothing stale leaks in),
// then the event's own variables.
std::vector<std::string> Environment(const Event& event)
{
    std::vector<std::string> variables;
    for (char** entry = environ; *entry; ++entry)
        if (std::strncmp(*entry, kVariablePrefix, std::strlen(kVariablePrefix)) != 0) variables.emplace_back(*entry);
    auto add = [&variables](const std::string& key, const std::string& value) {
        variables.push_back(VariableName(key) + "=" + value);
    };
    add("event", event.name);
    add("port", event.port);
    add("message", event.message);
    add("time", event.time);
    for (const auto& [key, value] : event.details) add(key, value);
    return variables;
}

std::vector<char*> Pointers(std::vector<std::string>& texts)
{
    std::vector<char*> pointers;
    for (std::string& text : texts) pointers.push_back(text.data());
    pointers.push_back(nullptr);
    return pointers;
}

std::string ExitText(int status)
{
    if (WIFEXITED(status)) return "exit status " + std::to_string(WEXITSTATUS(status));
    if (WIFSIGNALED(status)) return "signal " + std::to_string(WTERMSIG(status));
    return "status " + std::to_string(status);
}

}  // namespace

HookRunner::HookRunner(std::string program, int timeoutMs, Note note)
    : program_(std::move(program)), timeoutMs_(timeoutMs), note_(std::move(note)), thread_([this] { Loop(); })
{
}

HookRunner::~HookRunner()
{
    Finish();
}

void HookRunner::Run(Event event)
{
    {
        std::lock_guard lock(mutex_);
        if (!finishing_ && queue_.size() < kQueueLimit) {
            queue_.push_back(std::move(event));
            wake_.notify_one();
            return;
        }
    }
    note_("hook_skipped", "event program busy, " + event.name + " on " + event.port + " not handed over");
}

void HookRunner::Finish()
{
    {
        std::lock_guard lock(mutex_);
        finishing_ = true;
    }
    wake_.notify_one();
    if (thread_.joinable()) thread_.join();
}

void HookRunner::Loop()
{
    std::unique_lock lock(mutex_);
    while (true) {
        wake_.wait(lock, [this] { return finishing_ || !queue_.empty(); });
        if (queue_.empty()) return;  // finishing, and nothing left
        const Event event = std::move(queue_.front());
        queue_.pop_front();
        lock.unlock();
        RunOne(event);
        lock.lock();
    }
}

void HookRunner::RunOne(const Event& event)
{
    std::vector<std::string> args = {program_, event.name, event.port};
    std::vector<std::string> variables = Environment(event);
    auto argv = Pointers(args);
    auto envp = Pointers(variables);

    // The child starts clean: default signal handling (the monitor blocks
    // SIGTERM/SIGINT and ignores SIGPIPE), its own process group so a hang
    // can be ended whole, and nothing to read on standard input.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none, defaults;
    sigemptyset(&none);
    sigemptyset(&defaults);
    for (int signal : {SIGTERM, SIGINT, SIGPIPE, SIGHUP}) sigaddset(&defaults, signal);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setpgroup(&attributes, 0);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETPGROUP);
    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    posix_spawn_file_actions_addopen(&files, STDIN_FILENO, "/dev/null", O_RDONLY, 0);

    pid_t pid = 0;
    const int error = ::posix_spawnp(&pid, program_.c_str(), &files, &attributes, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&files);
    posix_spawnattr_destroy(&attributes);
    if (error != 0) {
        note_("hook_failed", "cannot run " + program_ + " for " + event.name + ": " + std::strerror(error));
        return;
    }

    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs_);
    int status = 0;
    while (::waitpid(pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() >= deadline) {
            ::kill(-pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            note_("hook_timeout", program_ + " for " + event.name + " still running after " +
                                      std::to_string(timeoutMs_ / 1000) + " s: killed");
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(kReapStepMs));
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        note_("hook_failed", program_ + " for " + event.name + " ended with " + ExitText(status));
}

}  // namespace tornavel::service
