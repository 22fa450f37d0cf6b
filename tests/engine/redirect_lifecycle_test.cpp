// The order of the events, the end of a child (by itself or through Terminate), its exit status,
// and the properties that may not change while a child runs.
#include "tests/engine/redirect_support.h"

#include <gtest/gtest.h>

#include "engine/redirect_platform.h"

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <thread>

#include <sys/wait.h>
#include <unistd.h>

namespace {

// Running or stopped, but neither gone nor a zombie waiting for its parent.
bool ProcessRuns(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(stat, line)) return false;
    const size_t end = line.rfind(')');
    return end != std::string::npos && end + 2 < line.size() && line[end + 2] != 'Z';
}

} // namespace

TEST(RedirectorEnd, ChildEndsWithTheProgramThatStartedIt) {
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    const pid_t program = ::fork();
    if (program == 0) {
        // The stand-in program starts a child the way the runner does, then is killed.
        ::close(fds[0]);
        TChildProcess child;
        TChildStart start;
        start.CommandLine = ChildLine({"hang"});
        try {
            child.CreatePipes();
            child.Start(start);
        } catch (...) {
            ::_exit(1);
        }
        const pid_t pid = static_cast<pid_t>(child.Id());
        (void)!::write(fds[1], &pid, sizeof pid);
        for (;;)
            ::pause();
    }
    ::close(fds[1]);
    pid_t child = 0;
    const ssize_t got = ::read(fds[0], &child, sizeof child);
    ::close(fds[0]);
    ASSERT_EQ(got, static_cast<ssize_t>(sizeof child));
    ASSERT_TRUE(ProcessRuns(child));
    ::kill(program, SIGKILL);
    ::waitpid(program, nullptr, 0);
    const bool ended = WaitFor([&] { return !ProcessRuns(child); }, 5000);
    if (!ended) ::kill(child, SIGKILL);
    EXPECT_TRUE(ended) << "the child outlived the program that started it";
}

TEST(RedirectorEnd, SilentChildGivesExactlyOneEndAndNoData) {
    TRedirector runner;
    TRunRecorder recorder;
    recorder.Attach(runner);
    runner.SetCommandLine(ChildLine({}));
    runner.Execute();
    ASSERT_TRUE(recorder.WaitEnded());
    EXPECT_FALSE(runner.Active());
    // A second child on the same runner: had the first end come twice, the count would be 3.
    runner.Execute();
    ASSERT_TRUE(recorder.WaitEnded(2));
    EXPECT_EQ(recorder.Order, "tt");
}

TEST(RedirectorEnd, OutputOfAChildThatExitsAtOnceComesBeforeTheEnd) {
    TRedirector runner;
    TRunRecorder recorder;
    recorder.Attach(runner);
    // The pause keeps the order of the two streams fixed: a reader that peeked standard output just
    // before it was written would otherwise find standard error first.
    runner.SetCommandLine(ChildLine({"out:hello\\n", "sleep:50", "err:oops\\n", "exit:0"}));
    runner.Execute();
    ASSERT_TRUE(recorder.WaitEnded());
    EXPECT_EQ(recorder.Out, "hello\n");
    EXPECT_EQ(recorder.Err, "oops\n");
    EXPECT_EQ(recorder.Order, "oet");
}

TEST(RedirectorEnd, LineWrittenInTwoPartsArrivesAsTwoPieces) {
    TRedirector runner;
    TRunRecorder recorder;
    recorder.Attach(runner);
    runner.SetCommandLine(ChildLine({"out:first half ", "sleep:400", "out:second half\\nnext line\\n"}));
    runner.Execute();
    ASSERT_TRUE(recorder.WaitEnded());
    // Neither joined into a line nor cut at the line break.
    EXPECT_EQ(recorder.OutPieces, (std::vector<std::string>{"first half ", "second half\nnext line\n"}));
}

TEST(RedirectorEnd, InsideTheEndTheRunnerIsStillActive) {
    TRedirector runner;
    bool activeInside = false;
    std::string executeInside;
    int ended = 0;
    runner.OnTerminated = [&](TRedirector* sender) {
        ++ended;
        EXPECT_EQ(sender, &runner);
        activeInside = runner.Active();
        executeInside = ErrorOf([&] { runner.Execute(); });
    };
    runner.SetCommandLine(ChildLine({"out:x"}));
    runner.Execute();
    ASSERT_TRUE(WaitFor([&] { return ended == 1; }));
    EXPECT_TRUE(activeInside);
    EXPECT_EQ(executeInside, "Process is already active");
    EXPECT_FALSE(runner.Active());
    EXPECT_EQ(runner.ProcessHandle(), 0);
    runner.Execute();
    ASSERT_TRUE(WaitFor([&] { return ended == 2; }));
}

TEST(RedirectorEnd, HandlerErrorsStopTheDataButTheEndStillComes) {
    TRedirector runner;
    TRunRecorder recorder;
    recorder.Attach(runner);
    int pieces = 0;
    runner.OnData = [&](TRedirector*, const char*, int32_t) {
        ++pieces;
        throw EWavesmithError("handler failed");
    };
    // Far more than a pipe holds: the child can only finish if the pipe is still drained.
    runner.SetCommandLine(ChildLine({"flood-out:4000000", "err:tail", "exit:3"}));
    runner.Execute();
    ASSERT_TRUE(recorder.WaitEnded());
    EXPECT_EQ(pieces, 1);
    EXPECT_EQ(recorder.Ended, 1);
    EXPECT_FALSE(runner.Active());
    EXPECT_TRUE(runner.ExitStatus().Exited);
    EXPECT_EQ(runner.ExitStatus().ExitCode, 3);

    // An error escaping the end handler still leaves the runner idle and usable.
    runner.OnTerminated = [&](TRedirector*) {
        ++recorder.Ended;
        throw std::runtime_error("end handler failed");
    };
    runner.Execute();
    ASSERT_TRUE(WaitFor([&] { return recorder.Ended == 2 && !runner.Active(); }));
    runner.OnTerminated = [&](TRedirector*) { ++recorder.Ended; };
    runner.Execute();
    ASSERT_TRUE(recorder.WaitEnded(3));
}

TEST(RedirectorTerminate, InactiveRunnerRefuses) {
    TRedirector runner;
    EXPECT_EQ(ErrorOf([&] { runner.Terminate(0); }), "Cannot Terminate an inactive process");
}

TEST(RedirectorTerminate, OutputStillWaitingComesBeforeTheEnd) {
    TTempDir temp;
    const std::string marker = temp.Path() + "written";
    TRedirector runner;
    TRunRecorder recorder;
    recorder.Attach(runner);
    // The child writes to both pipes (standard output first, see above), then says so through a
    // file, then hangs.
    runner.SetCommandLine(
        ChildLine({"out:first", "sleep:50", "err:second", "write-arg:6:done", "hang", marker}));
    runner.Execute();
    // Events are not processed meanwhile, so the output is still waiting in the pipes.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!std::filesystem::exists(marker) && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    ASSERT_TRUE(std::filesystem::exists(marker));
    runner.Terminate(5);
    ASSERT_TRUE(recorder.WaitEnded());
    EXPECT_EQ(recorder.Out, "first");
    EXPECT_EQ(recorder.Err, "second");
    EXPECT_EQ(recorder.Order, "oet");
    EXPECT_TRUE(runner.ExitStatus().Terminated);
    EXPECT_EQ(runner.ExitStatus().ExitCode, 5);
    EXPECT_EQ(runner.ExitStatus().Signal, SIGKILL);
}

TEST(RedirectorExitStatus, HowTheChildEndedIsReadableDuringTheEnd) {
    struct TCase {
        std::vector<std::string> Commands;
        TChildExit Expected;
    };
    const TCase cases[] = {
        {{"exit:0"}, {true, 0, false, 0, false}},
        {{"out:x", "exit:7"}, {true, 7, false, 0, false}},
        {{"crash"}, {false, 0, true, SIGSEGV, false}},
        {{"abort"}, {false, 0, true, SIGABRT, false}},
    };
    TRedirector runner;
    TChildExit seen;
    int ended = 0;
    runner.OnTerminated = [&](TRedirector* sender) {
        seen = sender->ExitStatus();
        ++ended;
    };
    for (const auto& c : cases) {
        runner.SetCommandLine(ChildLine(c.Commands));
        runner.Execute();
        ASSERT_TRUE(WaitFor([&, count = ended + 1] { return ended == count; }));
        EXPECT_EQ(seen.Exited, c.Expected.Exited) << c.Commands.back();
        EXPECT_EQ(seen.ExitCode, c.Expected.ExitCode) << c.Commands.back();
        EXPECT_EQ(seen.Signalled, c.Expected.Signalled) << c.Commands.back();
        EXPECT_EQ(seen.Signal, c.Expected.Signal) << c.Commands.back();
        EXPECT_EQ(seen.Terminated, c.Expected.Terminated) << c.Commands.back();
    }
}

TEST(RedirectorProperties, OnlyHarmlessChangesAreAcceptedWhileActive) {
    TRedirector runner;
    TRunRecorder recorder;
    recorder.Attach(runner);
    const std::string line = ChildLine({"hang"});
    runner.SetCommandLine(line);
    runner.SetDefaultErrorMode(true);
    runner.SetInitialPriority(TProcessPriority::ppNormal);
    runner.Execute();

    EXPECT_EQ(ErrorOf([&] { runner.SetCommandLine(line + " x"); }),
              "Cannot change Commandline while process is active");
    std::string otherCase = line;
    for (auto& c : otherCase)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    EXPECT_EQ(ErrorOf([&] { runner.SetCommandLine(otherCase); }), "");
    EXPECT_EQ(runner.CommandLine(), otherCase);
    EXPECT_EQ(ErrorOf([&] { runner.SetDefaultErrorMode(true); }), "");
    EXPECT_EQ(ErrorOf([&] { runner.SetDefaultErrorMode(false); }),
              "Cannot change DefaultErrorMode while process is active");
    for (const auto priority : {TProcessPriority::ppNormal, TProcessPriority::ppIdle})
        EXPECT_EQ(ErrorOf([&] { runner.SetInitialPriority(priority); }),
                  "Cannot change InititalPriority while process is active");
    EXPECT_TRUE(runner.DefaultErrorMode());
    EXPECT_EQ(runner.InitialPriority(), TProcessPriority::ppNormal);

    runner.Terminate(0);
    ASSERT_TRUE(recorder.WaitEnded());
    runner.SetCommandLine("other");
    runner.SetDefaultErrorMode(false);
    runner.SetInitialPriority(TProcessPriority::ppIdle);
    EXPECT_EQ(runner.CommandLine(), "other");
    EXPECT_FALSE(runner.DefaultErrorMode());
    EXPECT_EQ(runner.InitialPriority(), TProcessPriority::ppIdle);
}
