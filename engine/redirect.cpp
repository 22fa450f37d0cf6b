// The runner's platform-independent side: properties, the steps of Execute, the message texts and
// the steps the reader runs on the UI thread.
#include "engine/redirect.h"

#include "engine/commandline.h"
#include "engine/redirect_internal.h"
#include "settings/errors.h"

#include <QString>

#include <exception>
#include <memory>

void RaiseRedirectFailure(TRedirectFailure failure, int code) {
    const char* text = "";
    switch (failure) {
    case TRedirectFailure::StdInCreate:
        text = "Error on STDIN pipe creation : ";
        break;
    case TRedirectFailure::StdOutCreate:
        text = "Error on STDOUT pipe creation : ";
        break;
    case TRedirectFailure::StdErrCreate:
        text = "Error on STDERR pipe creation : ";
        break;
    case TRedirectFailure::StdInDuplicate:
        text = "Error on STDIN pipe duplication : ";
        break;
    case TRedirectFailure::StdOutDuplicate:
        text = "Error on STDOUT pipe duplication : ";
        break;
    case TRedirectFailure::StdErrDuplicate:
        text = "Error on STDERR pipe duplication : ";
        break;
    case TRedirectFailure::CreateProcess:
        text = "Error creating process : ";
        break;
    }
    throw EWavesmithError(text + std::to_string(code));
}

namespace {

// Equal ignoring letter case in the locale's encoding. Bytes that the locale cannot decode are
// compared exactly, so two different undecodable texts never count as the same.
bool SameTextIgnoringCase(const std::string& a, const std::string& b) {
    if (a == b) return true;
    const QString wideA = QString::fromLocal8Bit(a);
    const QString wideB = QString::fromLocal8Bit(b);
    if (wideA.toLocal8Bit().toStdString() != a || wideB.toLocal8Bit().toStdString() != b) return false;
    return QString::compare(wideA, wideB, Qt::CaseInsensitive) == 0;
}

} // namespace

TRedirector::TRedirector() = default;

TRedirector::~TRedirector() {
    if (!FShared) return;
    if (KillOnDestroy) {
        OnTerminated = nullptr; // no end notification will be delivered
        FShared->Child.Kill(0);
    }
    // The reader finishes on its own: it drains the pipes until the child ends (at once after a
    // kill), reaps it and closes every handle. A child left running keeps running unhindered.
    FShared->Abandon();
}

bool TRedirector::Active() const {
    return FShared != nullptr;
}

int64_t TRedirector::ProcessHandle() const {
    return FShared ? FShared->Child.Id() : 0;
}

std::string TRedirector::FullCommandLine() const {
    if (ApplicationName.empty()) return FCommandLine;
    return ApplicationName + " " + FCommandLine;
}

void TRedirector::SetCommandLine(const std::string& value) {
    if (Active() && !SameTextIgnoringCase(FullCommandLine(), value))
        throw EWavesmithError("Cannot change Commandline while process is active");
    FCommandLine = value;
}

void TRedirector::SetDefaultErrorMode(bool value) {
    if (value == FDefaultErrorMode) return;
    if (Active()) throw EWavesmithError("Cannot change DefaultErrorMode while process is active");
    FDefaultErrorMode = value;
}

void TRedirector::SetInitialPriority(TProcessPriority value) {
    if (Active()) throw EWavesmithError("Cannot change InititalPriority while process is active");
    FInitialPriority = value;
}

void TRedirector::Execute() {
    if (Active()) throw EWavesmithError("Process is already active");
    const std::string full = FullCommandLine();
    if (IsBlankCommandLine(full)) throw EWavesmithError("No commandline to run");

    TChildStart start;
    if (!IsBlankCommandLine(ApplicationName)) start.ApplicationName = ApplicationName;
    start.CommandLine = FCommandLine;
    if (!IsBlankCommandLine(CurrentDirectory)) start.CurrentDirectory = CurrentDirectory;
    start.Environment = Environment;
    start.Priority = FInitialPriority;
    start.DefaultErrorMode = FDefaultErrorMode;
    start.ShowWindow = ShowWindow;

    auto session = std::make_shared<TRedirectorSession>(this);
    try {
        session->Child.CreatePipes();
        session->Child.Start(start);
        FExitStatus = {};
        FShared = session;
        // The reader's first hand-over runs only once the UI thread is back in its event loop,
        // so the runner is complete before any event fires.
        TRedirectorThread::Start(session);
    } catch (const EWavesmithError&) {
        FShared.reset();
        session->Child.Close();
        throw;
    } catch (const std::exception& e) {
        FShared.reset();
        session->Child.Close();
        throw EWavesmithError(std::string("Thread creation error: ") + e.what());
    }
}

void TRedirector::Terminate(uint32_t exitCode) {
    if (!Active()) throw EWavesmithError("Cannot Terminate an inactive process");
    FShared->Child.Kill(exitCode);
}

namespace {

// Reads the piece the reader found and hands it to the handler. The handler may replace itself
// or destroy the runner, so it runs from a copy and nothing of the runner is touched afterwards.
void ReadPiece(TRedirector* runner, TChildProcess& child, TRedirectStream stream,
               TRedirectorDataEvent handler, const char* failureText, int32_t size) {
    auto buffer = std::make_unique_for_overwrite<char[]>(static_cast<size_t>(size));
    const int error = child.Read(stream, buffer.get(), size);
    if (error != 0) throw EWavesmithError(failureText + std::to_string(error));
    if (handler) handler(runner, buffer.get(), size);
}

} // namespace

void TRedirector::ReadStdOut(TRedirectorSession& session, int32_t size) {
    ReadPiece(this, session.Child, TRedirectStream::Out, OnData, "Error reading STDOUT pipe : ", size);
}

void TRedirector::ReadStdErr(TRedirectorSession& session, int32_t size) {
    ReadPiece(this, session.Child, TRedirectStream::Err, OnErrorData, "Error reading STDERR pipe : ", size);
}

void TRedirector::ProcessTerminated(const std::shared_ptr<TRedirectorSession>& session) {
    FExitStatus = session->Child.ExitStatus();
    const TNotifyEvent handler = OnTerminated;
    // Active stays true inside the handler. The handles are closed afterwards even when the
    // handler throws, so the runner can never stay stuck in an ended child. A handler that
    // destroyed the runner leaves the closing to the reader.
    try {
        if (handler) handler(this);
    } catch (...) {
        if (session->OwnerAlive()) CloseChild();
        throw;
    }
    if (session->OwnerAlive()) CloseChild();
}

void TRedirector::CloseChild() {
    const auto session = std::move(FShared);
    session->Child.Close();
}
