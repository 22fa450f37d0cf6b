#include "app/htmlhelp.h"

#include "app/htmlhelp_platform.h"
#include "settings/errors.h"

namespace {

const char* const NotInstalledMessage = "HHCtrl.OCX not installed!\r HTMLHELP cannot displayed!";
const char* const NoEntryMessage = "Function HTMLHELP cannot loaded!";

// Process-wide loader state, kept until the program ends.
struct TLoader {
    std::string Component;
    bool EntryResolved = false;
};

TLoader& Loader() {
    static TLoader loader;
    return loader;
}

void LoadComponent() {
    TLoader& loader = Loader();
    loader.Component = LoadHelpComponent();
    if (loader.Component.empty()) throw EWavesmithError(NotInstalledMessage);
    // A component that cannot be called counts as loaded without its entry point.
    loader.EntryResolved = ResolveHelpEntry(loader.Component);
}

} // namespace

int CallHtmlHelp(QWidget* caller, const std::string& text, int command, intptr_t data) {
    if (Loader().Component.empty()) LoadComponent();
    if (!Loader().EntryResolved) throw EWavesmithError(NoEntryMessage);
    return ShowHelp(Loader().Component, caller, text, command, data);
}

THtmlHelpState HtmlHelpState() {
    if (Loader().Component.empty()) return THtmlHelpState::NotLoaded;
    return Loader().EntryResolved ? THtmlHelpState::Ready : THtmlHelpState::EntryMissing;
}

void ResetHtmlHelp() {
    Loader() = {};
}
