#include "settings/services.h"

namespace {

// Until the program installs its services, every question is refused and nothing is shown.
class TNullServices : public TServices {
public:
    int MessageBox(const std::string&, const std::string&, unsigned) override { return IDCANCEL; }
    int MessageDialog(const std::string&, const std::string&, TMsgDlgType, TMsgDlgButtons,
                      const std::vector<std::string>&) override {
        return mrCancel;
    }
    bool OpenFiles(TOpenFilesRequest&, std::vector<std::string>&) override { return false; }
    bool BrowseForFolder(const std::string&, const std::string&, std::string&) override { return false; }
    std::optional<std::string> ClipboardText() override { return std::string(); }
    bool ShellOpen(const std::string&) override { return false; }
    void PlaySoundSync(const std::string&) override {}
    void MessageBeep(unsigned) override {}
    void SetBusyCursor(bool) override {}
};

TNullServices NullServices;
TServices* Installed = &NullServices;
int BusyDepth = 0;

unsigned BeepFor(TMsgDlgType type) {
    switch (type) {
    case TMsgDlgType::mtWarning:
        return MB_ICONEXCLAMATION;
    case TMsgDlgType::mtError:
        return MB_ICONHAND;
    case TMsgDlgType::mtConfirmation:
        return MB_ICONQUESTION;
    default:
        return 0;
    }
}

} // namespace

TServices& Services() {
    return *Installed;
}

void SetServices(TServices* services) {
    Installed = services ? services : &NullServices;
}

int ShowMessageDialog(const std::string& text, const std::string& caption, TMsgDlgType type,
                      TMsgDlgButtons buttons, const std::vector<std::string>& captions) {
    Services().MessageBeep(BeepFor(type));
    return Services().MessageDialog(text, caption, type, buttons, captions);
}

int ShowMessageBox(const std::string& text, const std::string& caption, unsigned flags) {
    return Services().MessageBox(text, caption, flags);
}

void OpenAddress(const std::string& address, const std::string& caption) {
    Services().ShellOpenAddress(address, [address, caption](bool opened) {
        if (opened) return;
        ShowMessageBox("No program on this desktop opens this address. Copy it from here:\r\n\r\n" + address,
                       caption, MB_OK | MB_ICONASTERISK);
    });
}

void BeginBusyCursor() {
    if (BusyDepth++ == 0) Services().SetBusyCursor(true);
}

void EndBusyCursor() {
    if (BusyDepth <= 0) return;
    if (--BusyDepth == 0) Services().SetBusyCursor(false);
}

int BusyCursorDepth() {
    return BusyDepth;
}
