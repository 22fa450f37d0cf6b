#pragma once
// Runs one console program at a time with its standard streams on pipes, reads its output on a
// reader thread and hands every piece, and finally its end, to the UI thread.
// Every operation and every event runs on the UI thread; the UI thread must keep processing events
// while a child runs. Failures throw EWavesmithError with the texts the UI shows.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

enum class TProcessPriority : uint8_t { ppNone, ppIdle, ppNormal, ppHigh, ppRealtime };

class TRedirector;
struct TRedirectorSession; // the state one child's reader shares with the runner (redirect_internal.h)
using TRedirectorDataEvent = std::function<void(TRedirector* sender, const char* buffer, int32_t size)>;
using TNotifyEvent = std::function<void(TRedirector* sender)>;

// How the last child ended, readable during OnTerminated.
struct TChildExit {
    bool Exited = false; // ended by itself with ExitCode
    int ExitCode = 0;
    bool Signalled = false; // killed by Signal
    int Signal = 0;
    bool Terminated = false; // ended through Terminate
};

class TRedirector {
public:
    TRedirector();
    ~TRedirector();
    TRedirector(const TRedirector&) = delete;
    TRedirector& operator=(const TRedirector&) = delete;

    void Execute();
    void Terminate(uint32_t exitCode);
    bool Active() const;
    int64_t ProcessHandle() const; // the child's pid on POSIX; 0 when none
    std::string FullCommandLine() const;

    const std::string& CommandLine() const { return FCommandLine; }
    void SetCommandLine(const std::string& value);
    bool DefaultErrorMode() const { return FDefaultErrorMode; }
    void SetDefaultErrorMode(bool value);
    TProcessPriority InitialPriority() const { return FInitialPriority; }
    void SetInitialPriority(TProcessPriority value);

    // The last child's end; valid from the start of OnTerminated until the next Execute.
    const TChildExit& ExitStatus() const { return FExitStatus; }

    // Plain fields: take effect at the next Execute (KillOnDestroy at destruction).
    std::string ApplicationName;
    std::string CurrentDirectory;
    const char* const* Environment = nullptr; // null: inherit
    uint16_t ShowWindow = 0;
    bool KillOnDestroy = false;
    TRedirectorDataEvent OnData;
    TRedirectorDataEvent OnErrorData;
    TNotifyEvent OnTerminated;

private:
    friend class TRedirectorThread;
    // Steps the reader runs on the UI thread.
    void ReadStdOut(TRedirectorSession& session, int32_t size);
    void ReadStdErr(TRedirectorSession& session, int32_t size);
    void ProcessTerminated(const std::shared_ptr<TRedirectorSession>& session);
    void CloseChild();

    std::string FCommandLine;
    bool FDefaultErrorMode = false;
    TProcessPriority FInitialPriority = TProcessPriority::ppNone;
    TChildExit FExitStatus;
    // The current child's state, shared with its reader; null while idle. The reader keeps it
    // alive, so it outlives the runner while a reader runs.
    std::shared_ptr<TRedirectorSession> FShared;
};
