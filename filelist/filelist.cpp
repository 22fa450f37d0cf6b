// The main window's file list: adding one file, finding, removing and moving entries, saving the
// list beside the executable, and the list view's events (sorting, dragging, deletions).
#include "app/formmain.h"

#include "engine/batchpaths.h"
#include "filelist/filelistmodel.h"
#include "filelist/filelistview.h"
#include "filelist/listjournal.h"
#include "filelist/savedlist.h"
#include "settings/errors.h"
#include "settings/fileinfo.h"
#include "settings/globals.h"
#include "settings/ini.h"
#include "settings/paths.h"

#include <QHeaderView>
#include <QItemSelectionModel>

namespace {

// One flag per row: whether it is selected. Walks the selection's ranges, so a selection of every
// other row of a long list costs linear time.
std::vector<char> SelectedRowMask(const QItemSelectionModel* selection, int rowCount) {
    std::vector<char> mask(static_cast<size_t>(rowCount), 0);
    if (!selection) return mask;
    for (const QItemSelectionRange& range : selection->selection())
        for (int row = std::max(range.top(), 0); row <= range.bottom() && row < rowCount; ++row)
            mask[static_cast<size_t>(row)] = 1;
    return mask;
}

} // namespace

void TFormMain::ConnectListView() {
    // Unique connections: calling this twice does not double the handlers.
    connect(FileList, &TFileListModel::EntryDeleted, this, &TFormMain::ListViewFilesDeletion,
            Qt::UniqueConnection);
    connect(ListViewFiles->header(), &QHeaderView::sectionClicked, this, &TFormMain::ListViewFilesColumnClick,
            Qt::UniqueConnection);
    connect(ListViewFiles, &TFileListView::EntryDropped, this, &TFormMain::ListViewFilesDragDrop,
            Qt::UniqueConnection);
    connect(ListViewFiles, &TFileListView::ListClicked, this, &TFormMain::ListViewFilesClick,
            Qt::UniqueConnection);
    // A planned output number belongs to its entry: an entry that leaves the list takes it along, so
    // the same file listed again is planned afresh.
    const auto hashOf = [](const TFileItem& item) {
        return std::hash<std::string>{}(FileNameKey(item.FullPath()));
    };
    connect(FileList, &QAbstractItemModel::rowsAboutToBeRemoved, this,
            [this, hashOf](const QModelIndex&, int first, int last) {
                for (int row = first; row <= last && !NumberedOutputs.empty(); ++row)
                    NumberedOutputs.erase(hashOf(FileList->Item(row)));
            });
    connect(FileList, &QAbstractItemModel::modelReset, this, [this, hashOf] {
        if (NumberedOutputs.empty()) return;
        std::unordered_map<size_t, int> kept;
        for (int row = 0; row < FileList->Count(); ++row)
            if (const int number = OutputNumberOf(FileList->Item(row)); number > 0)
                kept.emplace(hashOf(FileList->Item(row)), number);
        NumberedOutputs.swap(kept);
    });
}

void TFormMain::AddFile(const std::string& fullPath) {
    // A name with a NUL byte would be cut short by the system and could name another file; one with
    // a line break would come back from the saved list as two names; a relative name would depend
    // on the working folder and give the entry no folder of its own.
    constexpr std::string_view refused("\0\r\n", 3);
    if (fullPath.find_first_of(refused) != std::string::npos || !IsAbsolutePath(fullPath)) return;
    // The checks in memory first: a folder tree's other files and names listed already cost no look-up.
    if (!IsAcceptedFileType(ExtractFileExt(fullPath))) return;
    if (FileList->Find(fullPath) >= 0) return; // listed already
    TFileItem item;
    if (!FileSizeAndDateIfFile(fullPath, item.Size, item.Date)) return; // one look-up of the file
    SplitFullPath(fullPath, item.Path, item.FileName);
    const int64_t size = item.Size;
    FileList->Append(std::move(item));
    GlobalVars.FilesTotal += 1;
    GlobalVars.BytesTotal += size;
    ListChanged = true;
    SaveListPending = true; // the adding path saves when it is done
    SetShowSortArrows(false);
}

int TFormMain::FindEntry(const std::string& fullPath) const {
    return FileList->Find(fullPath);
}

void TFormMain::RemoveEntry(const std::string& fullPath) {
    const int row = FindEntry(fullPath);
    if (row < 0) return;
    FileList->Remove(row);
    SaveFileList();
}

void TFormMain::MoveEntryToEnd(const std::string& fullPath) {
    const int row = FindEntry(fullPath);
    if (row < 0) return;
    {
        TListUpdateHold hold(ListViewFiles);
        FileList->Move(row, FileList->Count());
    }
    SaveFileList();
}

namespace {

// The journal is folded into the list once it holds as much as the list itself (and at least
// this much): its replay at the next start stays short, and the rewrites cost O(1) per change.
constexpr uint64_t MinFoldedJournal = 1 << 20;

} // namespace

void TFormMain::SaveFileList() {
    // Cleared first: a write that fails is reported once, not once per queued request.
    SaveListPending = false;
    const std::string listPath = SavedListPath();
    std::vector<TListChange> changes;
    const bool recorded = FileList->TakeChanges(changes);
    const bool journaling = recorded && !PlanChanged && ListJournal && ListJournal->ListPath() == listPath &&
                            ListJournal->Size() <= std::max(MinFoldedJournal, ListJournal->ListSize()) &&
                            ListJournal->StillContinuesList();
    if (journaling) {
        // A failed append stops the journal: the next save writes the list whole.
        if (!ListJournal->Append(changes)) throw EFCreateError(listPath);
    } else {
        // Until the list has been written whole again, nothing may be added to the old journal,
        // which still continues the old list.
        if (ListJournal) ListJournal->Close();
        size_t bytes = 0;
        for (int row = 0; row < FileList->Count(); ++row)
            bytes += FileList->Item(row).Path.size() + FileList->Item(row).FileName.size();
        // An entry's planned output number follows it on a line of its own, which an earlier
        // version, taking it for a relative name, passes over.
        const auto line = [this](size_t row, std::string& text) {
            const TFileItem& item = FileList->Item(static_cast<int>(row));
            text += item.Path;
            text += item.FileName;
            if (const int number = OutputNumberOf(item); number > 0) text += "\r\n>" + std::to_string(number);
        };
        WriteLinesFile(listPath, static_cast<size_t>(FileList->Count()), line, bytes);
        ListJournal = std::make_shared<TListJournal>(listPath);
        ListJournal->Restart(); // failing, it leaves the journal stopped: the next save is whole too
        PlanChanged = false;
    }
    Ini::EraseSection(SettingsFilePath(), "Files"); // the older form of the saved list
}

void TFormMain::FoldSavedList() {
    if (!ListJournal || !ListJournal->HoldsChanges()) return;
    std::vector<TListChange> changes;
    FileList->TakeChanges(changes); // written whole below
    ListJournal->Close();
    SaveFileList();
}

void TFormMain::ActionRemoveExecute() {
    QItemSelectionModel* selection = ListViewFiles->selectionModel();
    const std::vector<char> selected = SelectedRowMask(selection, FileList->Count());
    if (std::find(selected.begin(), selected.end(), 1) == selected.end()) return;

    // The entries being decoded stay, wherever sorting or dragging has moved them. Every other
    // selected entry leaves the list; one not yet tried in this batch leaves the batch's totals as well.
    const std::vector<int> decodingRows = DecodingRows();
    const auto decoding = [&](int row) {
        return std::find(decodingRows.begin(), decodingRows.end(), row) != decodingRows.end();
    };
    int lastRemoved = 0;
    std::vector<int> rows;
    std::vector<std::string> kept; // full paths of the selected entries being decoded
    for (int row = FileList->Count() - 1; row >= 0; --row) {
        if (!selected[static_cast<size_t>(row)]) continue;
        lastRemoved = row;
        const TFileItem& item = FileList->Item(row);
        if (decoding(row)) {
            kept.insert(kept.begin(), item.FullPath());
            continue;
        }
        rows.push_back(row);
        if (FailedInBatch.count(FileNameKey(item.FullPath()))) continue;
        GlobalVars.FilesTotal -= 1;
        GlobalVars.BytesTotal -= item.Size;
        ListChanged = true;
    }
    const std::string decodingName = kept.empty() ? std::string() : ExtractFileName(kept[0]);
    {
        TListUpdateHold hold(ListViewFiles);
        FileList->RemoveRows(rows);
    }
    if (!kept.empty()) {
        ShowMessageBox(decodingName + " is decoding now!", AppTitle, MB_OK); // names the topmost
        // Removing many rows resets the view, which drops the selection: the kept entries stay selected.
        for (const std::string& path : kept) {
            const int row = FileList->Find(path);
            if (row >= 0)
                selection->select(FileList->index(row, 0),
                                  QItemSelectionModel::Select | QItemSelectionModel::Rows);
        }
    }

    // The list may have changed while the message was shown; the row is clamped afresh.
    if (FileList->Count() > 0) {
        const QModelIndex next = FileList->index(std::min(lastRemoved, FileList->Count() - 1), 0);
        selection->select(next, QItemSelectionModel::Select | QItemSelectionModel::Rows);
        selection->setCurrentIndex(next, QItemSelectionModel::NoUpdate);
    }
}

void TFormMain::ActionClearListExecute() {
    TListUpdateHold hold(ListViewFiles);
    FileList->Clear();
}

void TFormMain::ListViewFilesClick() {
    ActionListUpdate();
}

void TFormMain::ListViewFilesDeletion() {
    // The write waits until the removal is complete; HandleSaveFileList skips it when nothing changed.
    SaveListPending = true;
    PostMessage(WM_SAVEFILELIST);
}

void TFormMain::HandleSaveFileList() {
    if (SaveListPending) SaveFileList();
}

void TFormMain::ListViewFilesColumnClick(int column) {
    SortAscending = column == SortColumn ? !SortAscending : true;
    SortColumn = column;
    {
        TListUpdateHold hold(ListViewFiles);
        FileList->SortBy(column, SortAscending);
    }
    SetShowSortArrows(true);
    // The new order is the batch's order: keep the saved list equal to it.
    SaveListPending = true;
    PostMessage(WM_SAVEFILELIST);
}

void TFormMain::ListViewFilesDragDrop(int focusedRow, int dropRow, bool onEntry) {
    if (dropRow < 0 || focusedRow < 0 || focusedRow >= FileList->Count()) return;
    // On an entry the moving one goes in front of it; on empty space right after it.
    const int to = onEntry ? dropRow : dropRow + 1;
    if (to == focusedRow || to == focusedRow + 1) return; // dropped on itself: nothing moves
    {
        TListUpdateHold hold(ListViewFiles);
        FileList->Move(focusedRow, to);
    }
    SetShowSortArrows(false);
}

void TFormMain::SetShowSortArrows(bool show) {
    ShowSortArrows = show;
    if (ListViewFiles) ListViewFiles->SetSortArrow(show, SortColumn, SortAscending);
}
