#pragma once
// The seam between the runner's logic and the operating system: one child with its three pipes,
// its end and its exit status, and the wake-up of the UI thread. One backend per platform
// (redirect_posix.cpp, redirect_win.cpp) implements it; nothing else in the runner is
// platform-specific.
#include "engine/redirect.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

enum class TRedirectStream { Out, Err };

// What went wrong, so the logic side owns every message text.
enum class TRedirectFailure {
    StdInCreate,
    StdOutCreate,
    StdErrCreate,
    StdInDuplicate,
    StdOutDuplicate,
    StdErrDuplicate,
    CreateProcess,
};

// Throws EWavesmithError with the failure's text followed by the system error code.
[[noreturn]] void RaiseRedirectFailure(TRedirectFailure failure, int code);

struct TChildStart {
    std::string ApplicationName; // empty (after trimming): the program is the line's first argument
    std::string CommandLine;     // the full command line, split by SplitCommandLine
    std::string CurrentDirectory;
    const char* const* Environment = nullptr;
    TProcessPriority Priority = TProcessPriority::ppNone;
    bool DefaultErrorMode = false;
    uint16_t ShowWindow = 0;
};

// One child and the runner's ends of its pipes. Thread rules (kept by the runner): Peek, Read and
// WaitForEnd run on one thread at a time; Kill and ExitStatus may run on any thread.
class TChildProcess {
public:
    TChildProcess();
    ~TChildProcess(); // Close()
    TChildProcess(const TChildProcess&) = delete;
    TChildProcess& operator=(const TChildProcess&) = delete;

    // Creates the three pipes; throws the pipe creation or duplication failure.
    void CreatePipes();
    // Starts the child on the pipes; throws the CreateProcess failure.
    void Start(const TChildStart& start);
    int64_t Id() const;

    // Bytes waiting in a pipe; 0 when none or when the pipe cannot be asked.
    int32_t Peek(TRedirectStream stream);
    // Reads exactly size bytes that Peek reported; returns 0 or the system error code.
    int Read(TRedirectStream stream, char* buffer, int32_t size);
    // Gives up a pipe that cannot be read any more.
    void CloseStream(TRedirectStream stream);

    // Waits up to timeoutMs for the child's end; true once it has ended (its status recorded).
    bool WaitForEnd(int timeoutMs);
    // Kills the child unless it has already been reaped; exitCode is kept for the status.
    void Kill(uint32_t exitCode);
    TChildExit ExitStatus() const;

    // Closes every handle. A child that was started and has not been seen to end is killed and
    // reaped first, so no zombie is left behind.
    void Close();

private:
    struct TImpl;
    std::unique_ptr<TImpl> FImpl;
};

// Wakes the UI thread from any thread. Created once on the UI thread; onWake then runs there
// after every Signal (several signals may be merged into one call). Lives as long as the process.
class TUiWake {
public:
    explicit TUiWake(std::function<void()> onWake);
    void Signal();

private:
    struct TImpl;
    TImpl* FImpl; // never released: readers may signal until the process ends
};
