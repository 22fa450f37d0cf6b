// Where each entry's WAV file goes, and the question before a batch about outputs that exist or
// that two entries would share: with a chosen output folder, same-named sources from different
// folders meet, and no WAV is replaced unless the user agreed to replace that very file.
#include "app/formmain.h"
#include "engine/batchpaths.h"
#include "filelist/filelistmodel.h"
#include "settings/fileinfo.h"
#include "settings/globals.h"
#include "settings/paths.h"
#include "settings/services.h"

#include <functional>
#include <unordered_map>
#include <unordered_set>

namespace {

// Names shown in the clash question; the count says how many there are in all.
constexpr size_t ClashNamesShown = 5;

bool KeepingTree() {
    return GlobalVars.KeepTree && !Trim(GlobalVars.OutDir).empty();
}

} // namespace

// Numbered entries are found by a hash of their source's key, which for a whole collection of
// clashing names takes a few megabytes where the names would take tens.
std::string TFormMain::OutputNameOf(const TFileItem& item, const std::string& ext) const {
    const std::string plain = OutputFileName(item.FileName, ext);
    const int number = OutputNumberOf(item);
    return number == 0 ? plain : NumberedFileName(plain, number);
}

// The output path depends only on the settings, the source's path and this batch's numbering, so
// a batch resumed with the folder tree kept writes to the same places.
std::string TFormMain::PlannedOutputPathOf(const TFileItem& item, const std::string& ext) const {
    const std::string sub = KeepingTree() ? TreeSubfolder(item.Path, TreeBaseFolder()) : std::string();
    return PlannedOutputFolder(GlobalVars.OutDir, item.Path) + sub + OutputNameOf(item, ext);
}

// Beside the source while the chosen folder does not exist yet (`outDirExists`, looked at once).
std::string TFormMain::CheckOutputPathOf(const TFileItem& item, const std::string& ext,
                                         bool outDirExists) const {
    if (!outDirExists) return item.Path + OutputNameOf(item, ext);
    return PlannedOutputPathOf(item, ext);
}

// One pass with a hash of each planned output: the rows whose output an earlier row plans, each
// with its place among the entries of that name (2 for the first repeat), and the first rows of a
// name whose output holds another source's WAV file already (`taken` counts those). Hashes and rows
// are kept rather than the names, which for a whole collection would take tens of megabytes.
std::vector<std::pair<int, int>> TFormMain::FindOutputClashes(const std::string& ext, size_t* taken) {
    std::unordered_multimap<size_t, int> planned;
    std::unordered_map<int, int> repeats; // first row of a name -> entries of that name so far
    std::vector<std::pair<int, int>> clashes;
    const auto keyOf = [&](int row) { return FileNameKey(PlannedOutputPathOf(FileList->Item(row), ext)); };
    for (int row = 0; row < FileList->Count(); ++row) {
        const std::string key = keyOf(row);
        const size_t hash = std::hash<std::string>{}(key);
        int first = -1;
        for (auto [seen, end] = planned.equal_range(hash); seen != end && first < 0; ++seen)
            if (keyOf(seen->second) == key) first = seen->second;
        if (first < 0) {
            planned.emplace(hash, row);
            if (OutputTakenByOther(FileList->Item(row), PlannedOutputPathOf(FileList->Item(row), ext))) {
                repeats[row] = 2;
                clashes.emplace_back(row, 2);
                if (taken) ++*taken;
            }
            continue;
        }
        int& count = repeats[first];
        count = count == 0 ? 2 : count + 1;
        clashes.emplace_back(row, count);
    }
    return clashes;
}

// Later entries of one output name get "name (2).wav", "name (3).wav"...; a number whose name
// another entry plans already, or where another source's WAV file is, is passed over.
void TFormMain::NumberClashes(const std::vector<std::pair<int, int>>& clashes, const std::string& ext) {
    const auto keyOf = [&](int row) { return FileNameKey(PlannedOutputPathOf(FileList->Item(row), ext)); };
    std::unordered_multimap<size_t, int> planned;
    for (int row = 0; row < FileList->Count(); ++row)
        planned.emplace(std::hash<std::string>{}(keyOf(row)), row);
    const auto plannedByAnother = [&](const std::string& key) {
        for (auto [seen, end] = planned.equal_range(std::hash<std::string>{}(key)); seen != end; ++seen)
            if (keyOf(seen->second) == key) return true;
        return false;
    };
    std::unordered_set<std::string> numbered;
    for (const auto& [row, place] : clashes) {
        const TFileItem& item = FileList->Item(row);
        const std::string plain = OutputFileName(item.FileName, ext);
        const std::string folder = ExtractFilePath(PlannedOutputPathOf(item, ext));
        for (int number = place;; ++number) {
            const std::string key = FileNameKey(folder + NumberedFileName(plain, number));
            if (plannedByAnother(key) || numbered.count(key) ||
                OutputTakenByOther(item, folder + NumberedFileName(plain, number)))
                continue;
            numbered.insert(key);
            NumberedOutputs[std::hash<std::string>{}(FileNameKey(item.FullPath()))] = number;
            PlanChanged = true;
            break;
        }
    }
}

// Asked once for the whole list. Every choice but Cancel keeps every file; the default button
// (Enter) numbers the later outputs, and nothing is ever overwritten by another entry's output.
bool TFormMain::ResolveOutputClashes(const std::string& ext) {
    auto& g = GlobalVars;
    size_t taken = 0;
    std::vector<std::pair<int, int>> clashes = FindOutputClashes(ext, &taken);
    if (clashes.empty()) return true;
    std::string names;
    for (size_t i = 0; i < clashes.size() && i < ClashNamesShown; ++i)
        names += "\r\n" + PlannedOutputPathOf(FileList->Item(clashes[i].first), ext);
    if (clashes.size() > ClashNamesShown) names += "\r\n...";
    const bool treeOffered = !Trim(g.OutDir).empty() && !g.KeepTree;
    const std::string count =
        clashes.size() == 1 ? std::string("One file") : std::to_string(clashes.size()) + " files";
    const std::string over =
        taken == 0 ? "the output of an earlier file of the same name"
        : taken < clashes.size()
            ? "the output of an earlier file of the same name or a WAV file made from another source"
            : "a WAV file made from another source";
    const std::string text =
        count + " of the list would be written over " + over + ":" + names +
        "\r\n\r\nKeep every file: number the later outputs (\"name (2).wav\")" +
        (treeOffered ? ", or keep the folder tree below \"" + TreeBaseFolder() + "\" in the output folder?"
                     : "?");
    const int answer = ShowMessageDialog(text, "Same output names", TMsgDlgType::mtConfirmation,
                                         mbYes | (treeOffered ? mbNo : 0u) | mbCancel,
                                         {"&Number them", treeOffered ? "Keep the folder &tree" : ""});
    if (answer == mrNo && treeOffered) {
        // The choice holds for later batches too: a resumed one writes to the same places.
        g.KeepTree = true;
        g.TreeStored = true;
        WriteSetting("General", "KeepTree", "1");
        WriteSetting("General", "TreeBase", g.TreeBase);
        clashes = FindOutputClashes(ext); // sources outside the base still meet: they are numbered
    } else if (answer != mrYes) {
        return false;
    }
    NumberClashes(clashes, ext);
    return true;
}

// The numbers given by earlier batches stay with their entries (the saved list keeps them), so a
// resumed batch writes where it was planned; only new clashes are numbered.
bool TFormMain::ConfirmOverwrite(const std::string& ext) {
    ReplaceAgreed.clear();
    SkipAtStart.clear();
    ExistingChecks.clear();
    if (!ResolveOutputClashes(ext)) return false;
    return ConfirmExistingOutputs(ext);
}

void TFormMain::RestoreOutputNumber(const std::string& fullPath, const std::string& number) {
    if (fullPath.empty() || number.empty() || number.size() > 9 ||
        number.find_first_not_of("0123456789") != std::string::npos)
        return;
    if (const int value = std::stoi(number); value >= 2)
        NumberedOutputs[std::hash<std::string>{}(FileNameKey(fullPath))] = value;
}

int TFormMain::OutputNumberOf(const TFileItem& item) const {
    if (NumberedOutputs.empty()) return 0;
    const auto numbered = NumberedOutputs.find(std::hash<std::string>{}(FileNameKey(item.FullPath())));
    return numbered == NumberedOutputs.end() ? 0 : numbered->second;
}
