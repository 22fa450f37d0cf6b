// The help on POSIX desktops: a folder of HTML pages shown in Wavesmith's own help viewer. The
// "component" is the help folder's index page; without it nothing can show the help, and the
// loader reports that as a missing component, an unreadable one as a missing entry point.
#include "app/helpviewer.h"
#include "app/htmlhelp_platform.h"

#include "settings/paths.h"

#include <unistd.h>

std::string LoadHelpComponent() {
    const std::string contents = HelpFilePath();
    return ::access(contents.c_str(), F_OK) == 0 ? contents : std::string();
}

bool ResolveHelpEntry(const std::string& component) {
    return FileExists(component) && ::access(component.c_str(), R_OK) == 0;
}

int ShowHelp(const std::string& component, QWidget* caller, const std::string& text, int /*command*/,
             intptr_t /*data*/) {
    // A topic is a page of the same folder as the index page.
    const size_t topic = text.find("::/");
    const std::string page =
        topic == std::string::npos ? text : ExtractFilePath(text.substr(0, topic)) + text.substr(topic + 3);
    // A missing help page shows nothing and reports nothing.
    if (!FileExists(page)) return 0;
    THelpViewer::Open(component, page, caller);
    return 1;
}
