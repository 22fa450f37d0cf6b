// The batch: the checks before decoding, one decoder run per list entry, counting and logging
// each file, the after-steps, stopping and closing, and the enabling of the main window's actions.
#include "app/errorreport.h"
#include "app/formmain.h"
#include "app/trayicon.h"
#include "engine/batchpaths.h"
#include "engine/decoderoutput.h"
#include "engine/runlog.h"
#include "filelist/filelistmodel.h"
#include "filelist/filelistview.h"
#include "settings/errors.h"
#include "settings/filesystem.h"
#include "settings/globals.h"
#include "settings/paths.h"

#include <QAction>
#include <QCheckBox>
#include <QCoreApplication>
#include <QItemSelectionModel>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

#include <cstdio>
#include <exception>
#include <unordered_set>

namespace {

const std::string OutputExt = ".wav";

// A decoder that crashed, gave up or was stopped by us never counts as a success: a stopped one
// may have written only part of its output.
bool DecoderFailed(const TChildExit& exit) {
    return (exit.Exited && exit.ExitCode != 0) || exit.Signalled || exit.Terminated;
}

// Where the decoder writes an entry's output; the same rule that starting the file applies.
std::string PlannedOutputPath(const TFileItem& item, const std::string& ext) {
    return PlannedOutputFolder(GlobalVars.OutDir, item.Path) + OutputFileName(item.FileName, ext);
}

bool BatchRunning() {
    return GlobalVars.BatchState == bsRunning || GlobalVars.BatchState == bsStopWhenDone;
}

} // namespace

void TFormMain::ActionDecodeExecute() {
    if (!CheckDecoderPresent()) return;
    if (FileList->Count() == 0) {
        ShowMessageBox("There are no files to decode!", "Hint", MB_OK | MB_ICONEXCLAMATION);
        return;
    }
    if (!CheckInputOutputDiffer(OutputExt)) return;
    if (!ConfirmOverwrite(OutputExt)) return;
    RunBatch();
}

bool TFormMain::CheckDecoderPresent() {
    if (FileExists(GlobalVars.DecoderPath)) return true;
    ShowMessageBox("The file \"" + GlobalVars.DecoderPath + "\" couldn't be found.", "Hint",
                   MB_OK | MB_ICONEXCLAMATION);
    return false;
}

bool TFormMain::CheckInputOutputDiffer(const std::string& ext) {
    for (int row = 0; row < FileList->Count(); ++row) {
        const std::string source = FileList->Item(row).FullPath();
        if (SameFileName(CheckOutputPath(source, GlobalVars.OutDir, ext), source)) {
            ShowMessageDialog("Input file and output file must be different!", "Information",
                              TMsgDlgType::mtInformation, mbOK);
            return false;
        }
    }
    return true;
}

bool TFormMain::ConfirmOverwrite(const std::string& ext) {
    // Two entries writing one output file: the later one is asked about as if the file existed.
    std::unordered_set<std::string> planned;
    for (int row = 0; row < FileList->Count(); ++row) {
        const TFileItem& item = FileList->Item(row);
        const std::string output = CheckOutputPath(item.FullPath(), GlobalVars.OutDir, ext);
        const std::string written = PlannedOutputPath(item, ext);
        const bool taken = !planned.insert(FileNameKey(written)).second;
        if (!taken && !FileExists(output)) continue;
        const int answer = ShowMessageDialog(
            "File \"" + (taken ? written : output) + "\" already exists.\r\n\r\nAre you sure overwrite it?",
            "Overwrite file?", TMsgDlgType::mtConfirmation, mbYes | mbNo | mbCancel | mbYesToAll);
        if (answer == mrYesToAll) return true;
        if (answer != mrYes) return false;
    }
    return true;
}

void TFormMain::RunBatch() {
    auto& g = GlobalVars;
    Redirector->SetInitialPriority(TProcessPriority::ppIdle);
    Redirector->SetDefaultErrorMode(true);
    // Both streams share the handling, each with its own unfinished line. An error escaping a
    // handler would be swallowed by the reader: it is reported here instead, and an end that
    // failed half-way still moves the batch on, so the wait below always ends.
    Redirector->OnData = [this](TRedirector* sender, const char* buffer, int32_t size) {
        RunReported([&] { HandleDecoderOutput(sender, buffer, size); });
    };
    Redirector->OnErrorData = [this](TRedirector*, const char* buffer, int32_t size) {
        RunReported([&] { HandleDecoderPiece(PendingErr, buffer, size); });
    };
    Redirector->OnTerminated = [this](TRedirector* sender) {
        if (!RunReported([&] { HandleDecoderEnd(sender); })) MoveBatchOn();
    };
    Redirector->KillOnDestroy = true;

    if (TrayIcon) TrayIcon->SetToolTip("Starting...");
    TipPercent = -1;
    g.AnyError = false;
    g.StopWhenDone = false;
    g.RunLog.clear();
    g.FilesTotal = FileList->Count();
    g.FilesDecoded = 0;
    g.FilesFailed = 0;
    g.BytesTotal = 0;
    for (int row = 0; row < FileList->Count(); ++row)
        g.BytesTotal += FileList->Item(row).Size;
    g.CurrentFileSize = 0;
    g.BytesFinished = 0;
    g.BytesDone = 0;
    g.BatchStart = Now();
    g.BatchState = bsRunning;
    LastOutputFolder.clear();
    FailedInBatch.clear();
    ReportedInBatch.clear();

    StartingBatch = true;
    try {
        StartHeadFile();
    } catch (...) {
        StartingBatch = false;
        throw;
    }
    StartingBatch = false;
    ActionListUpdate();

    while (g.BatchState != bsStopNow && g.BatchState != bsFinished && !Closing)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);

    if (Redirector->Active()) Redirector->Terminate(0);
    // The stopped decoder's last lines no longer show: the tip says the program is idle again.
    if (g.BatchState == bsStopNow && TrayIcon && !Closing) TrayIcon->SetToolTip(AppTitle);

    if (g.AnyError) {
        const int answer = ShowMessageBox("At least one error occurred. Do you want to view the log?",
                                          "warning", MB_YESNOCANCEL | MB_ICONEXCLAMATION);
        if (answer == IDYES) {
            ShowLogViewer();
            RunReported([this] { WriteRunLog(); });
        }
        return;
    }
    // A log that cannot be written is reported; the batch still ends as it would have.
    RunReported([this] { WriteRunLog(); });
    if (CheckBoxCloseApp->isChecked() && g.BatchState == bsFinished && !Closing) close();
}

bool TFormMain::RunReported(const std::function<void()>& step) {
    try {
        step();
        return true;
    } catch (const std::exception& error) {
        ReportBatchError(error.what(), dynamic_cast<const EAbort*>(&error) != nullptr);
    } catch (...) {
        ReportBatchError("Unknown error", false);
    }
    return false;
}

void TFormMain::ReportBatchError(const std::string& message, bool silent) {
    if (silent || !ReportedInBatch.insert(message).second) return;
    // Shown from the event loop, once the runner's hand-over has returned: a box opened inside it
    // would start the next file while this one's runner is still busy.
    QMetaObject::invokeMethod(
        this, [message] { AppException(EWavesmithError(message)); }, Qt::QueuedConnection);
}

void TFormMain::MoveBatchOn() {
    if (BatchRunning()) PostMessage(WM_NEXTFILE);
}

void TFormMain::StartHeadFile() {
    if (FileList->Count() == 0 || Closing) return;
    // The batch's first file, or one started outside a batch: start errors go to the caller.
    if (StartingBatch || GlobalVars.BatchState == bsIdle) {
        LaunchHeadFile();
        return;
    }
    if (!BatchRunning()) return; // a stopped or finished batch starts nothing
    if (!AnyEntryLeftToTry()) {
        CompleteBatch(); // reached only after an end that failed half-way
        return;
    }
    // A following file that cannot be started fails like a file the decoder refused.
    try {
        LaunchHeadFile();
    } catch (const EWavesmithError&) {
        FailUnstartedHeadFile();
    }
}

void TFormMain::LaunchHeadFile() {
    auto& g = GlobalVars;
    // Entries added during the batch land behind the files that failed in it: start those first,
    // so a failed file is not tried twice while a new one is left out.
    if (FailedInBatch.count(FileNameKey(FileList->Item(0).FullPath())))
        for (int row = 1; row < FileList->Count(); ++row)
            if (!FailedInBatch.count(FileNameKey(FileList->Item(row).FullPath()))) {
                FileList->Move(row, 0);
                break;
            }
    const TFileItem item = FileList->Item(0);
    g.CurrentSource = item.FullPath();
    g.CurrentFileName = item.FileName;
    g.CurrentFileSize = item.Size;
    g.ProgressPhase = false;
    g.FileFailed = false;
    PendingOut.clear();
    PendingErr.clear();
    DecoderEnded = false;
    ShownBatchPercent = -1;
    TipPercent = -1;

    const std::string folder = StartOutputFolder(g.OutDir, item.Path);
    CurrentOutput = folder + OutputFileName(item.FileName, OutputExt);
    Redirector->SetCommandLine(DecoderCommandLine(g.DecoderPath, g.CurrentSource, CurrentOutput));
    Redirector->Execute();
}

void TFormMain::FailUnstartedHeadFile() {
    GlobalVars.ProgressPhase = false;
    GlobalVars.FileFailed = true;
    FinishFile();
}

void TFormMain::HandleDecoderEnd(TRedirector* sender) {
    auto& g = GlobalVars;
    DecoderEnded = true;
    FlushDecoderOutput();
    ActionListUpdate();
    if (g.BatchState == bsStopNow) return;

    const TRedirector* runner = sender ? sender : Redirector.get();
    if (!g.ProgressPhase || DecoderFailed(runner->ExitStatus())) g.FileFailed = true;
    // Whatever the decoder said, no output is no success.
    if (!g.FileFailed && FileSizeOf(CurrentOutput) <= 0) g.FileFailed = true;
    FinishFile();
}

void TFormMain::FinishFile() {
    auto& g = GlobalVars;
    if (!g.FileFailed && g.ProgressPhase) {
        // A source stays while a later entry of this batch will overwrite its output. Otherwise
        // the output reaches the disk before the source goes, so a power cut never loses both.
        if (g.Delete && !OutputWrittenAgainLater(g.CurrentSource)) {
            FlushFileToDisk(CurrentOutput);
            std::remove(g.CurrentSource.c_str()); // a failure to delete is ignored
        }
        LastOutputFolder = ExtractFilePath(CurrentOutput);
        // Saving the list may fail; the entry has left the list by then, and the batch goes on.
        RunReported([this] { RemoveEntry(GlobalVars.CurrentSource); });
        g.FilesDecoded += 1;
        if (g.FilesDecoded == g.FilesTotal) {
            LabelBatch->setText(QStringLiteral("100%"));
            ShownBatchPercent = -1;
            ProgressBarBatch->setValue(0);
            LabelBatchRemaining->setText(QStringLiteral("Decoding finished"));
        }
    }
    if (g.FileFailed) {
        g.AnyError = true;
        g.FilesFailed += 1;
        FailedInBatch.insert(FileNameKey(g.CurrentSource));
        RunReported([this] { MoveEntryToEnd(GlobalVars.CurrentSource); });
        if (!CurrentOutput.empty()) DeleteIfEmpty(CurrentOutput);
        g.RunLog.push_back("An error occurred while trying to decode \"" + g.CurrentSource + "\"!");
    }

    if (g.StopWhenDone || !AnyEntryLeftToTry()) {
        CompleteBatch();
        return;
    }
    g.BytesFinished += g.CurrentFileSize;
    g.BytesDone = g.BytesFinished;
    ShowBatchPercent();
    if (g.BytesDone > 0) ShowBatchRemaining();
    g.RunLog.emplace_back();
    PostMessage(WM_NEXTFILE);
}

// The batch is complete when every entry still listed has failed in it. Without removals this is
// FilesDecoded + FilesFailed = FilesTotal; judged by the list itself, a failed entry that the user
// removes (which lowers FilesTotal) or a next file removed between two runs cannot end the batch
// early or keep it waiting.
bool TFormMain::OutputWrittenAgainLater(const std::string& source) const {
    const std::string sourceKey = FileNameKey(source);
    const std::string outputKey = FileNameKey(CurrentOutput);
    for (int row = 0; row < FileList->Count(); ++row) {
        const TFileItem& item = FileList->Item(row);
        const std::string key = FileNameKey(item.FullPath());
        if (key == sourceKey || FailedInBatch.count(key)) continue;
        if (FileNameKey(PlannedOutputPath(item, OutputExt)) == outputKey) return true;
    }
    return false;
}

bool TFormMain::AnyEntryLeftToTry() const {
    for (int row = 0; row < FileList->Count(); ++row)
        if (!FailedInBatch.count(FileNameKey(FileList->Item(row).FullPath()))) return true;
    return false;
}

void TFormMain::CompleteBatch() {
    auto& g = GlobalVars;
    if (g.PlaySound) Services().PlaySoundSync(CompletionSoundPath());
    if (g.AutoOpen) {
        // Without a chosen output folder the files went beside their sources: open the last one's.
        const std::string target = Trim(g.OutDir).empty() ? LastOutputFolder : g.OutDir;
        if (!target.empty()) Services().ShellOpen(target);
    }
    g.BatchState = bsFinished;
    const std::string elapsed = FormatElapsed(Now() - g.BatchStart);
    g.RunLog.emplace_back();
    g.RunLog.push_back(g.FilesDecoded == 1
                           ? "Decoded one file in " + elapsed
                           : "Decoded " + std::to_string(g.FilesDecoded) + " files in " + elapsed);
    if (g.FilesFailed == 1)
        g.RunLog.emplace_back(
            "One file couldn't be decoded,probably wrong format or using with other application.");
    else if (g.FilesFailed > 1)
        g.RunLog.push_back(
            std::to_string(g.FilesFailed) +
            " files couldn't be decoded,probably wrong format or using with other application.");
    if (TrayIcon) TrayIcon->SetToolTip("Finished decode");
    TipPercent = -1;
}

void TFormMain::ActionCancelExecute() {
    auto& g = GlobalVars;
    if (!BatchRunning()) return;
    const int answer = ShowMessageDialog(
        "Do you want to stop decoding now or stop Decoding when the currently processed file is done?",
        "Question", TMsgDlgType::mtConfirmation, mbYes | mbNo | mbCancel, {"Stop now", "When done"});
    // The batch may have ended while the question was open.
    if (g.BatchState != bsFinished)
        g.BatchState = answer == mrYes ? bsStopNow : answer == mrNo ? bsStopWhenDone : bsRunning;
    g.StopWhenDone = answer == mrNo;
}

void TFormMain::FormCloseQuery(bool& canClose) {
    canClose = true;
    if (!Redirector || !Redirector->Active()) return;
    const int answer = ShowMessageDialog("Would you want to abort decoding and exit?", "Warning",
                                         TMsgDlgType::mtWarning, mbOK | mbCancel);
    if (answer != mrOk) {
        canClose = false;
        return;
    }
    // Marked closing before anything else can pump events: no further file may start now.
    Closing = true;
    GlobalVars.BatchState = bsStopNow;
    if (Redirector->Active()) Redirector->Terminate(0);
}

void TFormMain::ActionListUpdate() {
    const bool active = Redirector && Redirector->Active();
    const int count = FileList->Count();
    const auto follow = [](QAction* action, QPushButton* button, bool enabled) {
        if (action) action->setEnabled(enabled);
        if (button) button->setEnabled(enabled);
    };
    follow(ActionClearList, btnClear, count > 0 && !active);
    follow(ActionDecode, btnDecode, count > 0 && !active);
    const QItemSelectionModel* selection = ListViewFiles ? ListViewFiles->selectionModel() : nullptr;
    follow(ActionRemove, btnRemove, selection && selection->hasSelection());
    follow(ActionCancel, btnCancel, active);
    follow(ActionViewLog, nullptr, !GlobalVars.RunLog.empty() && !active);
    if (active) return;
    if (count == 0)
        LabelWorking->setText(QStringLiteral("No files to decode..."));
    else if (count == 1)
        LabelWorking->setText(QStringLiteral("One file to decode..."));
    else
        LabelWorking->setText(QStringLiteral("%1 files to decode...").arg(count));
    LabelBatchRemaining->clear();
    ProgressBarBatch->setValue(0);
}

void TFormMain::Timer1Timer() {
    ActionListUpdate();
}

void TFormMain::ActionViewLogExecute() {
    if (GlobalVars.RunLog.empty() || (Redirector && Redirector->Active())) return;
    ShowLogViewer();
}
