#include "events/hookrunner.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

extern char** environ;

namespace tornavel::service {

namespace {

constexpr const char* kVariablePrefix = "TORNAVEL_";
constexpr int kReapStepMs = 20;
// The grace a program gets when the monitor stops rather than when it is late.
constexpr int kStopGraceMs = 500;

// Whether a process of the group other than its leader is still running
// (not a zombie): the group's members may still be handling SIGTERM after
// their leader ended.
bool OthersRunIn(pid_t group)
{
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator("/proc", error)) {
        const std::string name = entry.path().filename();
        if (name.empty() || !std::isdigit(static_cast<unsigned char>(name[0])) || name == std::to_string(group))
            continue;
        std::ifstream stat(entry.path() / "stat");
        std::string text;
        if (!std::getline(stat, text) || text.rfind(')') == std::string::npos) continue;
        // After "(comm)": state, parent, group.
        std::istringstream fields(text.substr(text.rfind(')') + 1));
        char state = 0;
        pid_t parent = 0;
        pid_t processGroup = 0;
        if (fields >> state >> parent >> processGroup && processGroup == group && state != 'Z') return true;
    }
    return false;
}

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
    : program_(std::move(program)), timeoutMs_(timeoutMs), note_(std::move(note))
{
    for (int n = 0; n < kParallel; ++n) threads_.emplace_back([this] { Loop(); });
}

HookRunner::~HookRunner()
{
    Finish(kGraceMs);
}

HookRunner::Counts HookRunner::counts() const
{
    std::lock_guard lock(mutex_);
    return counts_;
}

void HookRunner::Run(Event event, bool urgent)
{
    {
        std::lock_guard lock(mutex_);
        if (!finishing_ && (urgent || queue_.size() - urgentQueued_ < kQueueLimit)) {
            if (urgent)
                queue_.insert(queue_.begin() + static_cast<std::ptrdiff_t>(urgentQueued_++), std::move(event));
            else
                queue_.push_back(std::move(event));
            wake_.notify_one();
            return;
        }
        ++counts_.skipped;
    }
    note_("hook_skipped", "event program busy, " + event.name + " on " + event.port + " not handed over");
}

void HookRunner::Finish(int patienceMs)
{
    std::size_t dropped = 0;
    {
        std::unique_lock lock(mutex_);
        finishing_ = true;
        wake_.notify_all();
        const bool done = idle_.wait_for(lock, std::chrono::milliseconds(patienceMs),
                                         [this] { return queue_.empty() && busy_ == 0; });
        if (!done) {
            dropped = queue_.size();
            counts_.skipped += dropped;
            queue_.clear();
            urgentQueued_ = 0;
            cutShort_ = true;
        }
    }
    if (dropped > 0)
        note_("hook_skipped", std::to_string(dropped) + " event(s) not handed over: the monitor is stopping");
    for (auto& thread : threads_)
        if (thread.joinable()) thread.join();
}

void HookRunner::KillRunning()
{
    std::lock_guard lock(mutex_);
    for (const pid_t pid : running_) ::kill(-pid, SIGKILL);
}

void HookRunner::Loop()
{
    std::unique_lock lock(mutex_);
    while (true) {
        wake_.wait(lock, [this] { return finishing_ || !queue_.empty(); });
        if (queue_.empty()) return;  // finishing, and nothing left
        const Event event = std::move(queue_.front());
        queue_.pop_front();
        if (urgentQueued_ > 0) --urgentQueued_;
        ++busy_;
        lock.unlock();
        RunOne(event);
        lock.lock();
        --busy_;
        idle_.notify_all();
    }
}

void HookRunner::RunOne(const Event& event)
{
    std::vector<std::string> args = {program_, event.name, event.port};
    std::vector<std::string> variables = Environment(event);
    auto argv = Pointers(args);
    auto envp = Pointers(variables);

    // The child starts clean: default signal handling (the monitor blocks
    // SIGTERM/SIGINT/SIGHUP and ignores SIGPIPE), its own process group so a
    // hang can be ended whole, and nothing to read on standard input.
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
    int error = 0;
    {
        // Spawned under the lock, so KillRunning never misses a new program.
        std::lock_guard lock(mutex_);
        error = ::posix_spawnp(&pid, program_.c_str(), &files, &attributes, argv.data(), envp.data());
        if (error == 0) {
            running_.insert(pid);
            ++counts_.runs;
        } else {
            ++counts_.failures;
        }
    }
    posix_spawn_file_actions_destroy(&files);
    posix_spawnattr_destroy(&attributes);
    if (error != 0) {
        note_("hook_failed", "cannot run " + program_ + " for " + event.name + ": " + std::strerror(error));
        return;
    }
    const int status = Await(pid, event);
    if (status >= 0 && (!WIFEXITED(status) || WEXITSTATUS(status) != 0)) {
        {
            std::lock_guard lock(mutex_);
            ++counts_.failures;
        }
        note_("hook_failed", program_ + " for " + event.name + " ended with " + ExitText(status));
    }
}

int HookRunner::Await(pid_t pid, const Event& event)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs_);
    bool ended = false;
    while (!Exited(pid)) {
        const bool late = std::chrono::steady_clock::now() >= deadline;
        if (late || cutShort_) {
            EndGroup(pid, late ? kGraceMs : kStopGraceMs);
            ended = true;
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(kReapStepMs));
    }
    {
        // Out of the set before it is reaped: once reaped, its number may
        // name someone else's process.
        std::lock_guard lock(mutex_);
        running_.erase(pid);
        if (ended) ++counts_.timeouts;
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (!ended) return status;
    note_("hook_timeout", program_ + " for " + event.name +
                              (cutShort_ ? " still running at the stop: ended"
                                         : " still running after " + std::to_string(timeoutMs_ / 1000) + " s: ended"));
    return -1;
}

bool HookRunner::Exited(pid_t pid)
{
    siginfo_t info{};
    if (::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) != 0) return errno != EINTR;
    return info.si_pid == pid;
}

void HookRunner::EndGroup(pid_t pid, int graceMs)
{
    // The whole group gets the grace: a child cleaning up after SIGTERM is
    // not cut short because its leader ended first.
    ::kill(-pid, SIGTERM);
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(graceMs);
    while ((!Exited(pid) || OthersRunIn(pid)) && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(kReapStepMs));
    // Also whatever of the group outlived its leader or ignored SIGTERM.
    ::kill(-pid, SIGKILL);
}

}  // namespace tornavel::service
