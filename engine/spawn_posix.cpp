// The child runs on a small stack of its own while the parent's thread waits, and makes raw system
// calls only: no allocation, no lock, no state of the C library, nothing that a sanitizer's wrappers
// would record as the parent's (this file is built without sanitizers for that reason).
#include "engine/spawn_posix.h"

#include <cerrno>
#include <csignal>
#include <cstring>

#include <sched.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#if !defined(__x86_64__) && !defined(__aarch64__) && !defined(__i386__) && !defined(__arm__)
#error "the kernel's sigaction record of this architecture is not known here"
#endif

#ifdef __GLIBC__
// The C library's own name of clone: the thread sanitizer's wrapper of `clone` takes every clone for
// a fork and resets its bookkeeping in the child, which here is the parent's memory.
extern "C" int __clone(int (*entry)(void*), void* stack, int flags, void* argument, ...);
#endif

namespace {

constexpr int SignalCount = 64;
constexpr long SigsetBytes = SignalCount / 8;
using TKernelSigset = unsigned long[SignalCount / (8 * sizeof(unsigned long))];

// The kernel's sigaction record, which is not the C library's.
struct TKernelSigaction {
    void (*Handler)(int) = SIG_DFL;
    unsigned long Flags = 0;
    void (*Restorer)() = nullptr;
    TKernelSigset Mask{};
};

// Signals that the program may ignore and a child must not inherit ignored.
bool AlwaysDefault(int number) {
    switch (number) {
    case SIGPIPE:
    case SIGINT:
    case SIGQUIT:
    case SIGTERM:
    case SIGHUP:
    case SIGCHLD:
    case SIGALRM:
    case SIGUSR1:
    case SIGUSR2:
        return true;
    default:
        return false;
    }
}

// The program's handlers must never run in the child, which shares its memory: back to the default
// action, then no signal blocked.
void ResetSignals() {
    const TKernelSigaction standard;
    for (int number = 1; number <= SignalCount; ++number) {
        if (number == SIGKILL || number == SIGSTOP) continue;
        TKernelSigaction now;
        if (::syscall(SYS_rt_sigaction, number, nullptr, &now, SigsetBytes) != 0) continue;
        const bool handled = now.Handler != SIG_DFL && now.Handler != SIG_IGN;
        if (handled || (now.Handler == SIG_IGN && AlwaysDefault(number)))
            ::syscall(SYS_rt_sigaction, number, &standard, nullptr, SigsetBytes);
    }
    const TKernelSigset none{};
    ::syscall(SYS_rt_sigprocmask, SIG_SETMASK, none, nullptr, SigsetBytes);
}

// Tries the program's paths as execvp does; returns only on failure, with the error to report.
int RunProgram(TSpawnPlan& plan) {
    bool denied = false;
    int error = ENOENT;
    for (const char* const* program = plan.Programs; *program; ++program) {
        ::syscall(SYS_execve, *program, plan.Argv, plan.Environment);
        error = errno;
        if (error == ENOEXEC && plan.Script) {
            plan.Script[1] = const_cast<char*>(*program);
            ::syscall(SYS_execve, plan.Script[0], plan.Script, plan.Environment);
            error = errno;
        }
        switch (error) {
        case EACCES:
            denied = true;
            [[fallthrough]];
        case ENOENT:
        case ENOTDIR:
        case ESTALE:
        case ENODEV:
        case ETIMEDOUT:
            continue; // the next folder of the search may hold it
        default:
            return error;
        }
    }
    return denied ? EACCES : error;
}

int RunChild(void* argument) {
    TSpawnPlan& plan = *static_cast<TSpawnPlan*>(argument);
    // A decoder must not live on when the program is killed or ends by a signal.
    ::syscall(SYS_prctl, PR_SET_PDEATHSIG, SIGKILL, 0, 0, 0);
    if (::syscall(SYS_getppid) != plan.Parent) return 127; // the program ended before the request took
    ResetSignals();
    if (::syscall(SYS_dup3, plan.In, 0, 0) < 0 || ::syscall(SYS_dup3, plan.Out, 1, 0) < 0 ||
        ::syscall(SYS_dup3, plan.Err, 2, 0) < 0 ||
        (plan.Directory && ::syscall(SYS_chdir, plan.Directory) != 0)) {
        plan.ChildError = errno;
        return 127;
    }
    // Nothing else of the program's leaks into the child (kernels without close_range leave only
    // descriptors that close themselves at the exec).
    ::syscall(SYS_close_range, 3u, ~0u, 0u);
    plan.ChildError = RunProgram(plan);
    return 127;
}

} // namespace

pid_t SpawnProcess(TSpawnPlan& plan) {
    constexpr size_t StackBytes = 64 * 1024;
    void* stack =
        ::mmap(nullptr, StackBytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_STACK, -1, 0);
    if (stack == MAP_FAILED) return -1;
    // Every signal waits until the child has reset the handlers; the C library's own ones as well.
    TKernelSigset all, saved;
    std::memset(all, 0xff, sizeof all);
    ::syscall(SYS_rt_sigprocmask, SIG_SETMASK, all, saved, SigsetBytes);
    plan.ChildError = 0;
    errno = 0; // the child's first use of errno must not be the one that looks up where it lives
#ifdef __GLIBC__
    const pid_t pid =
        __clone(RunChild, static_cast<char*>(stack) + StackBytes, CLONE_VM | CLONE_VFORK | SIGCHLD, &plan);
#else
    const pid_t pid =
        ::clone(RunChild, static_cast<char*>(stack) + StackBytes, CLONE_VM | CLONE_VFORK | SIGCHLD, &plan);
#endif
    const int cloneError = errno;
    ::syscall(SYS_rt_sigprocmask, SIG_SETMASK, saved, nullptr, SigsetBytes);
    ::munmap(stack, StackBytes);
    if (pid < 0) {
        errno = cloneError;
        return -1;
    }
    // The child has run its program or given up by now: CLONE_VFORK held this thread until then.
    if (plan.ChildError != 0) {
        while (::waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
        }
        errno = plan.ChildError;
        return -1;
    }
    return pid;
}
