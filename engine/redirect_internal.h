#pragma once
// What the runner and its reader thread share; internal to the runner.
#include "engine/redirect.h"
#include "engine/redirect_platform.h"

#include <condition_variable>
#include <memory>
#include <mutex>
#include <vector>

enum class TRedirectStep { ReadStdOut, ReadStdErr, ProcessTerminated };

// One child: its process and pipes, and the hand-over between its reader and the UI thread.
// Shared ownership keeps it valid for the reader after the runner is gone; the runner marks it
// abandoned on destruction and never touches the child afterwards, and the reader then finishes
// on its own (drains the pipes until the child ends, reaps it, closes everything).
struct TRedirectorSession {
    explicit TRedirectorSession(TRedirector* owner) : Owner(owner) {}

    TChildProcess Child;

    std::mutex Lock;
    std::condition_variable Changed;
    TRedirector* const Owner; // dereferenced on the UI thread only, and only while Alive
    bool Alive = true;        // (Lock) false once the runner is destroyed

    // The pending hand-over (Lock). The reader fills in a step and waits until StepDone.
    TRedirectStep Step = TRedirectStep::ReadStdOut;
    int32_t BytesAvailable = 0;
    bool StepDone = false;
    bool StepFailed = false; // the step threw: the reader stops delivering output

    bool OwnerAlive() {
        std::lock_guard guard(Lock);
        return Alive;
    }
    // The runner is being destroyed: wake a reader blocked in a hand-over.
    void Abandon() {
        {
            std::lock_guard guard(Lock);
            Alive = false;
        }
        Changed.notify_all();
    }
};

// The reading thread of one child. It starts at once and releases itself when its loop ends.
class TRedirectorThread {
public:
    static void Start(std::shared_ptr<TRedirectorSession> session);

private:
    enum class THandOver { Done, Failed, OwnerGone };

    explicit TRedirectorThread(std::shared_ptr<TRedirectorSession> session) : FSession(std::move(session)) {}
    void Execute();
    // Peeks a pipe and hands what waits there to the UI thread (or drops it after an error);
    // true when bytes were waiting.
    bool DeliverWaiting(TRedirectStream stream);
    THandOver HandOver(TRedirectStep step, int32_t size);
    void Discard(TRedirectStream stream, int32_t size);
    void FinishOrphaned();

    // UI thread: runs the pending step of a session and wakes its reader.
    static void RunStep(const std::shared_ptr<TRedirectorSession>& session);
    static void Post(std::shared_ptr<TRedirectorSession> session);
    static void RunPosted();
    static TUiWake& UiWake();

    std::shared_ptr<TRedirectorSession> FSession;
    bool FDiscarding = false; // an error came back from a hand-over: drop output, still deliver the end
    bool FOrphaned = false;   // the runner is gone
    std::vector<char> FDiscardBuffer;
};
