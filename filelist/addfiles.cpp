// Every way files enter the list besides AddFile itself: the add dialog with its playlists, drops of
// files and folder trees, names from the command line, and the start-up load of the saved lists or
// the clipboard.
#include "app/errorreport.h"
#include "app/formmain.h"
#include "filelist/filelistmodel.h"
#include "filelist/filelistview.h"
#include "filelist/listjournal.h"
#include "filelist/playlists.h"
#include "filelist/savedlist.h"
#include "settings/atomicfile.h"
#include "settings/errors.h"
#include "settings/filesystem.h"
#include "settings/globals.h"
#include "settings/ini.h"
#include "settings/paths.h"

#include <QAction>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QMimeData>
#include <QUrl>

#include <algorithm>
#ifdef __GLIBC__
#include <malloc.h>
#endif
#include <functional>
#include <set>
#include <string>
#include <unordered_map>
#include <utility>

namespace {

// The hourglass for one scope, hidden again however the scope is left.
class TBusyCursor {
public:
    TBusyCursor() { BeginBusyCursor(); }
    ~TBusyCursor() { EndBusyCursor(); }
    TBusyCursor(const TBusyCursor&) = delete;
    TBusyCursor& operator=(const TBusyCursor&) = delete;
};

using TFolderId = std::pair<uint64_t, uint64_t>;

// A folder's entries in the order NTFS keeps a directory: each UTF-16 unit upper-cased on its
// own, then compared by value; names equal but for case (two files on POSIX) go by their bytes.
// Other file systems give hash or creation order, which makes a dropped tree's batch order look
// random.
std::vector<TFolderEntry> InNameOrder(std::vector<TFolderEntry> entries) {
    std::vector<std::pair<std::u16string, size_t>> keys;
    keys.reserve(entries.size());
    for (size_t i = 0; i < entries.size(); ++i) {
        const QString shown = DisplayText(entries[i].Name);
        std::u16string key(static_cast<size_t>(shown.size()), u'\0');
        std::transform(shown.begin(), shown.end(), key.begin(),
                       [](QChar c) { return c.toUpper().unicode(); });
        keys.emplace_back(std::move(key), i);
    }
    std::sort(keys.begin(), keys.end(), [&](const auto& a, const auto& b) {
        if (a.first != b.first) return a.first < b.first;
        return entries[a.second].Name < entries[b.second].Name;
    });
    std::vector<TFolderEntry> sorted;
    sorted.reserve(entries.size());
    for (const auto& key : keys)
        sorted.push_back(std::move(entries[key.second]));
    return sorted;
}

// Depth first through the tree in name order, each folder closed before its subfolders are
// entered, so a deep tree holds one handle at a time. Each folder is entered once (by volume and
// node), so folder links that lead back into the tree end the walk instead of repeating it.
void ScanFolderTree(const std::string& folder, std::set<TFolderId>& seen,
                    const std::function<void(const std::string&)>& addFile) {
    const TPathInfo info = LookUpPath(folder);
    if (info.Kind != TPathKind::Folder) return;
    if (!seen.insert({info.Volume, info.Node}).second) return;
    const std::string prefix = IncludeTrailingPathDelimiter(folder);
    for (const TFolderEntry& entry : InNameOrder(ListFolder(folder))) {
        const std::string path = prefix + entry.Name;
        if (entry.KnownFile)
            addFile(path);
        else if (DirectoryExists(path))
            ScanFolderTree(path, seen, addFile);
        else
            addFile(path);
    }
}

// A dropped local URL as the bytes of its path, taken from the percent-encoded form so that names
// that are not valid text arrive whole; a host other than this one names a network share.
std::string LocalPathOf(const QUrl& url) {
    const std::string path =
        QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1()).toStdString();
    const QString host = url.host();
    if (host.isEmpty() || host == QLatin1String("localhost")) return path;
    return "//" + QFile::encodeName(host).toStdString() + path;
}

// A playlist adds the files it names, as the add dialog opens it; any other name is a candidate itself.
void AddFileOrPlaylist(TFormMain& form, const std::string& name) {
    const std::string ext = LowerCase(ExtractFileExt(name));
    if (ext == ".m3u")
        for (const std::string& entry : ReadM3uPlaylist(name))
            form.AddFile(entry);
    else if (ext == ".pls")
        for (const std::string& entry : ReadPlsPlaylist(name))
            form.AddFile(entry);
    else
        form.AddFile(name);
}

// Folders are scanned whole, other names go to addOne; what was added is saved, also when an
// error ends the loop early.
void AddEachName(TFormMain& form, const std::vector<std::string>& names,
                 const std::function<void(const std::string&)>& addOne) {
    {
        TBusyCursor busy;
        try {
            for (const std::string& name : names) {
                TListUpdateHold hold(form.ListViewFiles);
                if (DirectoryExists(name))
                    form.AddFolder(name);
                else
                    addOne(name);
            }
        } catch (...) {
            form.SaveFileList();
            throw;
        }
        form.SaveFileList();
    }
    form.ActionListUpdate();
}

// The changes saved after the list was last written whole, made again in their order; then the list
// is written whole, so that the journal starts afresh.
void ApplySavedListJournal(TFormMain& form, const std::string& savedList) {
    const std::vector<TListChange> changes = ReadListJournal(savedList);
    TFileListModel& list = *form.FileList;
    for (const TListChange& change : changes) {
        const int row = change.Kind == TListChange::Added ? -1 : list.Find(change.Path);
        if (change.Kind == TListChange::Added) {
            form.AddFile(change.Path);
        } else if (change.Kind == TListChange::Removed) {
            list.Remove(row);
        } else if (row >= 0) {
            const int before = change.Before.empty() ? -1 : list.Find(change.Before);
            list.Move(row, before < 0 ? list.Count() : before);
        }
    }
    if (!changes.empty()) form.SaveFileList();
}

// Loading a long list frees many short-lived pieces between the entries it keeps; the allocator
// keeps such memory for itself unless asked to hand it back.
void ReleaseFreedMemory() {
#ifdef __GLIBC__
    malloc_trim(0);
#endif
}

} // namespace

void TFormMain::ActionAddFilesExecute() {
    // Confirmed, cancelled or failed: the progress line shows the totals again.
    struct TMarkChanged {
        bool& Flag;
        ~TMarkChanged() { Flag = true; }
    } markChanged{ListChanged};

    OpenDialog.InitialDir = GlobalVars.LastOpenDir;
    std::vector<std::string> names;
    if (!Services().OpenFiles(OpenDialog, names) || names.empty()) return;
    TBusyCursor busy;
    AddFiles(names);
    GlobalVars.LastOpenDir = IncludeTrailingPathDelimiter(ExtractFilePath(names.front()));
    // After a single choice that name stays preset for the next showing.
    if (names.size() > 1) OpenDialog.FileName.clear();
    WriteSetting("System", "LastOpenDir", GlobalVars.LastOpenDir);
}

void TFormMain::AddFiles(const std::vector<std::string>& names) {
    TListUpdateHold hold(ListViewFiles);
    for (const std::string& name : names)
        AddFileOrPlaylist(*this, name);
    SaveFileList();
}

void TFormMain::AddFolder(const std::string& folder) {
    TBusyCursor busy;
    std::set<TFolderId> seen;
    ScanFolderTree(folder, seen, [this](const std::string& path) { AddFile(path); });
}

void TFormMain::DropFiles(const std::vector<std::string>& names) {
    // A dropped playlist is listed as the file it is.
    AddEachName(*this, names, [this](const std::string& name) { AddFile(name); });
}

void TFormMain::OpenFiles(const std::vector<std::string>& paths) {
    // A missing playlist is dropped without a word, like any other missing name.
    AddEachName(*this, paths, [this](const std::string& path) {
        if (FileExists(path)) AddFileOrPlaylist(*this, path);
    });
}

void TFormMain::dragEnterEvent(QDragEnterEvent* event) {
    const QList<QUrl> urls = event->mimeData()->urls();
    if (std::any_of(urls.begin(), urls.end(), [](const QUrl& url) { return url.isLocalFile(); }))
        event->acceptProposedAction();
}

void TFormMain::dropEvent(QDropEvent* event) {
    std::vector<std::string> names;
    for (const QUrl& url : event->mimeData()->urls())
        if (url.isLocalFile()) names.push_back(LocalPathOf(url));
    event->acceptProposedAction();
    DropFiles(names);
}

void TFormMain::HandleStartup() {
    show();
    LoadFileList();
    SetShowSortArrows(false);
    if (!StartupPaths.empty()) OpenFiles(StartupPaths);
    if (FirstArgument == "-C") {
        // The clipboard's list replaces the saved one before any file is decoded: a crash during
        // the first file must not bring the old list back. A save that fails is reported; the
        // batch still starts.
        if (FileList->Count() > 0) {
            try {
                SaveFileList();
            } catch (const std::exception& error) {
                AppException(error);
            }
        }
        ReleaseFreedMemory();
        RunAction(ActionDecode);
    }
    ReleaseFreedMemory();
    ActionListUpdate();
}

void TFormMain::LoadFileList() {
    // A save cut short between its write and its rename left a temporary beside the list.
    RemoveLeftTemporaries(SavedListPath());
    TListUpdateHold hold(ListViewFiles);
    if (LowerCase(FirstArgument) == "-c") {
        // The clipboard replaces the saved lists; the next save overwrites them with it.
        ImportClipboard();
        return;
    }
    // The older saved list: keys "1".."N", N counting the keys that hold a value. The section is
    // read once; it gives each key trimmed, in its first occurrence, as a key-by-key read finds it.
    const auto section = Ini::ReadSection(SettingsFilePath(), "Files");
    std::unordered_map<std::string, std::string> values;
    size_t count = 0;
    for (const auto& [key, value] : section) {
        values.emplace(key, value);
        if (!value.empty()) ++count;
    }
    for (size_t k = 1; k <= count; ++k) {
        const auto found = values.find(std::to_string(k));
        if (found != values.end()) AddFile(found->second);
    }
    const std::string savedList = SavedListPath();
    std::string listed; // the entry that a following ">N" line gives its output number
    if (FileExists(savedList))
        ReadLinesFile(savedList, [&](const std::string& line) {
            if (!line.empty() && line[0] == '>') return RestoreOutputNumber(listed, line.substr(1));
            const int count = FileList->Count();
            AddFile(line);
            listed = FileList->Count() > count ? line : std::string();
        });
    ApplySavedListJournal(*this, savedList);
}

void TFormMain::ImportClipboard() {
    const std::optional<std::string> text = Services().ClipboardText();
    if (!text) throw EWavesmithError("Cannot open clipboard");
    TListUpdateHold hold(ListViewFiles);
    ForEachLine(*text, [this](const std::string& line) { AddFile(line); });
}
