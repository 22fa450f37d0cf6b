#pragma once
// The main window: the file list, the batch controls and progress display, the tray icon.
// Its methods live in the folder of their concern (see the file named in each section).
#include "app/startargs.h"
#include "engine/decoderrun.h"
#include "engine/outputcheck.h"
#include "engine/redirect.h"
#include "settings/services.h"

#include <QEvent>
#include <QMainWindow>

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

class QAction;
class QCheckBox;
class QKeySequence;
class QLabel;
class QMenu;
class QProgressBar;
class QPushButton;
class QTimer;
class QWidget;
class TFileListModel;
struct TFileItem;
class TFileListView;
class TListJournal;
class TTrayIcon;
class TTrayButton;

// Messages the main window posts to itself.
inline constexpr QEvent::Type WM_SAVEFILELIST = static_cast<QEvent::Type>(QEvent::User + 1);
inline constexpr QEvent::Type WM_STARTFILE = static_cast<QEvent::Type>(QEvent::User + 2);
inline constexpr QEvent::Type WM_NEXTFILE = static_cast<QEvent::Type>(QEvent::User + 3);
inline constexpr QEvent::Type WM_STARTUP = static_cast<QEvent::Type>(QEvent::User + 4);

inline constexpr const char* AppTitle = "Wavesmith 2.6";

class TFormMain : public QMainWindow {
    Q_OBJECT
public:
    // firstArgument: the first command-line argument ("-C" imports the clipboard and decodes).
    explicit TFormMain(const std::string& firstArgument = {}, QWidget* parent = nullptr);
    ~TFormMain() override;

    void PostMessage(QEvent::Type message);

    // ---- Start-up, window, tray (app/formmain.cpp, app/formmainlayout.cpp)
    void FormCreate();
    void PrepareWindow();
    void FormClose();
    void FormDestroy();
    void ImgTrayClick();
    void TrayIconClick();
    void TrayIconDblClick();
    void mnuShowClick();
    void mnuExitClick();
    void SeSkinButton1Click();
    void mnuStayontopClick();
    void CheckBoxCloseAppClick();
    void ImgTrayMouseMove();
    void Image4MouseMove();
    void btnAddClick();
    void btnRemoveClick();
    void btnClearClick();
    void btnOptionsClick();
    void btnDecodeClick();
    void btnCancelClick();
    // Runs an action if it is enabled after an update, then updates the actions again.
    void RunAction(QAction* action);
    bool InTray() const;
    // Enables the send-to-tray button where the desktop has a notification area, and says why not.
    void UpdateTrayButton();
    // A later start of the program handed over its arguments: taken from the event loop, once no
    // box or dialog waits for an answer.
    void AnotherStart(const TStartArgs& args);
    void RunPendingStarts();
    void BringToFront();

    // ---- File list (filelist/filelist.cpp)
    void AddFile(const std::string& fullPath);
    int FindEntry(const std::string& fullPath) const; // row, or -1
    void RemoveEntry(const std::string& fullPath);
    void MoveEntryToEnd(const std::string& fullPath);
    void SaveFileList();
    void FoldSavedList(); // writes the saved list whole when its journal holds changes
    void ActionRemoveExecute();
    void ActionClearListExecute();
    void ListViewFilesClick();
    void ListViewFilesDeletion();
    void HandleSaveFileList(); // WM_SAVEFILELIST
    void ListViewFilesColumnClick(int column);
    void ListViewFilesDragDrop(int focusedRow, int dropRow, bool onEntry);
    void SetShowSortArrows(bool show);
    // Connects ListViewFiles and FileList to the handlers above; the layout calls it once after creating
    // both.
    void ConnectListView();

    // ---- Adding files (filelist/addfiles.cpp)
    void ActionAddFilesExecute();
    void AddFiles(const std::vector<std::string>& names);
    void AddFolder(const std::string& folder);
    void DropFiles(const std::vector<std::string>& names); // the shell drop handler
    // Names from the command line: folders scanned, playlists opened, files added; the list saved.
    void OpenFiles(const std::vector<std::string>& paths);
    void HandleStartup(); // WM_STARTUP
    void LoadFileList();
    void ImportClipboard(); // one candidate path per line of the clipboard's text

    // ---- Batch (engine/batch.cpp)
    void ActionDecodeExecute();
    bool CheckDecoderPresent();
    bool CheckInputOutputDiffer(const std::string& ext);
    bool ConfirmOverwrite(const std::string& ext);
    void RunBatch();
    void StartHeadFile(); // also WM_STARTFILE and WM_NEXTFILE
    void HandleDecoderEnd(TRedirector* sender);
    void ActionCancelExecute();
    void FormCloseQuery(bool& canClose);
    void ActionListUpdate();
    void Timer1Timer();
    void ActionViewLogExecute();
    bool DecoderRunning() const;           // any runner of the batch still holds a decoder
    std::vector<int> DecodingRows() const; // rows of the entries being decoded

    // ---- Decoder output (engine/progress.cpp)
    void HandleDecoderOutput(TRedirector* sender, const char* buffer, int32_t size);

    // ---- Run log viewer (engine/formlog.cpp)
    void ShowLogViewer();

    // ---- Options (settings/optionsaction.cpp)
    void ActionOptionsExecute();

    // ---- Help, links, about (app/help.cpp)
    void Label1MouseMove();
    void Image1MouseMove();
    void Label1MouseDown(const QPoint& pos);
    void OpenHelpMenuFromKeyboard(); // below the label, its first item active
    void Contents1Click();
    void Tr1Click();
    void TechnicalSupport1Click();
    void HomePage1Click();
    void About1Click();

    // ---- Controls, named as in the layout
    QWidget* Image1 = nullptr;
    QPushButton* btnAdd = nullptr;
    QPushButton* btnRemove = nullptr;
    QPushButton* btnClear = nullptr;
    QPushButton* btnOptions = nullptr;
    QPushButton* SeSkinButton1 = nullptr;
    QLabel* Label1 = nullptr;
    QWidget* Image2 = nullptr;
    QWidget* Image3 = nullptr;
    TFileListView* ListViewFiles = nullptr;
    QWidget* Image4 = nullptr;
    QLabel* LabelWorking = nullptr;
    QLabel* LabelRemainingLabel = nullptr;
    QLabel* LabelBatchRemaining = nullptr;
    QLabel* LabelBatch = nullptr; // hidden; still receives the batch percentage
    QProgressBar* ProgressBarBatch = nullptr;
    QPushButton* btnDecode = nullptr;
    QPushButton* btnCancel = nullptr;
    QCheckBox* CheckBoxCloseApp = nullptr;
    TTrayButton* ImgTray = nullptr;

    TFileListModel* FileList = nullptr; // the entries of ListViewFiles
    TTrayIcon* TrayIcon = nullptr;
    QTimer* Timer1 = nullptr;

    QAction* ActionAddFiles = nullptr;
    QAction* ActionRemove = nullptr;
    QAction* ActionClearList = nullptr;
    QAction* ActionOptions = nullptr;
    QAction* ActionDecode = nullptr;
    QAction* ActionCancel = nullptr;
    QAction* ActionViewLog = nullptr;

    QMenu* PopupMenu1 = nullptr; // list context menu
    QMenu* PopupMenu2 = nullptr; // help menu
    QMenu* PopupMenu3 = nullptr; // tray menu
    QAction* mnuStayontop = nullptr;
    QAction* mnuShow = nullptr;
    QAction* mnuExit = nullptr;

    std::unique_ptr<TRedirector> Redirector; // the first decoder slot's runner
    // The decoder slots; Runs[0] is Redirector's. GlobalVars' Current* fields mirror the busy run
    // that started first.
    std::vector<TDecoderRun> Runs = std::vector<TDecoderRun>(1);
    TOpenFilesRequest OpenDialog; // the add dialog's filter, folder and file-name box

    // ---- State shared by the concerns
    std::string FirstArgument;
    std::vector<std::string> StartupPaths; // the command line's names, added after the saved list
    bool ListChanged = false;
    int32_t RemainingRefreshCount = 0;
    bool Closing = false; // the window has closed: ends the batch's wait loop
    bool ShowSortArrows = false;
    int SortColumn = -2; // no column sorted yet
    bool SortAscending = true;
    bool SaveListPending = false;              // the list changed since the saved-list file was last written
    std::shared_ptr<TListJournal> ListJournal; // the changes since the saved list was written whole

protected:
    void customEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void CreateLayout(); // app/formmainlayout.cpp
    void CreateActions();

    // ---- Start-up, window, tray (app/formmain.cpp, app/formmainlayout.cpp)
    QAction* MakeAction(const char* category, const char* caption, const char* hint,
                        const QKeySequence& shortcut, std::function<void()> execute);
    void ConnectButton(QPushButton* button, QAction* action);
    void SetStayOnTop(bool on);
    std::unordered_map<QAction*, std::function<void()>> ActionHandlers; // what each action runs
    std::deque<TStartArgs> PendingStarts;                               // later starts not yet taken
    void TakeStart(const TStartArgs& args);

    // ---- Decoder output state (engine/progress.cpp)
    void HandleDecoderPiece(TDecoderRun& run, bool errorStream, const char* buffer, int32_t size);
    void HandleDecoderLine(TDecoderRun& run, std::string_view line);
    void HandleProgressLine(TDecoderRun& run, std::string_view line);
    void FlushDecoderOutput(TDecoderRun& run); // the streams' unfinished last lines, once it has ended
    int64_t BytesDoneInRuns() const;           // the running files' shares by their percentages
    void ShowWorkingText();
    void ShowBatchPercent();        // works BatchPercent out from the bytes done, and shows it
    void ShowBatchRemaining();      // the remaining time from the bytes done so far
    int32_t ShownBatchPercent = -1; // what LabelBatch shows; -1 when someone else wrote it
    int32_t TipPercent = -1;        // what the tray tip shows, with TipFileName; -1 when unknown
    bool BatchEndHeld = false;      // the batch's last texts and gauge stay until the next tick
    bool FrameFitted = false;       // the framed window has been fitted into the work area once
    std::string TipFileName;
    std::string ShownTip; // the tip as last set here: another writer's tip is replaced at the next line

    // ---- Batch (engine/batch.cpp)
    void PrepareRuns(int count);
    TRedirector* RunnerOf(const TDecoderRun& run) const;
    TDecoderRun& RunOf(const TRedirector* runner);
    TDecoderRun* FreeRun();
    const TDecoderRun* LeadRun() const;
    void MirrorLeadRun(); // GlobalVars' Current* fields follow the running file that started first
    bool AnyRunBusy() const;
    bool IsRunning(const std::string& key) const; // by FileNameKey
    int NextEntryRow();                           // the next entry to start, or -1
    void StartFreeRuns();
    void LaunchFile(TDecoderRun& run, int row);
    int ThreadsInUse(const TDecoderRun& starting) const; // by the other running decoders
    int DecodersStarting() const; // free slots and entries left, the one starting now included
    // ---- The end of one file (engine/fileend.cpp)
    void LaunchDecoder(TDecoderRun& run); // starts the set command line, noting the source's state
    void FailUnstartedFile(TDecoderRun& run);
    void StopForFullDisk(const TDecoderRun& run);
    bool DecodedResultHolds(TDecoderRun& run, bool deletingSource) const;
    void FinishFile(TDecoderRun& run);
    // ---- Batch (engine/batch.cpp)
    void CompleteBatch();
    bool AnyEntryLeftToTry() const;
    bool OutputWrittenAgainLater(const TDecoderRun& run) const;
    // ---- Output names (engine/outputplan.cpp)
    std::string OutputNameOf(const TFileItem& item, const std::string& ext) const;
    std::string PlannedOutputPathOf(const TFileItem& item, const std::string& ext) const;
    std::string CheckOutputPathOf(const TFileItem& item, const std::string& ext, bool outDirExists) const;
    std::vector<std::pair<int, int>> FindOutputClashes(const std::string& ext, size_t* taken = nullptr);
    void NumberClashes(const std::vector<std::pair<int, int>>& clashes, const std::string& ext);
    bool ResolveOutputClashes(const std::string& ext);
    int OutputNumberOf(const TFileItem& item) const; // 0: the plain name
    // A number kept in the saved list for that entry's output ("name (N).wav"); others are ignored.
    void RestoreOutputNumber(const std::string& fullPath, const std::string& number);
    // ---- Outputs that exist before a batch (engine/existingwav.cpp)
    enum class TOutputOrigin { None, Own, Other, Unknown };
    TOutputOrigin OriginOfOutput(const TFileItem& item, const std::string& output);
    bool SkipsExisting(const TFileItem& item, const std::string& output);
    bool OutputTakenByOther(const TFileItem& item, const std::string& output);
    bool ConfirmExistingOutputs(const std::string& ext);
    void LeaveSkippedEntries();
    std::unordered_map<std::string, TWavFileCheck> ExistingChecks; // output key -> what it holds
    std::unordered_set<std::string> SkipAtStart; // source keys whose finished WAV file is kept
    int FilesSkipped = 0;                        // entries of this batch left out for their WAV file
    bool PlanChanged = false;                    // numbers given since the saved list was last written whole
    void StopForRefusedFolder(const TDecoderRun& run);
    void StopForFolder(const std::string& message); // a plain box, not the error report
    void FailForOutputFolder(TDecoderRun& run, const std::string& folder, int error);
    int FilesDamaged = 0; // files of this batch decoded with damage passed over
    void LogDamage(const TDecoderRun& run);
    bool FailNamesTheDriveRefuses();                 // false when no entry is left to decode
    std::unordered_map<size_t, int> NumberedOutputs; // hash of a source's key -> its output's number
    std::unordered_set<std::string> ReplaceAgreed;   // output keys the user agreed to replace
    std::unordered_set<std::string> SweptFolders;    // output folders searched for dead decoders' files
    // Runs one step of the batch; an error escaping it is reported (once per text in a batch) from
    // the event loop instead of being lost in the runner's hand-over. Returns whether it succeeded.
    bool RunReported(const std::function<void()>& step);
    void ReportBatchError(const std::string& message, bool silent);
    void MoveBatchOn(); // after an end that failed half-way: the next file, or the completion
    std::unordered_set<std::string> ReportedInBatch; // error texts reported in this batch
    bool StartingBatch = false;   // RunBatch is starting its first file: start errors go to the caller
    std::string LastOutputFolder; // folder of the last decoded file, opened when no output folder is set
    std::unordered_set<std::string> FailedInBatch; // keys of this batch's failed sources, never started twice
    int SlotCount = 1;                             // decoder slots this batch uses
    uint64_t LastStartOrder = 0;                   // start order of the batch's most recent file
    // Runners of the slots after the first; last, so they go before the state their events touch.
    std::vector<std::unique_ptr<TRedirector>> ExtraRunners;
};
