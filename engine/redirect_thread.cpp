// The reader of one child and its synchronous hand-over to the UI thread.
//
// The reader posts its session to a queue and wakes the UI thread; the UI thread runs the pending
// step and marks it done, and the reader, blocked on the session's condition variable, goes on.
// Everything the two threads exchange passes through the session's mutex, and the wake-up carries
// no data, so no memory crosses threads behind the event loop's back.
#include "engine/redirect_internal.h"

#include <thread>
#include <vector>

namespace {

struct TPostQueue {
    std::mutex Lock;
    std::vector<std::shared_ptr<TRedirectorSession>> Pending;
};

TPostQueue& PostQueue() {
    static auto* queue = new TPostQueue; // readers may post until the process ends
    return *queue;
}

} // namespace

TUiWake& TRedirectorThread::UiWake() {
    static auto* wake = new TUiWake(&TRedirectorThread::RunPosted); // first made on the UI thread
    return *wake;
}

void TRedirectorThread::Start(std::shared_ptr<TRedirectorSession> session) {
    UiWake();
    auto* reader = new TRedirectorThread(std::move(session));
    try {
        std::thread([reader] {
            reader->Execute();
            delete reader;
        }).detach();
    } catch (...) {
        delete reader;
        throw;
    }
}

void TRedirectorThread::Execute() {
    TChildProcess& child = FSession->Child;
    for (;;) {
        if (!FOrphaned && !FSession->OwnerAlive()) FOrphaned = true;
        // Standard output first, then standard error; no pause after a pass that found data.
        const bool outWaiting = DeliverWaiting(TRedirectStream::Out);
        const bool errWaiting = DeliverWaiting(TRedirectStream::Err);
        if (outWaiting || errWaiting) continue;
        if (!child.WaitForEnd(100)) continue;
        // The child has ended: what is left in the pipes comes before the end, at most one piece each.
        DeliverWaiting(TRedirectStream::Out);
        DeliverWaiting(TRedirectStream::Err);
        if (!FOrphaned && HandOver(TRedirectStep::ProcessTerminated, 0) == THandOver::OwnerGone)
            FOrphaned = true;
        // Otherwise the UI thread has closed everything in ProcessTerminated.
        if (FOrphaned) child.Close();
        return;
    }
}

bool TRedirectorThread::DeliverWaiting(TRedirectStream stream) {
    const int32_t size = FSession->Child.Peek(stream);
    if (size <= 0) return false;
    if (FOrphaned || FDiscarding) {
        Discard(stream, size);
        return true;
    }
    const auto step = stream == TRedirectStream::Out ? TRedirectStep::ReadStdOut : TRedirectStep::ReadStdErr;
    switch (HandOver(step, size)) {
    case THandOver::Done:
        break;
    case THandOver::Failed:
        // A failed read or an error escaping a handler: stop delivering, but keep the pipes
        // drained so the child can finish, and still deliver its end.
        FDiscarding = true;
        break;
    case THandOver::OwnerGone:
        FOrphaned = true;
        break;
    }
    return true;
}

void TRedirectorThread::Discard(TRedirectStream stream, int32_t size) {
    FDiscardBuffer.resize(static_cast<size_t>(size));
    if (FSession->Child.Read(stream, FDiscardBuffer.data(), size) != 0) FSession->Child.CloseStream(stream);
}

TRedirectorThread::THandOver TRedirectorThread::HandOver(TRedirectStep step, int32_t size) {
    TRedirectorSession& session = *FSession;
    {
        std::lock_guard guard(session.Lock);
        if (!session.Alive) return THandOver::OwnerGone;
        session.Step = step;
        session.BytesAvailable = size;
        session.StepDone = false;
        session.StepFailed = false;
    }
    Post(FSession);
    std::unique_lock lock(session.Lock);
    session.Changed.wait(lock, [&] { return session.StepDone || !session.Alive; });
    if (!session.StepDone) return THandOver::OwnerGone;
    return session.StepFailed ? THandOver::Failed : THandOver::Done;
}

void TRedirectorThread::Post(std::shared_ptr<TRedirectorSession> session) {
    TPostQueue& queue = PostQueue();
    bool wasEmpty;
    {
        std::lock_guard guard(queue.Lock);
        wasEmpty = queue.Pending.empty();
        queue.Pending.push_back(std::move(session));
    }
    // A non-empty queue has a wake-up on its way already.
    if (wasEmpty) UiWake().Signal();
}

void TRedirectorThread::RunPosted() {
    std::vector<std::shared_ptr<TRedirectorSession>> batch;
    {
        TPostQueue& queue = PostQueue();
        std::lock_guard guard(queue.Lock);
        batch.swap(queue.Pending);
    }
    for (const auto& session : batch)
        RunStep(session);
}

void TRedirectorThread::RunStep(const std::shared_ptr<TRedirectorSession>& session) {
    TRedirectStep step;
    int32_t size;
    {
        std::lock_guard guard(session->Lock);
        if (!session->Alive) return; // the reader has already moved on
        step = session->Step;
        size = session->BytesAvailable;
    }
    // An error escaping a step has no one to report to on the UI thread: the reader is told, and
    // stops delivering.
    bool failed = false;
    try {
        TRedirector& runner = *session->Owner;
        switch (step) {
        case TRedirectStep::ReadStdOut:
            runner.ReadStdOut(*session, size);
            break;
        case TRedirectStep::ReadStdErr:
            runner.ReadStdErr(*session, size);
            break;
        case TRedirectStep::ProcessTerminated:
            runner.ProcessTerminated(session);
            break;
        }
    } catch (...) {
        failed = true;
    }
    {
        std::lock_guard guard(session->Lock);
        session->StepDone = true;
        session->StepFailed = failed;
    }
    session->Changed.notify_all();
}
