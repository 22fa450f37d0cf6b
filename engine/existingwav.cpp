// Outputs that exist before a batch: whose audio they hold, and what the batch does with them.
// A WAV file made from another source is never the victim of a default answer: its name counts
// as taken and the clash question (outputplan.cpp) numbers the entry. A WAV file made from this
// very source is asked about, skipped or replaced as the user chose in the options.
#include "app/formmain.h"
#include "engine/batchpaths.h"
#include "engine/outputcheck.h"
#include "filelist/filelistmodel.h"
#include "filelist/filelistview.h"
#include "settings/fileinfo.h"
#include "settings/globals.h"
#include "settings/paths.h"
#include "settings/services.h"

#include <filesystem>

// The decoder names the source in what it writes into a chosen output folder. A file without that
// mark beside its source was made from it (no other source has that folder and name); one in the
// output folder is an earlier version's or another program's: its source is unknown.
TFormMain::TOutputOrigin TFormMain::OriginOfOutput(const TFileItem& item, const std::string& output) {
    const std::string key = FileNameKey(output);
    auto found = ExistingChecks.find(key);
    if (found == ExistingChecks.end()) found = ExistingChecks.emplace(key, CheckWavFile(output)).first;
    const TWavFileCheck& check = found->second;
    if (!check.Exists) return TOutputOrigin::None;
    if (check.Marked)
        return FileNameKey(check.Source) == FileNameKey(item.FullPath()) ? TOutputOrigin::Own
                                                                         : TOutputOrigin::Other;
    return SameFileName(ExtractFilePath(output), item.Path) ? TOutputOrigin::Own : TOutputOrigin::Unknown;
}

// With "Skip it": a finished file (the check made before a source is let go) not older than the
// source. Leaving it costs nothing, whoever wrote it: the source stays where it is.
bool TFormMain::SkipsExisting(const TFileItem& item, const std::string& output) {
    if (GlobalVars.ExistingWav != "skip" || OriginOfOutput(item, output) == TOutputOrigin::Other)
        return false;
    const TWavFileCheck& check = ExistingChecks.at(FileNameKey(output));
    std::error_code ec;
    const auto sourceModified = std::filesystem::last_write_time(std::filesystem::path(item.FullPath()), ec);
    return check.Whole && !ec && check.Modified >= sourceModified;
}

bool TFormMain::OutputTakenByOther(const TFileItem& item, const std::string& output) {
    const TOutputOrigin origin = OriginOfOutput(item, output);
    return origin == TOutputOrigin::Other ||
           (origin == TOutputOrigin::Unknown && !SkipsExisting(item, output));
}

// The outputs left after the clash question are this source's own: asked one by one as before
// ("Replace it" answers Yes to All), or skipped. Only the ones the user agreed to replace are
// replaced; any other file found at an output name when its decoder ends stays.
bool TFormMain::ConfirmExistingOutputs(const std::string& ext) {
    bool yesToAll = GlobalVars.ExistingWav == "replace";
    const bool outDirChosen = !Trim(GlobalVars.OutDir).empty();
    const bool outDirExists = outDirChosen && DirectoryExists(GlobalVars.OutDir);
    // Until the chosen folder exists the checks look beside the sources, where nothing is written.
    const bool checkedWherePlanned = outDirExists == outDirChosen;
    for (int row = 0; row < FileList->Count(); ++row) {
        const TFileItem& item = FileList->Item(row);
        const std::string output = CheckOutputPathOf(item, ext, outDirExists);
        if (OriginOfOutput(item, output) == TOutputOrigin::None) continue;
        if (checkedWherePlanned && SkipsExisting(item, output)) {
            SkipAtStart.insert(FileNameKey(item.FullPath()));
            continue;
        }
        if (!yesToAll) {
            const int answer = ShowMessageDialog(
                "File \"" + output + "\" already exists.\r\n\r\nAre you sure overwrite it?",
                "Overwrite file?", TMsgDlgType::mtConfirmation, mbYes | mbNo | mbCancel | mbYesToAll);
            if (answer != mrYes && answer != mrYesToAll) {
                SkipAtStart.clear(); // nothing starts: nothing is skipped either
                return false;
            }
            yesToAll = answer == mrYesToAll;
        }
        ReplaceAgreed.insert(FileNameKey(output));
    }
    return true;
}

// At the batch's start: the skipped entries leave the list (their sources stay), each named in the log.
void TFormMain::LeaveSkippedEntries() {
    FilesSkipped = 0;
    ExistingChecks.clear(); // a collection's worth of checks, no longer needed
    if (SkipAtStart.empty()) return;
    std::vector<int> rows;
    for (int row = 0; row < FileList->Count(); ++row) {
        const std::string source = FileList->Item(row).FullPath();
        if (!SkipAtStart.count(FileNameKey(source))) continue;
        rows.push_back(row);
        GlobalVars.RunLog.push_back("Skipped \"" + source + "\": its WAV file is made already.");
    }
    FilesSkipped = static_cast<int>(rows.size());
    SkipAtStart.clear();
    TListUpdateHold hold(ListViewFiles);
    FileList->RemoveRows(rows);
}
