#pragma once
// Services for the benchmarks: every question gets one answer (the default button unless told) and
// is counted; a message box gets No, so no log viewer opens; nothing else is shown.
#include "settings/services.h"

#include <optional>
#include <string>
#include <vector>

struct TAnsweringServices : TServices {
    int Questions = 0;
    int Answer = mrYes;
    int MessageBox(const std::string&, const std::string&, unsigned) override { return IDNO; }
    int MessageDialog(const std::string&, const std::string&, TMsgDlgType, TMsgDlgButtons,
                      const std::vector<std::string>&) override {
        ++Questions;
        return Answer;
    }
    bool OpenFiles(TOpenFilesRequest&, std::vector<std::string>&) override { return false; }
    bool BrowseForFolder(const std::string&, const std::string&, std::string&) override { return false; }
    std::optional<std::string> ClipboardText() override { return std::nullopt; }
    bool ShellOpen(const std::string&) override { return false; }
    void PlaySoundSync(const std::string&) override {}
    void MessageBeep(unsigned) override {}
    void SetBusyCursor(bool) override {}
};
