// Large output and destroying the runner at any moment: every byte in order, the end once after
// the last byte, and a destroyed runner never deadlocks, crashes or leaves a child or a pipe behind.
#include "tests/engine/redirect_support.h"
#include "tests/support/childpattern.h"

#include <gtest/gtest.h>

#include <csignal>
#include <memory>

#include <sys/types.h>

namespace {

// True while the process exists (a zombie counts: it has not been reaped yet).
bool ProcessExists(int64_t pid) {
    return ::kill(static_cast<pid_t>(pid), 0) == 0;
}

bool WaitGone(int64_t pid) {
    return WaitFor([pid] { return !ProcessExists(pid); }, 20000);
}

} // namespace

TEST(RedirectorFlood, FiftyMegabytesOnEachStreamArriveWhole) {
    constexpr uint64_t size = 50ull << 20;
    TRedirector runner;
    uint64_t outBytes = 0, errBytes = 0;
    bool inOrder = true, dataAfterEnd = false;
    int ended = 0;
    runner.OnData = [&](TRedirector*, const char* buffer, int32_t n) {
        inOrder = inOrder && MatchesChildPattern(1, outBytes, buffer, static_cast<size_t>(n));
        outBytes += static_cast<uint64_t>(n);
        dataAfterEnd = dataAfterEnd || ended > 0;
    };
    runner.OnErrorData = [&](TRedirector*, const char* buffer, int32_t n) {
        inOrder = inOrder && MatchesChildPattern(2, errBytes, buffer, static_cast<size_t>(n));
        errBytes += static_cast<uint64_t>(n);
        dataAfterEnd = dataAfterEnd || ended > 0;
    };
    runner.OnTerminated = [&](TRedirector*) { ++ended; };
    runner.SetCommandLine(ChildLine({"flood-both:" + std::to_string(size)}));
    runner.Execute();
    ASSERT_TRUE(WaitFor([&] { return ended > 0; }, 60000));
    EXPECT_EQ(outBytes, size);
    EXPECT_EQ(errBytes, size);
    EXPECT_TRUE(inOrder);
    EXPECT_FALSE(dataAfterEnd);
    // One more run on the runner: a second end of the first child would show here.
    runner.SetCommandLine(ChildLine({}));
    runner.Execute();
    ASSERT_TRUE(WaitFor([&] { return ended == 2; }));
}

TEST(RedirectorDestroy, KillOnDestroyEndsTheChildWithoutAnEnd) {
    auto runner = std::make_unique<TRedirector>();
    TRunRecorder recorder;
    recorder.Attach(*runner);
    runner->KillOnDestroy = true;
    runner->SetCommandLine(ChildLine({"out:started", "hang"}));
    runner->Execute();
    ASSERT_TRUE(WaitFor([&] { return recorder.Out == "started"; }));
    const int64_t pid = runner->ProcessHandle();
    runner.reset();
    ASSERT_TRUE(WaitGone(pid)); // killed and reaped
    EXPECT_EQ(recorder.Ended, 0);
}

TEST(RedirectorDestroy, WithoutKillOnDestroyTheChildRunsOnAndIsReaped) {
    auto runner = std::make_unique<TRedirector>();
    TRunRecorder recorder;
    recorder.Attach(*runner);
    runner->SetCommandLine(ChildLine({"out:started", "hang"}));
    runner->Execute();
    ASSERT_TRUE(WaitFor([&] { return recorder.Out == "started"; }));
    const int64_t pid = runner->ProcessHandle();
    runner.reset();
    EXPECT_TRUE(ProcessExists(pid));
    ::kill(static_cast<pid_t>(pid), SIGKILL);
    ASSERT_TRUE(WaitGone(pid));
    EXPECT_EQ(recorder.Ended, 0);

    // A child that still has much to write can finish: its output is drained, not left to block it.
    runner = std::make_unique<TRedirector>();
    runner->SetCommandLine(ChildLine({"flood-both:3000000"}));
    runner->Execute();
    const int64_t flooder = runner->ProcessHandle();
    runner.reset();
    ASSERT_TRUE(WaitGone(flooder));
}

TEST(RedirectorDestroy, DestroyingInsideTheHandlersIsSafe) {
    for (const bool inEnd : {false, true}) {
        auto* runner = new TRedirector;
        runner->KillOnDestroy = !inEnd;
        bool destroyed = false;
        runner->OnData = [&](TRedirector* sender, const char*, int32_t) {
            if (!inEnd) {
                delete sender;
                destroyed = true;
            }
        };
        runner->OnTerminated = [&](TRedirector* sender) {
            delete sender;
            destroyed = true;
        };
        runner->SetCommandLine(ChildLine(inEnd ? std::vector<std::string>{"out:x"}
                                               : std::vector<std::string>{"flood-out:2000000", "hang"}));
        runner->Execute();
        const int64_t pid = runner->ProcessHandle();
        ASSERT_TRUE(WaitFor([&] { return destroyed; }));
        ASSERT_TRUE(WaitGone(pid));
    }
}

TEST(RedirectorDestroy, DestroyedMidFloodTwoHundredTimes) {
    {
        // The first run sets up the UI thread's wake-up, which stays open for good.
        TRedirector runner;
        TRunRecorder recorder;
        recorder.Attach(runner);
        runner.SetCommandLine(ChildLine({}));
        runner.Execute();
        ASSERT_TRUE(recorder.WaitEnded());
    }
    const int fdsBefore = OpenFdCount();
    std::vector<int64_t> children;
    for (int round = 0; round < 200; ++round) {
        auto runner = std::make_unique<TRedirector>();
        runner->KillOnDestroy = round % 10 != 9;
        const int stopAfter = round % 4; // pieces to take before destroying: 0 = right after Execute
        int pieces = 0;
        bool destroyInHandler = round % 3 == 0;
        auto onPiece = [&](TRedirector*, const char*, int32_t) {
            ++pieces;
            if (destroyInHandler && pieces == stopAfter) runner.reset();
        };
        runner->OnData = onPiece;
        runner->OnErrorData = onPiece;
        runner->OnTerminated = [&](TRedirector*) { ADD_FAILURE() << "end of a destroyed runner's child"; };
        // Rounds that leave the child running use a flood it can finish.
        runner->SetCommandLine(
            ChildLine({runner->KillOnDestroy ? "flood-both:50000000" : "flood-both:300000", "hang"}));
        runner->Execute();
        children.push_back(runner->ProcessHandle());
        if (stopAfter > 0) {
            ASSERT_TRUE(WaitFor([&] { return pieces >= stopAfter; }));
        }
        runner.reset();
        if (round % 10 == 9) ::kill(static_cast<pid_t>(children.back()), SIGKILL);
    }
    for (const int64_t pid : children)
        ASSERT_TRUE(WaitGone(pid)) << pid;
    // Every reader has closed its pipes.
    ASSERT_TRUE(WaitFor([&] { return OpenFdCount() <= fdsBefore; }));
}
