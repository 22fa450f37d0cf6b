// The runner's POSIX backend: pipes whose runner ends are close-on-exec, a child (started without
// copying the program's memory) with the other ends as its fd 0/1/2 that dies with the program,
// FIONREAD as the peek, a pidfd (or waitpid polling) as the wait on the process, SIGKILL for
// Terminate, and an eventfd to wake the UI thread.
#include "engine/commandline.h"
#include "engine/redirect_platform.h"
#include "engine/spawn_posix.h"
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

// Where execvp would look for the program, in its order: the program itself when it names a folder
// or is not to be searched, else each folder of PATH (an empty one meaning the working folder).
std::vector<std::string> ProgramPaths(const std::string& program, bool search) {
    if (!search || program.find('/') != std::string::npos) return {program};
    if (program.empty()) return {};
    const char* path = ::getenv("PATH");
    const std::string folders = path ? path : "/bin:/usr/bin";
    std::vector<std::string> paths;
    for (size_t start = 0;;) {
        const size_t end = std::min(folders.find(':', start), folders.size());
        const std::string folder = folders.substr(start, end - start);
        paths.push_back(folder.empty() ? program : folder + "/" + program);
        if (end == folders.size()) break;
        start = end + 1;
    }
    return paths;
}

std::vector<char*> Pointers(std::vector<std::string>& texts) {
    std::vector<char*> pointers;
    pointers.reserve(texts.size() + 1);
    for (std::string& text : texts)
        pointers.push_back(text.data());
    pointers.push_back(nullptr);
    return pointers;
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
    // Every buffer the child reads is made here: the child may not allocate.
    std::vector<char*> argv = Pointers(arguments);
    std::vector<std::string> programPaths = ProgramPaths(program, search);
    std::vector<char*> programs = Pointers(programPaths);
    std::string shell = "/bin/sh";
    std::vector<char*> script = {shell.data(), nullptr};
    script.insert(script.end(), argv.begin() + 1, argv.end());
    std::vector<char*> environment;
    for (char* const* entry = start.Environment ? const_cast<char* const*>(start.Environment) : environ;
         *entry; ++entry)
        environment.push_back(*entry);
    environment.push_back(nullptr);

    TSpawnPlan plan;
    plan.In = FImpl->InRead;
    plan.Out = FImpl->OutWrite;
    plan.Err = FImpl->ErrWrite;
    plan.Directory = start.CurrentDirectory.empty() ? nullptr : start.CurrentDirectory.c_str();
    plan.Programs = programs.data();
    plan.Argv = argv.data();
    plan.Script = search ? script.data() : nullptr;
    plan.Environment = environment.data();
    plan.Parent = ::getpid();
    const pid_t pid = SpawnProcess(plan);
    if (pid < 0) RaiseRedirectFailure(TRedirectFailure::CreateProcess, errno);

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
