// The batch: the checks before decoding, one decoder run per list entry, counting and logging
// each file, and the after-steps. Its decoder slots live in decoderslots.cpp, the stop and close
// questions and the enabling of the actions in batchactions.cpp.
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
#include <QDeadlineTimer>
#include <QItemSelectionModel>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

#include <algorithm>
#include <cstdio>
#include <exception>
#include <functional>
#include <unordered_map>
#include <unordered_set>

namespace {

const std::string OutputExt = ".wav";

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

void TFormMain::RunBatch() {
    auto& g = GlobalVars;
    PrepareRuns(DecodersAtOnce(g.Decoders));

    if (TrayIcon) TrayIcon->SetToolTip("Starting...");
    TipPercent = -1;
    g.AnyError = false;
    g.StopWhenDone = false;
    g.RunLog.clear();
    LeaveSkippedEntries();
    // The plan (numbers included) goes into the saved list before any file is written by it.
    if (PlanChanged || FilesSkipped > 0) RunReported([this] { SaveFileList(); });
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
    BatchEndHeld = false;
    LastOutputFolder.clear();
    FailedInBatch.clear();
    ReportedInBatch.clear();
    FilesDamaged = 0;

    // Names the output's drive cannot hold fail before any file is decoded; with every entry
    // skipped or failed so, the batch is complete before it starts.
    const bool anyLeft = FailNamesTheDriveRefuses();
    StartingBatch = true;
    try {
        if (anyLeft)
            StartHeadFile();
        else
            CompleteBatch();
    } catch (...) {
        StartingBatch = false;
        throw;
    }
    StartingBatch = false;
    ActionListUpdate();

    while (g.BatchState != bsStopNow && g.BatchState != bsFinished && !Closing)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    // The changes journaled file by file go into the saved list itself.
    RunReported([this] { FoldSavedList(); });

    for (const TDecoderRun& run : Runs)
        if (TRedirector* runner = RunnerOf(run); runner && runner->Active()) runner->Terminate(0);
    // A closing window takes the runners with it: their ends, which remove what the stopped decoders
    // left half-written, are awaited first (they come at once after the kill; Timer1 bounds each wait).
    const QDeadlineTimer endsDue(5000);
    while (Closing && DecoderRunning() && !endsDue.hasExpired())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    // The stopped decoder's last lines no longer show: the tip says the program is idle again.
    if (g.BatchState == bsStopNow && TrayIcon && !Closing) TrayIcon->SetToolTip(AppTitle);

    // Damage passed over is told as a failure is: never silent, and no exit when done.
    if (g.AnyError || FilesDamaged > 0) {
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
        TDecoderRun* free = StartingBatch ? FreeRun() : nullptr;
        LaunchFile(free ? *free : Runs[0], std::max(NextEntryRow(), 0));
        if (!StartingBatch) return;
    } else if (!BatchRunning()) {
        return; // a stopped or finished batch starts nothing
    }
    StartFreeRuns();
}

void TFormMain::StartFreeRuns() {
    auto& g = GlobalVars;
    // "When done" lets the running files finish and starts no more.
    while (g.BatchState == bsRunning && !g.StopWhenDone && !Closing) {
        TDecoderRun* run = FreeRun();
        const int row = run ? NextEntryRow() : -1;
        if (row < 0) break;
        // A following file that cannot be started fails like a file the decoder refused.
        try {
            LaunchFile(*run, row);
        } catch (const EWavesmithError& error) {
            run->Reason = error.what();
            FailUnstartedFile(*run);
        }
    }
    // Reached only after an end that failed half-way, or a "When done" between two files.
    if (BatchRunning() && !AnyRunBusy() && (g.StopWhenDone || !AnyEntryLeftToTry())) CompleteBatch();
}

// The first entry neither running nor failed in this batch whose output no running decoder is
// writing: two entries with one output name never run at once, the later one waits.
int TFormMain::NextEntryRow() {
    const auto blocked = [this](const TFileItem& item) {
        if (!AnyRunBusy()) return false;
        const std::string output = FileNameKey(PlannedOutputPathOf(item, OutputExt));
        for (const TDecoderRun& run : Runs)
            if (run.Busy && FileNameKey(run.Output) == output) return true;
        return false;
    };
    int firstIdle = -1; // the first row that no decoder holds
    for (int row = 0; row < FileList->Count(); ++row) {
        const TFileItem& item = FileList->Item(row);
        const std::string key = FileNameKey(item.FullPath());
        if (IsRunning(key)) continue;
        if (firstIdle < 0) firstIdle = row;
        if (FailedInBatch.count(key) || blocked(item)) continue;
        // Entries added during the batch land behind the files that failed in it: start those
        // first, so a failed file is not tried twice while a new one is left out, and the running
        // entries stay at the top.
        if (firstIdle < row && FailedInBatch.count(FileNameKey(FileList->Item(firstIdle).FullPath()))) {
            FileList->Move(row, firstIdle);
            return firstIdle;
        }
        return row;
    }
    return -1;
}

void TFormMain::LaunchFile(TDecoderRun& run, int row) {
    auto& g = GlobalVars;
    const TFileItem item = FileList->Item(row);
    run.Source = item.FullPath();
    run.FileName = item.FileName;
    run.Size = item.Size;
    run.Output.clear();
    run.ProgressPhase = false;
    run.FileFailed = false;
    run.PendingOut.clear();
    run.PendingErr.clear();
    run.Reason.clear();
    run.Warnings.clear();
    run.Damaged = false;
    run.Ended = false;
    run.Busy = true;
    run.StartOrder = ++LastStartOrder;
    MirrorLeadRun();
    ShownBatchPercent = -1;
    TipPercent = -1;

    try {
        run.Output = PlannedOutputPathOf(item, OutputExt);
        // The folder's name and the system's reason, in the log and in a box: a folder that cannot
        // be made takes no file, so the batch stops there.
        const std::string tree = ExtractFilePath(run.Output);
        std::string folder = g.OutDir;
        try {
            StartOutputFolder(g.OutDir, item.Path);
            folder = tree;
            if (tree != PlannedOutputFolder(g.OutDir, item.Path)) ForceFolders(tree); // the kept tree's
        } catch (const EInOutError& error) {
            FailForOutputFolder(run, folder, error.SystemError());
            return;
        }

        // One decoder alone uses every processor by itself, with the command line as it always was.
        run.Threads =
            SlotCount > 1 ? ThreadsForDecoder(ProcessorCount(), ThreadsInUse(run), DecodersStarting()) : 0;
        RunnerOf(run)->SetCommandLine(
            DecoderCommandLine(g.DecoderPath, run.Source, run.Output, run.Threads, g.KeepTags,
                               ReplaceAgreed.count(FileNameKey(run.Output)) > 0) +
            // In a chosen output folder sources of many folders meet: each WAV file names its own.
            (Trim(g.OutDir).empty() ? std::string() : std::string(" --mark-source")) +
            DecoderFormatOptions(g.WavFormat, g.WavRate, g.WavChannels, g.WavSample));
        LaunchDecoder(run);
    } catch (...) {
        run.Busy = false;
        MirrorLeadRun();
        throw;
    }
}

bool TFormMain::OutputWrittenAgainLater(const TDecoderRun& run) const {
    const std::string sourceKey = FileNameKey(run.Source);
    const std::string outputKey = FileNameKey(run.Output);
    // Only entries whose name has the output's stem can write it; beside their sources, only those
    // in the output's folder. So the list is asked for those, not walked.
    const std::string outputName = ExtractFileName(run.Output);
    const std::string stem = outputName.substr(0, outputName.rfind('.'));
    const std::string folder = Trim(GlobalVars.OutDir).empty() ? ExtractFilePath(run.Output) : std::string();
    bool later = false;
    FileList->ForEachWithStem(folder, stem, [&](int row) {
        const TFileItem& item = FileList->Item(row);
        const std::string key = FileNameKey(item.FullPath());
        if (key == sourceKey || FailedInBatch.count(key)) return false;
        later = FileNameKey(PlannedOutputPathOf(item, OutputExt)) == outputKey;
        return later;
    });
    return later;
}

// Entries still to start: listed, neither failed in this batch nor running now. The batch is complete
// when none is left and no decoder runs. Without removals this is FilesDecoded + FilesFailed =
// FilesTotal; judged by the list itself, a failed entry that the user removes (which lowers
// FilesTotal) or a next file removed between two runs cannot end the batch early or keep it waiting.
bool TFormMain::AnyEntryLeftToTry() const {
    for (int row = 0; row < FileList->Count(); ++row) {
        const std::string key = FileNameKey(FileList->Item(row).FullPath());
        if (!FailedInBatch.count(key) && !IsRunning(key)) return true;
    }
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
    BatchEndHeld = true;
    const std::string elapsed = FormatElapsed(Now() - g.BatchStart);
    g.RunLog.emplace_back();
    g.RunLog.push_back(g.FilesDecoded == 1
                           ? "Decoded one file in " + elapsed
                           : "Decoded " + std::to_string(g.FilesDecoded) + " files in " + elapsed);
    if (FilesSkipped > 0)
        g.RunLog.push_back(FilesSkipped == 1
                               ? std::string("Skipped one file whose WAV file was made already.")
                               : "Skipped " + std::to_string(FilesSkipped) +
                                     " files whose WAV files were made already.");
    const std::string summary = g.RunLog[g.RunLog.size() - (FilesSkipped > 0 ? 2 : 1)];
    if (g.FilesFailed == 1)
        g.RunLog.emplace_back(
            "One file couldn't be decoded,probably wrong format or using with other application.");
    else if (g.FilesFailed > 1)
        g.RunLog.push_back(
            std::to_string(g.FilesFailed) +
            " files couldn't be decoded,probably wrong format or using with other application.");
    if (FilesDamaged > 0)
        g.RunLog.push_back(
            (FilesDamaged == 1 ? std::string("One file was") : std::to_string(FilesDamaged) + " files were") +
            " decoded with damage passed over; " +
            (FilesDamaged == 1 ? "its source was" : "their sources were") + " kept.");
    if (TrayIcon) TrayIcon->SetToolTip("Finished decode");
    // From the tray the sound may be off or unheard: the icon says that the batch is over.
    if (TrayIcon && InTray()) TrayIcon->ShowMessage(AppTitle, summary);
    TipPercent = -1;
}
