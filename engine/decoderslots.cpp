// The batch's decoder slots: one runner each (the first is the window's Redirector), which slot is
// free, which running file leads the progress display, and which entries are being decoded.
#include "app/formmain.h"
#include "engine/batchpaths.h"
#include "filelist/filelistmodel.h"
#include "settings/globals.h"

#include <algorithm>

void TFormMain::PrepareRuns(int count) {
    SlotCount = count;
    LastStartOrder = 0;
    while (static_cast<int>(ExtraRunners.size()) < count - 1)
        ExtraRunners.push_back(std::make_unique<TRedirector>());
    if (static_cast<int>(Runs.size()) < count) Runs.resize(static_cast<size_t>(count));
    for (int slot = 0; slot < count; ++slot) {
        TDecoderRun& run = Runs[static_cast<size_t>(slot)];
        run.Busy = false;
        TRedirector* runner = RunnerOf(run);
        runner->SetInitialPriority(TProcessPriority::ppIdle);
        runner->SetDefaultErrorMode(true);
        // Both streams share the handling, each with its own unfinished line. An error escaping a
        // handler would be swallowed by the reader: it is reported here instead, and an end that
        // failed half-way still moves the batch on, so the wait in RunBatch always ends.
        const auto piece = [this, slot](bool errorStream) {
            return [this, slot, errorStream](TRedirector*, const char* buffer, int32_t size) {
                RunReported(
                    [&] { HandleDecoderPiece(Runs[static_cast<size_t>(slot)], errorStream, buffer, size); });
            };
        };
        runner->OnData = piece(false);
        runner->OnErrorData = piece(true);
        runner->OnTerminated = [this, slot](TRedirector* sender) {
            if (RunReported([&] { HandleDecoderEnd(sender); })) return;
            Runs[static_cast<size_t>(slot)].Busy = false;
            MoveBatchOn();
        };
        runner->KillOnDestroy = true;
    }
}

TRedirector* TFormMain::RunnerOf(const TDecoderRun& run) const {
    const auto slot = static_cast<size_t>(&run - Runs.data());
    return slot == 0 ? Redirector.get() : ExtraRunners[slot - 1].get();
}

TDecoderRun& TFormMain::RunOf(const TRedirector* runner) {
    for (size_t slot = 1; slot < Runs.size() && slot <= ExtraRunners.size(); ++slot)
        if (ExtraRunners[slot - 1].get() == runner) return Runs[slot];
    return Runs[0];
}

TDecoderRun* TFormMain::FreeRun() {
    for (int slot = 0; slot < SlotCount; ++slot) {
        TDecoderRun& run = Runs[static_cast<size_t>(slot)];
        if (!run.Busy && !RunnerOf(run)->Active()) return &run;
    }
    return nullptr;
}

const TDecoderRun* TFormMain::LeadRun() const {
    const TDecoderRun* lead = nullptr;
    for (const TDecoderRun& run : Runs)
        if (run.Busy && (!lead || run.StartOrder < lead->StartOrder)) lead = &run;
    return lead;
}

void TFormMain::MirrorLeadRun() {
    const TDecoderRun* lead = LeadRun();
    if (!lead) return; // between files the ended one's values stay, as with a single decoder
    auto& g = GlobalVars;
    g.CurrentSource = lead->Source;
    g.CurrentFileName = lead->FileName;
    g.CurrentFileSize = lead->Size;
    g.ProgressPhase = lead->ProgressPhase;
    g.FileFailed = lead->FileFailed;
    g.FilePercent = lead->FilePercent;
}

bool TFormMain::AnyRunBusy() const {
    return LeadRun() != nullptr;
}

bool TFormMain::IsRunning(const std::string& key) const {
    for (const TDecoderRun& run : Runs)
        if (run.Busy && FileNameKey(run.Source) == key) return true;
    return false;
}

bool TFormMain::DecoderRunning() const {
    if (Redirector && Redirector->Active()) return true;
    for (const auto& runner : ExtraRunners)
        if (runner->Active()) return true;
    return false;
}

std::vector<int> TFormMain::DecodingRows() const {
    std::vector<int> rows;
    if (!DecoderRunning()) return rows;
    const auto add = [&](const std::string& source) {
        const int row = FileList->Find(source);
        if (row >= 0 && std::find(rows.begin(), rows.end(), row) == rows.end()) rows.push_back(row);
    };
    add(GlobalVars.CurrentSource);
    for (const TDecoderRun& run : Runs)
        if (run.Busy) add(run.Source);
    std::sort(rows.begin(), rows.end());
    return rows;
}

int TFormMain::ThreadsInUse(const TDecoderRun& starting) const {
    int threads = 0;
    for (const TDecoderRun& run : Runs)
        if (run.Busy && &run != &starting) threads += run.Threads;
    return threads;
}

int TFormMain::DecodersStarting() const {
    int freeSlots = 1, entries = 1; // the one starting now
    for (int slot = 0; slot < SlotCount; ++slot) {
        const TDecoderRun& run = Runs[static_cast<size_t>(slot)];
        if (!run.Busy && !RunnerOf(run)->Active()) ++freeSlots;
    }
    // Counted only as far as the free slots go: the entries left are mostly at the top.
    for (int row = 0; row < FileList->Count() && entries < freeSlots; ++row) {
        const std::string key = FileNameKey(FileList->Item(row).FullPath());
        if (!FailedInBatch.count(key) && !IsRunning(key)) ++entries;
    }
    return std::min(freeSlots, entries);
}
