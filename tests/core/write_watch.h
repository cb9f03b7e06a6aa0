#pragma once
// Watches every write into one memory page, one write at a time: the page is
// made read-only, each write faults, is let through by a single step of the
// processor, and then a check runs on the state that write left behind. So a
// test can see each intermediate state of a sequence of stores that another
// thread could observe, deterministically, without a hook in the code.
// x86-64 Linux only (the single step is the trap flag), and not under the
// sanitizers, whose runtimes take over the handling of these signals.
#include <signal.h>
#include <sys/mman.h>
#include <ucontext.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <new>
#include <stdexcept>
#include <utility>
#include <vector>

namespace tornavel::testing {

#if defined(__x86_64__) && defined(__linux__) && !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
inline constexpr bool kCanWatchWrites = true;
#else
inline constexpr bool kCanWatchWrites = false;
#endif

// An object of type T alone in page-aligned memory of its own, so that
// watching its pages touches nothing else.
template <typename T>
class PageHome {
public:
    template <typename... Args>
    explicit PageHome(Args&&... args)
    {
        const std::size_t page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
        size_ = (sizeof(T) + page - 1) / page * page;
        memory_ = ::mmap(nullptr, size_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (memory_ == MAP_FAILED) throw std::runtime_error("mmap failed");
        object_ = new (memory_) T(std::forward<Args>(args)...);
    }
    ~PageHome()
    {
        object_->~T();
        ::munmap(memory_, size_);
    }
    PageHome(const PageHome&) = delete;
    PageHome& operator=(const PageHome&) = delete;
    T& operator*() { return *object_; }
    T* operator->() { return object_; }

private:
    void* memory_ = nullptr;
    std::size_t size_ = 0;
    T* object_ = nullptr;
};

// While alive, runs `afterWrite` (with the written address) after every write
// into the page that holds `watched`. The check runs inside a signal handler:
// it may only read memory and store into storage reserved beforehand.
class WriteWatch {
public:
    WriteWatch(const void* watched, std::function<void(const void* address)> afterWrite)
    {
        const auto page = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
        State& s = state();
        s.page = reinterpret_cast<void*>(reinterpret_cast<std::uintptr_t>(watched) & ~(page - 1));
        s.pageSize = page;
        s.afterWrite = std::move(afterWrite);
        s.lastAddress = nullptr;
        struct sigaction fault {};
        fault.sa_sigaction = OnFault;
        fault.sa_flags = SA_SIGINFO;
        sigemptyset(&fault.sa_mask);
        struct sigaction step = fault;
        step.sa_sigaction = OnStep;
        ::sigaction(SIGSEGV, &fault, &oldFault_);
        ::sigaction(SIGTRAP, &step, &oldStep_);
        ::mprotect(s.page, s.pageSize, PROT_READ);
    }
    ~WriteWatch()
    {
        State& s = state();
        ::mprotect(s.page, s.pageSize, PROT_READ | PROT_WRITE);
        ::sigaction(SIGSEGV, &oldFault_, nullptr);
        ::sigaction(SIGTRAP, &oldStep_, nullptr);
        s.afterWrite = nullptr;
        s.page = nullptr;
    }
    WriteWatch(const WriteWatch&) = delete;
    WriteWatch& operator=(const WriteWatch&) = delete;

private:
    struct State {
        void* page = nullptr;
        std::uintptr_t pageSize = 0;
        std::function<void(const void*)> afterWrite;
        const void* lastAddress = nullptr;
    };
    static State& state()
    {
        static State s;
        return s;
    }

#if defined(__x86_64__) && defined(__linux__)
    static constexpr long long kTrapFlag = 0x100;

    // A write into the watched page: let this one instruction through.
    static void OnFault(int, siginfo_t* info, void* context)
    {
        State& s = state();
        const auto at = reinterpret_cast<std::uintptr_t>(info->si_addr);
        const auto page = reinterpret_cast<std::uintptr_t>(s.page);
        if (!s.page || at < page || at >= page + s.pageSize) {
            ::signal(SIGSEGV, SIG_DFL);  // a real fault: crash as usual
            return;
        }
        s.lastAddress = info->si_addr;
        ::mprotect(s.page, s.pageSize, PROT_READ | PROT_WRITE);
        static_cast<ucontext_t*>(context)->uc_mcontext.gregs[REG_EFL] |= kTrapFlag;
    }

    // The write has been made: look at its result and watch the next one.
    static void OnStep(int, siginfo_t*, void* context)
    {
        State& s = state();
        static_cast<ucontext_t*>(context)->uc_mcontext.gregs[REG_EFL] &= ~kTrapFlag;
        if (s.afterWrite) s.afterWrite(s.lastAddress);
        ::mprotect(s.page, s.pageSize, PROT_READ);
    }
#else
    static void OnFault(int, siginfo_t*, void*) {}
    static void OnStep(int, siginfo_t*, void*) {}
#endif

    struct sigaction oldFault_ {};
    struct sigaction oldStep_ {};
};

}  // namespace tornavel::testing
