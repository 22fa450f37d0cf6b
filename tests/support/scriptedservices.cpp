#include "tests/support/scriptedservices.h"

#include "settings/errors.h"

#include <gtest/gtest.h>

namespace {
TScriptedServices* Installed = nullptr;
}

TScriptedServices::TScriptedServices() {
    Installed = this;
}
TScriptedServices::~TScriptedServices() {
    if (Installed == this) Installed = nullptr;
}

TScriptedServices& TScriptedServices::Current() {
    return *Installed;
}

void TScriptedServices::Reset() {
    Calls.clear();
    Answers.clear();
    OnQuestion = nullptr;
    FileChoices.clear();
    FolderChoices.clear();
    ClipboardContent.clear();
    ClipboardLocked = false;
    ShellOpenWorks = true;
    BusyCursorShown = false;
    BusyCursorChanges = 0;
}

std::vector<const TServiceCall*> TScriptedServices::CallsOf(TServiceCall::TKind kind) const {
    std::vector<const TServiceCall*> found;
    for (const auto& call : Calls)
        if (call.Kind == kind) found.push_back(&call);
    return found;
}

int TScriptedServices::Answer(const TServiceCall& call, bool okOnly) {
    if (OnQuestion)
        if (auto answer = OnQuestion(call)) return *answer;
    if (!Answers.empty()) {
        const int answer = Answers.front();
        Answers.pop_front();
        return answer;
    }
    if (okOnly) return IDOK;
    ADD_FAILURE() << "unscripted question: " << call.Caption << ": " << call.Text;
    return IDCANCEL;
}

int TScriptedServices::MessageBox(const std::string& text, const std::string& caption, unsigned flags) {
    Calls.push_back({.Kind = TServiceCall::MessageBox, .Text = text, .Caption = caption, .Flags = flags});
    return Answer(Calls.back(), (flags & 0x0F) == MB_OK);
}

int TScriptedServices::MessageDialog(const std::string& text, const std::string& caption, TMsgDlgType type,
                                     TMsgDlgButtons buttons, const std::vector<std::string>& captions) {
    Calls.push_back({.Kind = TServiceCall::MessageDialog,
                     .Text = text,
                     .Caption = caption,
                     .Type = type,
                     .Buttons = buttons,
                     .Captions = captions});
    return Answer(Calls.back(), buttons == mbOK);
}

bool TScriptedServices::OpenFiles(TOpenFilesRequest& request, std::vector<std::string>& names) {
    Calls.push_back({.Kind = TServiceCall::OpenFiles, .Request = request});
    if (FileChoices.empty()) {
        ADD_FAILURE() << "unscripted open-file dialog";
        return false;
    }
    names = FileChoices.front();
    FileChoices.pop_front();
    if (names.empty()) return false;
    request.FileName = names.back();
    return true;
}

bool TScriptedServices::BrowseForFolder(const std::string& caption, const std::string& text,
                                        std::string& folder) {
    Calls.push_back(
        {.Kind = TServiceCall::BrowseForFolder, .Text = text, .Caption = caption, .Captions = {folder}});
    if (FolderChoices.empty()) {
        ADD_FAILURE() << "unscripted folder browser";
        return false;
    }
    const auto choice = FolderChoices.front();
    FolderChoices.pop_front();
    if (!choice) return false;
    folder = *choice;
    return true;
}

std::optional<std::string> TScriptedServices::ClipboardText() {
    Calls.push_back({.Kind = TServiceCall::Clipboard});
    if (ClipboardLocked) return std::nullopt;
    return ClipboardContent;
}

bool TScriptedServices::ShellOpen(const std::string& target) {
    Calls.push_back({.Kind = TServiceCall::ShellOpen, .Text = target});
    return ShellOpenWorks;
}

void TScriptedServices::PlaySoundSync(const std::string& wavPath) {
    Calls.push_back({.Kind = TServiceCall::PlaySound, .Text = wavPath});
}

void TScriptedServices::MessageBeep(unsigned type) {
    Calls.push_back({.Kind = TServiceCall::Beep, .Flags = type});
}

void TScriptedServices::SetBusyCursor(bool busy) {
    BusyCursorShown = busy;
    ++BusyCursorChanges;
}
