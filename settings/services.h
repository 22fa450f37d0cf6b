#pragma once
// The one seam for everything that waits on the user or the desktop: message boxes and dialogs,
// the open-file dialog, the folder browser, the clipboard, "open with the shell", sounds and the
// busy cursor. The program installs the Qt implementation; tests install a scripted one.
#include <functional>
#include <optional>
#include <string>
#include <vector>

// Message box flags and results, with the platform's values so that callers read as the texts say.
inline constexpr unsigned MB_OK = 0x00;
inline constexpr unsigned MB_OKCANCEL = 0x01;
inline constexpr unsigned MB_YESNOCANCEL = 0x03;
inline constexpr unsigned MB_YESNO = 0x04;
inline constexpr unsigned MB_ICONHAND = 0x10;
inline constexpr unsigned MB_ICONQUESTION = 0x20;
inline constexpr unsigned MB_ICONEXCLAMATION = 0x30;
inline constexpr unsigned MB_ICONASTERISK = 0x40;
inline constexpr int IDOK = 1;
inline constexpr int IDCANCEL = 2;
inline constexpr int IDYES = 6;
inline constexpr int IDNO = 7;

enum class TMsgDlgType { mtWarning, mtError, mtInformation, mtConfirmation, mtCustom };

// Buttons in the order the dialog shows them.
enum TMsgDlgBtn : unsigned {
    mbYes = 1u << 0,
    mbNo = 1u << 1,
    mbOK = 1u << 2,
    mbCancel = 1u << 3,
    mbAbort = 1u << 4,
    mbRetry = 1u << 5,
    mbIgnore = 1u << 6,
    mbAll = 1u << 7,
    mbNoToAll = 1u << 8,
    mbYesToAll = 1u << 9,
    mbHelp = 1u << 10,
};
using TMsgDlgButtons = unsigned;

inline constexpr int mrNone = 0;
inline constexpr int mrOk = 1;
inline constexpr int mrCancel = 2;
inline constexpr int mrAbort = 3;
inline constexpr int mrRetry = 4;
inline constexpr int mrIgnore = 5;
inline constexpr int mrYes = 6;
inline constexpr int mrNo = 7;
inline constexpr int mrAll = 8;
inline constexpr int mrNoToAll = 9;
inline constexpr int mrYesToAll = 10;

// What the open-file dialog is asked for; FileName is the file-name box, kept between showings.
struct TOpenFilesRequest {
    std::string Filter;     // "Description|patterns|..." as BuildDialogFilter makes it
    std::string InitialDir; // empty: the dialog's own default
    std::string FileName;
};

class TServices {
public:
    virtual ~TServices() = default;

    // A platform message box; returns the pressed button's IDxxx value.
    virtual int MessageBox(const std::string& text, const std::string& caption, unsigned flags) = 0;
    // A message dialog with the given buttons; captions rename the n-th button when not empty.
    // Returns the modal result (mrXxx); closing the dialog gives mrCancel.
    virtual int MessageDialog(const std::string& text, const std::string& caption, TMsgDlgType type,
                              TMsgDlgButtons buttons, const std::vector<std::string>& captions) = 0;
    // The open-file dialog with multiple selection; false when cancelled.
    virtual bool OpenFiles(TOpenFilesRequest& request, std::vector<std::string>& names) = 0;
    // The folder browser; folder holds the initial selection and receives the choice.
    virtual bool BrowseForFolder(const std::string& caption, const std::string& text,
                                 std::string& folder) = 0;
    // The clipboard's plain text; empty when there is none, nothing when the clipboard cannot be
    // opened (another program holds it).
    virtual std::optional<std::string> ClipboardText() = 0;
    // Opens a document, folder or address with the desktop's associated program.
    virtual bool ShellOpen(const std::string& target) = 0;
    // Hands a web or mail address to the desktop and returns at once; done(opened) follows once
    // the desktop has said whether anything took it.
    virtual void ShellOpenAddress(const std::string& address, std::function<void(bool opened)> done) {
        done(ShellOpen(address));
    }
    // Plays a WAV file and returns when it has ended; a missing file or device is not reported.
    virtual void PlaySoundSync(const std::string& wavPath) = 0;
    virtual void MessageBeep(unsigned type) = 0;
    virtual void SetBusyCursor(bool busy) = 0;
};

// The installed services; the program installs the Qt ones at start-up.
TServices& Services();
// Installs services (not owned); nullptr restores the default, which refuses every question.
void SetServices(TServices* services);

// Shows a message dialog: the type's beep, then the dialog; returns its modal result.
int ShowMessageDialog(const std::string& text, const std::string& caption, TMsgDlgType type,
                      TMsgDlgButtons buttons, const std::vector<std::string>& captions = {});
int ShowMessageBox(const std::string& text, const std::string& caption, unsigned flags);
// Opens a web or mail address; when nothing on the desktop takes it, a box under caption shows the
// address for copying.
void OpenAddress(const std::string& address, const std::string& caption);

// The nesting hourglass: shown from the first begin until the matching last end.
void BeginBusyCursor();
void EndBusyCursor();
int BusyCursorDepth();
