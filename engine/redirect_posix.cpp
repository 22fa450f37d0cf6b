// The runner's POSIX backend: pipes whose runner ends are close-on-exec, a forked child with the
// other ends as its fd 0/1/2 that dies with the program, FIONREAD as the peek, a pidfd (or waitpid polling)
// as the wait on the process, SIGKILL for Terminate, and an eventfd to wake the UI thread.
#include "engine/commandline.h"
#include "engine/redirect_platform.h"
#include "settings/errors.h"

#include <QObject>
#include <QSocketNotifier>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <csignal>
#include <mutex>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <sched.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

struct TChildProcess::TImpl {
    // The child's ends (In read, Out/Err write) are closed once the child holds its copies.
    int InRead = -1, InWrite = -1, OutRead = -1, OutWrite = -1, ErrRead = -1, ErrWrite = -1;
    pid_t Pid = 0;
    int PidFd = -1;

    // Guards the child's pid between a kill on the UI thread and the reap on the reader, so a
    // signal never reaches a recycled pid.
    mutable std::mutex Lock;
    bool Reaped = false;
    bool KillSent = false;
    uint32_t KillCode = 0;
    TChildExit Exit;

    bool HungUp[2] = {false, false}; // the pipe's writer is gone and nothing is left in it

    int& ReadEnd(TRedirectStream stream) { return stream == TRedirectStream::Out ? OutRead : ErrRead; }
    void MarkHungUp(int fd) { HungUp[fd == OutRead ? 0 : 1] = true; }
    bool TryReap();
    void Record(int status);
};

namespace {

void CloseFd(int& fd) {
    if (fd >= 0) ::close(fd);
    fd = -1;
}

// Keeps a pipe end off fd 0-2, so placing the child's ends there never overwrites another one.
int AboveStandardFds(int fd) {
    if (fd > 2) return fd;
    const int moved = ::fcntl(fd, F_DUPFD_CLOEXEC, 3);
    const int error = errno;
    ::close(fd);
    errno = error;
    return moved;
}

// What the forked child needs, prepared before the fork: between fork and exec the child may only
// make async-signal-safe calls, so nothing there allocates.
struct TChildSetup {
    int In, Out, Err;
    const char* Directory;
    bool ChangeDirectory;
    const char* Program;
    char* const* Argv;
    char* const* Environment;
    bool Search; // look the program up in PATH
    pid_t Parent;
};

// In the forked child: ask to die with the program, reset the signals, place the pipe ends as
// fd 0/1/2, close everything else, and run the program. A failure is written to report as errno.
[[noreturn]] void RunChild(const TChildSetup& setup, int report) {
    // A decoder must not live on when the program is killed or ends by a signal.
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (::getppid() != setup.Parent) ::_exit(127); // the program ended before the request took
    struct sigaction standard {};
    standard.sa_handler = SIG_DFL;
    for (const int number : {SIGPIPE, SIGINT, SIGQUIT, SIGTERM, SIGHUP, SIGCHLD, SIGALRM, SIGUSR1, SIGUSR2})
        ::sigaction(number, &standard, nullptr);
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    int error = 0;
    if (::dup2(setup.In, 0) < 0 || ::dup2(setup.Out, 1) < 0 || ::dup2(setup.Err, 2) < 0 ||
        (setup.ChangeDirectory && ::chdir(setup.Directory) != 0)) {
        error = errno;
    } else {
        // Nothing else of ours leaks into the child; the report pipe closes itself at the exec.
        if (report > 3) ::syscall(SYS_close_range, 3u, static_cast<unsigned>(report - 1), 0u);
        ::syscall(SYS_close_range, static_cast<unsigned>(report + 1), ~0u, 0u);
        if (setup.Search)
            ::execvpe(setup.Program, setup.Argv, setup.Environment);
        else
            ::execve(setup.Program, setup.Argv, setup.Environment);
        error = errno;
    }
    while (::write(report, &error, sizeof error) < 0 && errno == EINTR) {
    }
    ::_exit(127);
}

// Forks and runs the child; a child that could not run its program is reaped and reported.
pid_t SpawnChild(const TChildSetup& setup) {
    int report[2];
    if (::pipe2(report, O_CLOEXEC) != 0) RaiseRedirectFailure(TRedirectFailure::CreateProcess, errno);
    const pid_t pid = ::fork();
    if (pid == 0) RunChild(setup, report[1]);
    const int forkError = errno;
    ::close(report[1]);
    if (pid < 0) {
        ::close(report[0]);
        RaiseRedirectFailure(TRedirectFailure::CreateProcess, forkError);
    }
    int childError = 0;
    ssize_t got;
    do
        got = ::read(report[0], &childError, sizeof childError);
    while (got < 0 && errno == EINTR);
    ::close(report[0]);
    if (got == static_cast<ssize_t>(sizeof childError)) {
        while (::waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
        }
        RaiseRedirectFailure(TRedirectFailure::CreateProcess, childError);
    }
    return pid;
}

void MakePipe(int& readEnd, int& writeEnd, TRedirectFailure failure) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) RaiseRedirectFailure(failure, errno);
    readEnd = AboveStandardFds(fds[0]);
    writeEnd = AboveStandardFds(fds[1]);
    if (readEnd < 0 || writeEnd < 0) RaiseRedirectFailure(failure, errno);
}

// Maps a priority class onto the scheduler; a refused change leaves the child as it is.
void ApplyPriority(pid_t pid, TProcessPriority priority) {
    sched_param param{};
    switch (priority) {
    case TProcessPriority::ppNone:
        break;
    case TProcessPriority::ppIdle:
        if (::sched_setscheduler(pid, SCHED_IDLE, &param) != 0) ::setpriority(PRIO_PROCESS, pid, 19);
        break;
    case TProcessPriority::ppNormal:
        ::setpriority(PRIO_PROCESS, pid, 0);
        break;
    case TProcessPriority::ppHigh:
        ::setpriority(PRIO_PROCESS, pid, -10);
        break;
    case TProcessPriority::ppRealtime: {
        param.sched_priority = ::sched_get_priority_min(SCHED_RR);
        if (::sched_setscheduler(pid, SCHED_RR, &param) == 0) break;
        // Else the lowest nice value the limit allows, if that is stronger than the current one.
        rlimit limit{};
        int floor = -20;
        if (::getrlimit(RLIMIT_NICE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY)
            floor = std::max(-20, 20 - static_cast<int>(std::min<rlim_t>(limit.rlim_cur, 40)));
        errno = 0;
        const int current = ::getpriority(PRIO_PROCESS, pid);
        if (errno == 0 && floor < current && ::setpriority(PRIO_PROCESS, pid, -20) != 0)
            ::setpriority(PRIO_PROCESS, pid, floor);
        break;
    }
    }
}

} // namespace

bool TChildProcess::TImpl::TryReap() {
    std::lock_guard guard(Lock);
    if (Reaped) return true;
    int status = 0;
    const pid_t result = ::waitpid(Pid, &status, WNOHANG);
    if (result == Pid) {
        Record(status);
    } else if (result < 0 && errno == ECHILD) {
        Exit = {}; // reaped elsewhere (SIGCHLD ignored): ended, status unknown
    } else {
        return false;
    }
    Reaped = true;
    return true;
}

void TChildProcess::TImpl::Record(int status) {
    Exit = {};
    if (WIFEXITED(status)) {
        Exit.Exited = true;
        Exit.ExitCode = WEXITSTATUS(status);
    } else if (WIFSIGNALED(status)) {
        Exit.Signalled = true;
        Exit.Signal = WTERMSIG(status);
        // Ended by our kill: report the exit code that Terminate asked for.
        if (KillSent && Exit.Signal == SIGKILL) {
            Exit.Terminated = true;
            Exit.ExitCode = static_cast<int>(KillCode);
        }
    }
}

TChildProcess::TChildProcess() : FImpl(std::make_unique<TImpl>()) {}

TChildProcess::~TChildProcess() {
    Close();
}

void TChildProcess::CreatePipes() {
    MakePipe(FImpl->InRead, FImpl->InWrite, TRedirectFailure::StdInCreate);
    MakePipe(FImpl->OutRead, FImpl->OutWrite, TRedirectFailure::StdOutCreate);
    MakePipe(FImpl->ErrRead, FImpl->ErrWrite, TRedirectFailure::StdErrCreate);
}

void TChildProcess::Start(const TChildStart& start) {
    std::vector<std::string> arguments = SplitCommandLine(start.CommandLine);
    std::string program;
    const bool search = start.ApplicationName.empty();
    if (search) {
        if (arguments.empty()) RaiseRedirectFailure(TRedirectFailure::CreateProcess, ENOENT);
        program = arguments.front();
    } else {
        program = start.ApplicationName;
        if (arguments.empty()) arguments.push_back(program);
    }
    // A relative program path means the runner's folder, also when the child starts elsewhere.
    if (!start.CurrentDirectory.empty() && program.find('/') != std::string::npos && program.front() != '/') {
        char cwd[PATH_MAX];
        if (::getcwd(cwd, sizeof cwd)) program = std::string(cwd) + "/" + program;
    }
    std::vector<char*> argv;
    for (auto& argument : arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);

    const TChildSetup setup{FImpl->InRead,
                            FImpl->OutWrite,
                            FImpl->ErrWrite,
                            start.CurrentDirectory.c_str(),
                            !start.CurrentDirectory.empty(),
                            program.c_str(),
                            argv.data(),
                            start.Environment ? const_cast<char* const*>(start.Environment) : environ,
                            search,
                            ::getpid()};
    const pid_t pid = SpawnChild(setup);

    FImpl->Pid = pid;
    FImpl->PidFd = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0)); // -1: poll waitpid instead
    CloseFd(FImpl->InRead);
    CloseFd(FImpl->OutWrite);
    CloseFd(FImpl->ErrWrite);
    ApplyPriority(pid, start.Priority);
    // The error mode and the show command have no meaning here.
}

int64_t TChildProcess::Id() const {
    return FImpl->Pid;
}

int32_t TChildProcess::Peek(TRedirectStream stream) {
    const int fd = FImpl->ReadEnd(stream);
    int waiting = 0;
    if (fd < 0 || ::ioctl(fd, FIONREAD, &waiting) != 0) return 0;
    return waiting;
}

int TChildProcess::Read(TRedirectStream stream, char* buffer, int32_t size) {
    const int fd = FImpl->ReadEnd(stream);
    int32_t done = 0;
    while (done < size) {
        const ssize_t got = ::read(fd, buffer + done, static_cast<size_t>(size - done));
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return errno;
        if (got == 0) return EIO; // the bytes that the peek reported are gone
        done += static_cast<int32_t>(got);
    }
    return 0;
}

void TChildProcess::CloseStream(TRedirectStream stream) {
    CloseFd(FImpl->ReadEnd(stream));
}

bool TChildProcess::WaitForEnd(int timeoutMs) {
    // Output arriving also ends the wait, so a child that writes in bursts is served at once; a
    // pipe whose writer is gone is left out, so it does not wake the reader over and over.
    pollfd waits[3];
    nfds_t count = 0;
    for (const TRedirectStream stream : {TRedirectStream::Out, TRedirectStream::Err}) {
        const int fd = FImpl->ReadEnd(stream);
        if (fd >= 0 && !FImpl->HungUp[static_cast<int>(stream)]) waits[count++] = {fd, POLLIN, 0};
    }
    const nfds_t pipes = count;
    if (FImpl->PidFd >= 0) waits[count++] = {FImpl->PidFd, POLLIN, 0};
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        // Without a pidfd the process is polled with waitpid every few milliseconds.
        const int step = FImpl->PidFd >= 0 ? static_cast<int>(std::max<int64_t>(left.count(), 0))
                                           : static_cast<int>(std::clamp<int64_t>(left.count(), 0, 5));
        const int ready = ::poll(waits, count, step);
        if (ready < 0 && errno != EINTR) return false;
        if (FImpl->PidFd >= 0 && ready > 0 && waits[count - 1].revents != 0) return FImpl->TryReap();
        bool output = false;
        for (nfds_t i = 0; ready > 0 && i < pipes; ++i) {
            if (waits[i].revents & POLLIN)
                output = true;
            else if (waits[i].revents & (POLLHUP | POLLERR))
                FImpl->MarkHungUp(waits[i].fd);
        }
        if (output) return false;
        if (FImpl->PidFd < 0 && FImpl->TryReap()) return true;
        if (std::chrono::steady_clock::now() >= deadline || ready > 0) return false;
    }
}

void TChildProcess::Kill(uint32_t exitCode) {
    std::lock_guard guard(FImpl->Lock);
    if (FImpl->Pid <= 0 || FImpl->Reaped) return;
    if (::kill(FImpl->Pid, SIGKILL) == 0 && !FImpl->KillSent) {
        FImpl->KillSent = true;
        FImpl->KillCode = exitCode;
    }
}

TChildExit TChildProcess::ExitStatus() const {
    std::lock_guard guard(FImpl->Lock);
    return FImpl->Exit;
}

void TChildProcess::Close() {
    for (int* fd : {&FImpl->InRead, &FImpl->InWrite, &FImpl->OutRead, &FImpl->OutWrite, &FImpl->ErrRead,
                    &FImpl->ErrWrite})
        CloseFd(*fd);
    {
        std::lock_guard guard(FImpl->Lock);
        if (FImpl->Pid > 0 && !FImpl->Reaped) {
            ::kill(FImpl->Pid, SIGKILL);
            int status = 0;
            while (::waitpid(FImpl->Pid, &status, 0) < 0 && errno == EINTR) {
            }
            FImpl->Reaped = true;
        }
    }
    CloseFd(FImpl->PidFd);
}

struct TUiWake::TImpl {
    int Fd = -1;
    std::function<void()> OnWake;
    QSocketNotifier* Notifier = nullptr; // kept, like the rest, for the life of the process
};

TUiWake::TUiWake(std::function<void()> onWake) : FImpl(new TImpl) {
    FImpl->OnWake = std::move(onWake);
    FImpl->Fd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (FImpl->Fd < 0) {
        const int error = errno;
        delete FImpl;
        throw EWavesmithError("Cannot create the reader's wake-up : " + std::to_string(error));
    }
    TImpl* impl = FImpl;
    impl->Notifier = new QSocketNotifier(impl->Fd, QSocketNotifier::Read);
    QObject::connect(impl->Notifier, &QSocketNotifier::activated, impl->Notifier, [impl] {
        // Consume the signal before looking at the work, so a later signal is never lost.
        eventfd_t count = 0;
        ::eventfd_read(impl->Fd, &count);
        impl->OnWake();
    });
}

void TUiWake::Signal() {
    while (::eventfd_write(FImpl->Fd, 1) != 0 && errno == EINTR) {
    }
}
