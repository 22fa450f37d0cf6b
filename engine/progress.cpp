// Following the decoder while it runs: its text cut into lines per stream, the header and
// progress lines read, and the working line, remaining time, gauge and tray tip kept current.
#include "app/formmain.h"
#include "app/trayicon.h"
#include "engine/decoderoutput.h"
#include "settings/globals.h"
#include "settings/paths.h"

#include <QLabel>
#include <QProgressBar>

void TFormMain::HandleDecoderOutput(TRedirector* sender, const char* buffer, int32_t size) {
    HandleDecoderPiece(RunOf(sender), false, buffer, size);
}

void TFormMain::HandleDecoderPiece(TDecoderRun& run, bool errorStream, const char* buffer, int32_t size) {
    if (size <= 0) return;
    CutLines(errorStream ? run.PendingErr : run.PendingOut, buffer, static_cast<size_t>(size),
             [&](std::string_view line) { HandleDecoderLine(run, line); });
    MirrorLeadRun();
}

void TFormMain::FlushDecoderOutput(TDecoderRun& run) {
    const auto handle = [&](std::string_view line) { HandleDecoderLine(run, line); };
    FlushLines(run.PendingOut, handle);
    FlushLines(run.PendingErr, handle);
}

void TFormMain::HandleDecoderLine(TDecoderRun& run, std::string_view line) {
    // A decoder stopped with "Stop now" may still have lines in its pipes: they show nothing more.
    if (IsBlankLine(line) || GlobalVars.BatchState == bsStopNow) return;
    // The decoder's last line of its own (not progress, names or a remark) says why it failed. It
    // may follow the last progress line without a line end of its own.
    const auto starts = [line](std::string_view head) { return line.substr(0, head.size()) == head; };
    if (starts("Frame#")) {
        const size_t kbps = line.find(" kbps");
        if (kbps != std::string_view::npos && !IsBlankLine(line.substr(kbps + 5)))
            run.Reason = std::string(TrimView(line.substr(kbps + 5)));
    } else if (starts("warning:")) {
        run.Warnings.emplace_back(TrimView(line.substr(8)));
    } else if (!IsInputLine(line) && !IsOutputLine(line) && !starts("note:")) {
        run.Reason = std::string(TrimView(line));
    }
    if (IsBitstreamProblem(line)) {
        // The file is damaged: stop at once, and never count what was written as decoded.
        run.FileFailed = true;
        TRedirector* runner = RunnerOf(run);
        if (!run.Ended && runner && runner->Active()) runner->Terminate(0);
    }
    if (run.ProgressPhase)
        HandleProgressLine(run, line);
    else if (IsProgressHeader(line))
        run.ProgressPhase = true;
    else if (IsOutputLine(line))
        return;
    else if (IsInputLine(line))
        ShowWorkingText();
}

int64_t TFormMain::BytesDoneInRuns() const {
    int64_t bytes = 0;
    for (const TDecoderRun& run : Runs)
        if (run.Busy) bytes += run.Size * run.FilePercent / 100;
    return bytes;
}

void TFormMain::ShowWorkingText() {
    LabelWorking->setText(QStringLiteral("Working on file %1 of %2: \"%3\"")
                              .arg(GlobalVars.FilesDecoded + GlobalVars.FilesFailed + 1)
                              .arg(GlobalVars.FilesTotal)
                              .arg(DisplayText(GlobalVars.CurrentFileName)));
}

void TFormMain::ShowBatchPercent() {
    GlobalVars.BatchPercent =
        BatchPercentOf(GlobalVars.BytesDone, GlobalVars.BytesTotal,
                       GlobalVars.FilesDecoded + GlobalVars.FilesFailed, GlobalVars.FilesTotal);
    // Rebuilding the texts only when they change keeps a line's work small.
    if (GlobalVars.BatchPercent != ShownBatchPercent) {
        ShownBatchPercent = GlobalVars.BatchPercent;
        LabelBatch->setText(QString::number(GlobalVars.BatchPercent) + QLatin1Char('%'));
    }
    ProgressBarBatch->setValue(GaugePosition(GlobalVars.BatchPercent, ProgressBarBatch->maximum()));
}

void TFormMain::ShowBatchRemaining() {
    const double elapsed = Now() - GlobalVars.BatchStart;
    LabelBatchRemaining->setText(
        PathText(FormatElapsed(RemainingDays(elapsed, GlobalVars.BytesTotal, GlobalVars.BytesDone))));
}

void TFormMain::HandleProgressLine(TDecoderRun& run, std::string_view line) {
    const TFrameCounts counts = ReadProgressLine(line);
    FilePercentOf(counts.Current, counts.Total, run.FilePercent);
    // Every running file counts with its share; the ended ones with their whole size.
    GlobalVars.BytesDone = BytesDoneInRuns() + GlobalVars.BytesFinished;
    ShowBatchPercent();

    if (GlobalVars.BytesDone > 0) {
        if (RemainingRefreshCount > 100) {
            ShowBatchRemaining();
            RemainingRefreshCount = 0;
        }
        RemainingRefreshCount += 1;
    }

    if (GlobalVars.BatchPercent != TipPercent || GlobalVars.CurrentFileName != TipFileName ||
        TrayIcon->ToolTip() != ShownTip) {
        TipPercent = GlobalVars.BatchPercent;
        TipFileName = GlobalVars.CurrentFileName;
        TrayIcon->SetToolTip("Current file:" + GlobalVars.CurrentFileName +
                             ", Percent: " + std::to_string(GlobalVars.BatchPercent) + "%");
        ShownTip = TrayIcon->ToolTip();
    }

    if (ListChanged) {
        ShowWorkingText();
        ListChanged = false;
    }
}
