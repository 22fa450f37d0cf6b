// Starting a child: failures, arguments, folder, environment, priority, standard input.
#include "tests/engine/redirect_support.h"

#include <gtest/gtest.h>

#include <climits>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <linux/capability.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

// Takes the right to raise priorities away from this thread (the one that starts children) while
// it lives, so a raise is refused even to root, as it is to an ordinary user.
class TNoRaisedPriorities {
public:
    TNoRaisedPriorities() {
        Header.version = _LINUX_CAPABILITY_VERSION_3;
        if (::syscall(SYS_capget, &Header, Saved) != 0) return;
        __user_cap_data_struct lowered[2] = {Saved[0], Saved[1]};
        lowered[CAP_TO_INDEX(CAP_SYS_NICE)].effective &= ~CAP_TO_MASK(CAP_SYS_NICE);
        Lowered = ::syscall(SYS_capset, &Header, lowered) == 0;
    }
    ~TNoRaisedPriorities() {
        if (Lowered) ::syscall(SYS_capset, &Header, Saved);
    }

private:
    __user_cap_header_struct Header{};
    __user_cap_data_struct Saved[2]{};
    bool Lowered = false;
};

std::vector<std::string> SplitAtNul(const std::string& bytes) {
    std::vector<std::string> parts;
    size_t start = 0;
    for (size_t end; (end = bytes.find('\0', start)) != std::string::npos; start = end + 1)
        parts.push_back(bytes.substr(start, end - start));
    return parts;
}

// Sets an environment variable while it lives.
class TEnvironmentValue {
public:
    TEnvironmentValue(const char* name, const std::string& value) : Name(name) {
        if (const char* old = std::getenv(name)) Saved = old, HadValue = true;
        ::setenv(name, value.c_str(), 1);
    }
    ~TEnvironmentValue() {
        if (HadValue)
            ::setenv(Name, Saved.c_str(), 1);
        else
            ::unsetenv(Name);
    }

private:
    const char* Name;
    std::string Saved;
    bool HadValue = false;
};

uint64_t SignalBit(int number) {
    return uint64_t{1} << (number - 1);
}

} // namespace

TEST(RedirectorExecute, MissingProgramFailsWithCodeTwoAndLeavesNothingOpen) {
    TRedirector runner;
    TRunRecorder recorder;
    recorder.Attach(runner);
    const int fdsBefore = OpenFdCount();
    for (const std::string line :
         {"/nonexistent-folder/program --decode a b", "wavesmith-no-such-program-here x"}) {
        runner.SetCommandLine(line);
        EXPECT_EQ(ErrorOf([&] { runner.Execute(); }), "Error creating process : 2") << line;
        EXPECT_FALSE(runner.Active());
        EXPECT_EQ(runner.ProcessHandle(), 0);
        EXPECT_EQ(OpenFdCount(), fdsBefore);
    }
    // Still usable afterwards.
    runner.SetCommandLine(ChildLine({"out:ok"}));
    runner.Execute();
    ASSERT_TRUE(recorder.WaitEnded());
    EXPECT_EQ(recorder.Out, "ok");
}

TEST(RedirectorExecute, BlankCommandLineFailsBeforeAnythingIsCreated) {
    TRedirector runner;
    const int fdsBefore = OpenFdCount();
    for (const std::string line : {"", "   ", " \t\r\n\x01 "}) {
        runner.SetCommandLine(line);
        EXPECT_EQ(ErrorOf([&] { runner.Execute(); }), "No commandline to run");
        EXPECT_FALSE(runner.Active());
    }
    EXPECT_EQ(OpenFdCount(), fdsBefore);
}

TEST(RedirectorExecute, ExecuteWhileActiveFailsAndLeavesTheChildRunning) {
    TRedirector runner;
    TRunRecorder recorder;
    recorder.Attach(runner);
    runner.SetCommandLine(ChildLine({"out:first", "sleep:300", "out:second", "hang"}));
    runner.Execute();
    const int64_t pid = runner.ProcessHandle();
    EXPECT_GT(pid, 0);
    EXPECT_EQ(ErrorOf([&] { runner.Execute(); }), "Process is already active");
    EXPECT_EQ(runner.ProcessHandle(), pid);
    ASSERT_TRUE(WaitFor([&] { return recorder.Out == "firstsecond"; }));
    runner.Terminate(0);
    ASSERT_TRUE(recorder.WaitEnded());
    EXPECT_EQ(recorder.Ended, 1);
}

TEST(RedirectorExecute, EveryArgumentArrivesIntact) {
    const std::vector<std::string> arguments = {"with blanks  inside",
                                                "quote\"inside",
                                                "\"quoted\"",
                                                "-leading-dash",
                                                "trailing\\",
                                                "back\\\\\"slash\\",
                                                "\xc3\xbcml\xc3\xa4ut \xff\x80",
                                                "",
                                                "tab\there",
                                                "/path with/several  blanks/x.mp3"};
    std::vector<std::string> commands = {"echo-args"};
    commands.insert(commands.end(), arguments.begin(), arguments.end());
    TRedirector runner;
    TRunRecorder recorder;
    recorder.Attach(runner);
    runner.SetCommandLine(ChildLine(commands));
    runner.Execute();
    ASSERT_TRUE(recorder.WaitEnded());
    EXPECT_EQ(SplitAtNul(recorder.Out), arguments);
}

TEST(RedirectorExecute, ApplicationNameFolderAndEnvironmentAreUsed) {
    TTempDir temp;
    TRedirector runner;
    TRunRecorder recorder;
    recorder.Attach(runner);
    // With an application name, the command line is the whole argument list (argv[0] included).
    runner.ApplicationName = BinaryPath("childtool");
    runner.SetCommandLine("any-name cwd out:| env:WAVESMITH_PROBE");
    EXPECT_EQ(runner.FullCommandLine(), BinaryPath("childtool") + " any-name cwd out:| env:WAVESMITH_PROBE");
    runner.CurrentDirectory = temp.Path();
    const char* const environment[] = {"WAVESMITH_PROBE=42", nullptr};
    runner.Environment = environment;
    runner.Execute();
    ASSERT_TRUE(recorder.WaitEnded());
    char real[PATH_MAX];
    ASSERT_NE(::realpath(temp.Path().c_str(), real), nullptr);
    EXPECT_EQ(recorder.Out, std::string(real) + "|42");
}

TEST(RedirectorExecute, ChildSeesAnOpenEmptyStandardInput) {
    // Whatever the program's own standard input is: here one at its end.
    const int ownInput = ::fcntl(0, F_DUPFD_CLOEXEC, 10);
    const int nothing = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    ASSERT_GE(nothing, 0);
    ASSERT_EQ(::dup2(nothing, 0), 0);
    ::close(nothing);
    TRedirector runner;
    TRunRecorder recorder;
    recorder.Attach(runner);
    runner.SetCommandLine(ChildLine({"stdin-state"}));
    runner.Execute();
    const bool ended = recorder.WaitEnded();
    if (ownInput >= 0) {
        ::dup2(ownInput, 0);
        ::close(ownInput);
    }
    ASSERT_TRUE(ended);
    EXPECT_EQ(recorder.Out, "open-empty");
}

TEST(RedirectorExecute, IdlePriorityIsAppliedAndRefusalsAreIgnored) {
    TRedirector runner;
    TRunRecorder recorder;
    recorder.Attach(runner);
    runner.SetCommandLine(ChildLine({"hang"}));
    runner.SetInitialPriority(TProcessPriority::ppIdle);
    runner.Execute();
    const pid_t pid = static_cast<pid_t>(runner.ProcessHandle());
    errno = 0;
    const bool idle = ::sched_getscheduler(pid) == SCHED_IDLE || ::getpriority(PRIO_PROCESS, pid) == 19;
    EXPECT_TRUE(idle);
    runner.Terminate(0);
    ASSERT_TRUE(recorder.WaitEnded());
    // A refused raise leaves the child at the normal priority, and it starts all the same.
    const TNoRaisedPriorities refused;
    for (const auto priority : {TProcessPriority::ppHigh, TProcessPriority::ppRealtime}) {
        runner.SetInitialPriority(priority);
        runner.SetCommandLine(ChildLine({"hang"}));
        runner.Execute();
        const pid_t raised = static_cast<pid_t>(runner.ProcessHandle());
        errno = 0;
        EXPECT_EQ(::getpriority(PRIO_PROCESS, raised), 0);
        EXPECT_EQ(::sched_getscheduler(raised), SCHED_OTHER);
        runner.Terminate(0);
        ASSERT_TRUE(recorder.WaitEnded(recorder.Ended + 1));
    }
}

// The program is looked up as execvp looks it up, and a start that fails in the child (no such working
// folder, a program that may not run) is reported with the child's error.
TEST(RedirectorExecute, ProgramIsSearchedAsExecvpSearchesAndChildFailuresAreReported) {
    TTempDir temp;
    const auto program = [&](const std::string& path, const std::string& text, mode_t mode) {
        ::chmod(temp.WriteFile(path, text).c_str(), mode);
    };
    program("denied/wavesmith-probe", "#!/bin/sh\nprintf denied\n", 0644);
    program("found/wavesmith-probe", "#!/bin/sh\nprintf 'found %s' \"$1\"\n", 0755);
    program("plain/wavesmith-probe", "printf 'plain %s' \"$1\"\n", 0755); // no #! line: the shell runs it
    struct TCase {
        std::string Path, Directory, Out, Error;
    };
    const std::string base = temp.Path();
    for (const TCase& row : {
             TCase{base + "denied:" + base + "found", "", "found x", ""},
             TCase{base + "missing:" + base + "found", "", "found x", ""},
             TCase{base + "plain", "", "plain x", ""},
             TCase{base + "denied", "", "", "Error creating process : 13"},
             TCase{base + "found", base + "no-such-folder", "", "Error creating process : 2"},
         }) {
        const TEnvironmentValue path("PATH", row.Path);
        TRedirector runner;
        TRunRecorder recorder;
        recorder.Attach(runner);
        runner.CurrentDirectory = row.Directory;
        runner.SetCommandLine("wavesmith-probe x");
        const int fdsBefore = OpenFdCount();
        EXPECT_EQ(ErrorOf([&] { runner.Execute(); }), row.Error) << row.Path;
        if (row.Error.empty()) {
            ASSERT_TRUE(recorder.WaitEnded());
            EXPECT_EQ(recorder.Out, row.Out) << row.Path;
        } else {
            EXPECT_FALSE(runner.Active());
            EXPECT_EQ(OpenFdCount(), fdsBefore);
        }
    }
}

// The child holds nothing of the program's but its three streams, blocks no signal and does not
// inherit an ignored SIGPIPE (an ignored SIGWINCH it keeps); the program's own signal mask is as it was.
TEST(RedirectorExecute, ChildStartsWithOnlyItsStreamsAndNoBlockedSignal) {
    // Planted as the first descriptor after the streams, whatever the program holds there now, and
    // as one further up.
    const int flagsAt3 = ::fcntl(3, F_GETFD);
    const int heldAt3 = flagsAt3 >= 0 ? ::fcntl(3, F_DUPFD_CLOEXEC, 10) : -1;
    const int inheritable = ::open("/dev/null", O_RDONLY);
    ASSERT_GE(inheritable, 0);
    ASSERT_EQ(::dup2(inheritable, 3), 3);
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    struct sigaction savedPipe {
    }, savedWinch{};
    ::sigaction(SIGPIPE, &ignore, &savedPipe);
    ::sigaction(SIGWINCH, &ignore, &savedWinch);
    sigset_t none, saved, maskAfter;
    ::sigemptyset(&none);
    ::pthread_sigmask(SIG_SETMASK, &none, &saved);

    TRedirector runner;
    TRunRecorder recorder;
    recorder.Attach(runner);
    runner.SetCommandLine(ChildLine({"fds", "out:|", "signals"}));
    runner.Execute();
    ::pthread_sigmask(SIG_SETMASK, &saved, &maskAfter);
    const bool ended = recorder.WaitEnded();
    ::sigaction(SIGPIPE, &savedPipe, nullptr);
    ::sigaction(SIGWINCH, &savedWinch, nullptr);
    ::close(inheritable);
    if (heldAt3 >= 0) {
        ::dup3(heldAt3, 3, (flagsAt3 & FD_CLOEXEC) ? O_CLOEXEC : 0);
        ::close(heldAt3);
    } else if (inheritable != 3) {
        ::close(3);
    }
    ASSERT_TRUE(ended);

    for (int number = 1; number < SIGRTMIN; ++number)
        EXPECT_FALSE(::sigismember(&maskAfter, number)) << number;
    const size_t bar = recorder.Out.find('|');
    ASSERT_NE(bar, std::string::npos) << recorder.Out;
    EXPECT_EQ(recorder.Out.substr(0, bar), "0 1 2");
    const std::string state = recorder.Out.substr(bar + 1);
    const uint64_t blocked = std::stoull(state, nullptr, 16);
    const uint64_t ignored = std::stoull(state.substr(state.find(' ') + 1), nullptr, 16);
    EXPECT_EQ(blocked, 0u) << state;
    EXPECT_EQ(ignored & SignalBit(SIGPIPE), 0u) << state;
    EXPECT_NE(ignored & SignalBit(SIGWINCH), 0u) << state;
}
