#pragma once
// The dialog seam for tests: records every request and answers from a script.
#include "settings/services.h"

#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

struct TServiceCall {
    enum TKind {
        MessageBox,
        MessageDialog,
        OpenFiles,
        BrowseForFolder,
        Clipboard,
        ShellOpen,
        PlaySound,
        Beep
    };
    TKind Kind;
    std::string Text{};    // message text, opened target or sound path
    std::string Caption{}; // box or dialog caption
    unsigned Flags = 0;    // message box flags, or beep type
    TMsgDlgType Type = TMsgDlgType::mtCustom;
    TMsgDlgButtons Buttons = 0;
    std::vector<std::string> Captions{};
    TOpenFilesRequest Request{}; // for OpenFiles, as asked
};

class TScriptedServices : public TServices {
public:
    TScriptedServices();
    ~TScriptedServices() override;
    // The instance installed by the test main.
    static TScriptedServices& Current();

    // Forgets the record and the script (call at the start of each test).
    void Reset();

    std::vector<TServiceCall> Calls;
    // Answers for message boxes and dialogs, in order. With none left, an OK-only box gets IDOK and
    // any other question fails the test and gets Cancel.
    std::deque<int> Answers;
    // Runs for each box or dialog before Answers is consulted; an answer it returns wins.
    std::function<std::optional<int>(const TServiceCall&)> OnQuestion;
    // Open-file dialog: each entry is one showing; an empty list cancels. FileNameBox is what the
    // dialog leaves in its file-name box after a confirmed choice (the last name, like a real dialog).
    std::deque<std::vector<std::string>> FileChoices;
    // Folder browser: nullopt cancels.
    std::deque<std::optional<std::string>> FolderChoices;
    std::string ClipboardContent;
    bool ClipboardLocked = false;
    bool ShellOpenWorks = true; // false: the desktop has nothing that opens the target
    bool BusyCursorShown = false;
    int BusyCursorChanges = 0;

    std::vector<const TServiceCall*> CallsOf(TServiceCall::TKind kind) const;

    int MessageBox(const std::string& text, const std::string& caption, unsigned flags) override;
    int MessageDialog(const std::string& text, const std::string& caption, TMsgDlgType type,
                      TMsgDlgButtons buttons, const std::vector<std::string>& captions) override;
    bool OpenFiles(TOpenFilesRequest& request, std::vector<std::string>& names) override;
    bool BrowseForFolder(const std::string& caption, const std::string& text, std::string& folder) override;
    std::optional<std::string> ClipboardText() override;
    bool ShellOpen(const std::string& target) override;
    void PlaySoundSync(const std::string& wavPath) override;
    void MessageBeep(unsigned type) override;
    void SetBusyCursor(bool busy) override;

private:
    int Answer(const TServiceCall& call, bool okOnly);
};
