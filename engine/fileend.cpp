// The end of one file of a batch: whether it counts as decoded, what happens to its source and its
// output, and the full disk that ends the batch. Nothing that the decoder did not finish, or that
// changed under it, is counted as decoded, and no source goes before its output is on the disk.
#include "app/formmain.h"
#include "decoder/arguments.h"
#include "decoder/partname.h"
#include "engine/batchpaths.h"
#include "engine/namecheck.h"
#include "engine/outputcheck.h"
#include "filelist/filelistmodel.h"
#include "settings/errors.h"
#include "settings/fileinfo.h"
#include "settings/filesystem.h"
#include "settings/globals.h"
#include "settings/paths.h"
#include "settings/services.h"

#include <QLabel>
#include <QProgressBar>
#include <QTimer>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <unordered_map>
#include <utility>
#include <vector>

namespace {

// The decoder's exit code for a whole file written with damage in its source passed over.
constexpr int ExitDamagePassedOver = 8;

bool DamagePassedOver(const TChildExit& exit) {
    return exit.Exited && exit.ExitCode == ExitDamagePassedOver;
}

// A decoder that crashed, gave up or was stopped by us never counts as a success: a stopped one
// may have written only part of its output.
bool DecoderFailed(const TChildExit& exit) {
    return (exit.Exited && exit.ExitCode != 0 && !DamagePassedOver(exit)) || exit.Signalled ||
           exit.Terminated;
}

// At most this many damaged spans are named per file; a source that is mostly damage is no
// reason for a log of thousands of lines.
constexpr size_t DamageLinesShown = 20;

// The batch ends as "When done" ends it: the running files finish, the files not yet tried stay.
void StopAfterTheRunningFiles() {
    auto& g = GlobalVars;
    if (g.BatchState == bsRunning) g.BatchState = bsStopWhenDone;
    g.StopWhenDone = true;
}

} // namespace

void TFormMain::LaunchDecoder(TDecoderRun& run) {
    // Taken before the decoder opens the file: whatever changes it from here on is seen at the end.
    run.SourceAtStart = LookUpPath(run.Source);
    RunnerOf(run)->Execute();
}

void TFormMain::FailUnstartedFile(TDecoderRun& run) {
    run.ProgressPhase = false;
    run.FileFailed = true;
    FinishFile(run);
}

void TFormMain::HandleDecoderEnd(TRedirector* sender) {
    auto& g = GlobalVars;
    TDecoderRun& run = RunOf(sender);
    run.Ended = true;
    FlushDecoderOutput(run);
    TRedirector* runner = sender ? sender : Redirector.get();
    // A decoder writes a file without a name, which a stopped or dead decoder cannot leave behind;
    // only where the file system lacks that is there a partial file by name. An ended decoder's is
    // removed by its name; those of earlier decoders that died are searched for once per folder and
    // batch, after a decoder that did not succeed: the search reads the whole output folder.
    if (!run.Output.empty()) {
        if (const int64_t pid = runner->ProcessHandle(); pid > 0)
            std::remove(PartialOutputPath(run.Output, pid).c_str());
        ClearUnheldPartial(run.Output);
        const TChildExit& exit = runner->ExitStatus();
        if ((!exit.Exited || exit.ExitCode != 0) && SweptFolders.insert(ExtractFilePath(run.Output)).second)
            RemoveStalePartialFiles(ExtractFilePath(run.Output));
    }
    ActionListUpdate();
    if (!run.Busy) return; // a decoder whose file is no longer part of any batch
    if (g.BatchState == bsStopNow) {
        run.Busy = false;
        return;
    }

    const TChildExit& exit = runner->ExitStatus();
    if (!run.ProgressPhase || DecoderFailed(exit)) run.FileFailed = true;
    run.Damaged = DamagePassedOver(exit);
    if (exit.Signalled && run.Reason.empty())
        run.Reason = "the decoder ended abnormally (signal " + std::to_string(exit.Signal) + ")";
    // Whatever the decoder said, no output is no success.
    if (!run.FileFailed && FileSizeOf(run.Output) <= 0) {
        run.FileFailed = true;
        if (run.Reason.empty()) run.Reason = "the decoder wrote no output file";
    }
    if (exit.Exited && exit.ExitCode == ExitDiskFull) StopForFullDisk(run);
    if (exit.Exited && exit.ExitCode == ExitFolderRefused) StopForRefusedFolder(run);
    FinishFile(run);
}

// No further file could be written there: the batch stops after its running files, and the user is
// told once which folder's disk is full.
void TFormMain::StopForFullDisk(const TDecoderRun& run) {
    StopAfterTheRunningFiles();
    ReportBatchError(EInOutError::TextForCode(101) + ": " + ExtractFilePath(run.Output), false);
}

// The same for a folder that refuses new files (no permission, read-only), with the system's reason,
// the end of the decoder's line.
void TFormMain::StopForRefusedFolder(const TDecoderRun& run) {
    const size_t colon = run.Reason.rfind(": ");
    const std::string why = colon == std::string::npos ? run.Reason : run.Reason.substr(colon + 2);
    StopForFolder("Cannot write into the output folder " + ExtractFilePath(run.Output) + ": " + why);
}

// A folder that takes no file is the user's to mend, not a fault of the program: told in a plain
// box, once per batch, from the event loop (see ReportBatchError).
void TFormMain::StopForFolder(const std::string& message) {
    StopAfterTheRunningFiles();
    if (!ReportedInBatch.insert(message).second) return;
    QMetaObject::invokeMethod(
        this, [message] { ShowMessageBox(message, "Error", MB_OK | MB_ICONHAND); }, Qt::QueuedConnection);
}

// The output folder (the chosen one, or a subfolder of the kept tree) could not be made: the file
// fails with the folder and the reason in the log, and the batch stops there.
void TFormMain::FailForOutputFolder(TDecoderRun& run, const std::string& folder, int error) {
    const std::string why = error ? std::strerror(error) : EInOutError::TextForCode(5);
    run.Reason = "cannot create the output folder " + folder + ": " + why;
    StopForFolder("Cannot create the output folder " + folder + ": " + why);
    FailUnstartedFile(run);
}

// A decoded file counts only while its source is the one the decoder read, and, when the source is
// to go, once its output is a whole WAV file on the disk. The source is looked at last, right
// before it goes.
bool TFormMain::DecodedResultHolds(TDecoderRun& run, bool deletingSource) const {
    if (deletingSource && (!IsWholeWavFile(run.Output) || !FlushFileToDisk(run.Output))) {
        run.Reason = "the output file is not a whole WAV file on the disk; the source is kept";
        return false;
    }
    if (SameFileState(run.SourceAtStart, LookUpPath(run.Source))) return true;
    run.Reason = "the source file changed while it was decoded";
    return false;
}

// Each entry whose output name its drive cannot hold fails at once, its entry kept at the end of
// the list with the reason in the log, so that no decode is spent on it. Each output folder's drive
// is looked at once per batch: a collection goes to one or a few folders. Returns whether any
// entry is left to decode.
bool TFormMain::FailNamesTheDriveRefuses() {
    auto& g = GlobalVars;
    std::vector<std::pair<std::string, std::string>> refused; // source, reason
    std::unordered_map<std::string, TNameRules> rules;        // per output folder
    for (int row = 0; row < FileList->Count(); ++row) {
        const TFileItem& item = FileList->Item(row);
        const std::string output = PlannedOutputPathOf(item, ".wav"), folder = ExtractFilePath(output);
        auto known = rules.find(folder);
        if (known == rules.end()) known = rules.emplace(folder, NameRulesOf(folder)).first;
        if (std::string why = NameProblem(ExtractFileName(output), known->second); !why.empty())
            refused.emplace_back(item.FullPath(), std::move(why));
    }
    for (const auto& [source, why] : refused) {
        g.AnyError = true;
        g.FilesFailed += 1;
        FailedInBatch.insert(FileNameKey(source));
        RunReported([&] { MoveEntryToEnd(source); });
        g.RunLog.push_back("An error occurred while trying to decode \"" + source + "\"!");
        g.RunLog.push_back("Reason: " + why);
        g.RunLog.emplace_back();
    }
    const bool anyLeft = AnyEntryLeftToTry();
    if (!refused.empty() && !anyLeft) g.RunLog.pop_back(); // the summary brings its own empty line
    return anyLeft;
}

// Under the file's name, each damaged span the decoder passed over.
void TFormMain::LogDamage(const TDecoderRun& run) {
    auto& log = GlobalVars.RunLog;
    FilesDamaged += 1;
    log.push_back("\"" + run.Source + "\" was decoded with damage passed over; its source is kept");
    for (size_t i = 0; i < run.Warnings.size() && i < DamageLinesShown; ++i)
        log.push_back("Damaged: " + run.Warnings[i]);
    if (run.Warnings.size() > DamageLinesShown)
        log.push_back("Damaged: " + std::to_string(run.Warnings.size() - DamageLinesShown) + " more spans");
}

void TFormMain::FinishFile(TDecoderRun& run) {
    auto& g = GlobalVars;
    run.Busy = false;
    // A source stays while a later entry of this batch will overwrite its output.
    const bool decoded = !run.FileFailed && run.ProgressPhase;
    // A damaged source stays too: a better copy of it may yet be found.
    const bool deleteSource = decoded && g.Delete && !run.Damaged && !OutputWrittenAgainLater(run);
    if (decoded && !DecodedResultHolds(run, deleteSource)) run.FileFailed = true;
    // The values this file ends with stay shown until the next file starts.
    g.CurrentSource = run.Source;
    g.ProgressPhase = run.ProgressPhase;
    g.FileFailed = run.FileFailed;
    g.FilePercent = run.FilePercent;
    if (!run.FileFailed && run.ProgressPhase) {
        if (deleteSource && std::remove(run.Source.c_str()) != 0)
            g.RunLog.push_back("\"" + run.Source +
                               "\" was decoded; its source could not be deleted: " + std::strerror(errno));
        if (run.Damaged) LogDamage(run);
        LastOutputFolder = ExtractFilePath(run.Output);
        // Saving the list may fail; the entry has left the list by then, and the batch goes on.
        RunReported([&] { RemoveEntry(run.Source); });
        g.FilesDecoded += 1;
        if (g.FilesDecoded == g.FilesTotal) {
            LabelBatch->setText(QStringLiteral("100%"));
            ShownBatchPercent = -1;
            // The end shows, and is read out, at the gauge's maximum, whatever the last progress
            // line said; the idle texts reset it with the next tick.
            ProgressBarBatch->setValue(ProgressBarBatch->maximum());
            LabelBatchRemaining->setText(QStringLiteral("Decoding finished"));
        }
    }
    if (run.FileFailed) {
        g.AnyError = true;
        g.FilesFailed += 1;
        FailedInBatch.insert(FileNameKey(run.Source));
        RunReported([&] { MoveEntryToEnd(run.Source); });
        if (!run.Output.empty()) DeleteIfEmpty(run.Output);
        g.RunLog.push_back("An error occurred while trying to decode \"" + run.Source + "\"!");
        g.RunLog.push_back("Reason: " +
                           (run.Reason.empty() ? std::string("the decoder gave none") : run.Reason));
    }

    // The batch completes when no entry is left to try and none is running.
    if (!AnyRunBusy() && (g.StopWhenDone || !AnyEntryLeftToTry())) {
        CompleteBatch();
        // A whole tick from now, not one that fell due during the completion sound.
        Timer1->start();
        return;
    }
    MirrorLeadRun();
    g.BytesFinished += run.Size;
    g.BytesDone = g.BytesFinished + BytesDoneInRuns();
    ShowBatchPercent();
    if (g.BytesDone > 0) ShowBatchRemaining();
    if (AnyRunBusy()) ShowWorkingText(); // the window now names the next running file
    g.RunLog.emplace_back();
    PostMessage(WM_NEXTFILE);
}
