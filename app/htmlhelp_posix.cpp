// The help on POSIX desktops: a folder of HTML pages shown by the desktop's web browser. The
// "component" is the desktop's opener program; with none on the search path nothing can show
// the help, and the loader reports that as a missing component.
#include "app/htmlhelp_platform.h"

#include "settings/paths.h"
#include "settings/services.h"

#include <algorithm>
#include <cstdlib>
#include <unistd.h>

namespace {

std::vector<std::string> SplitSearchPath(const std::string& path) {
    std::vector<std::string> folders;
    size_t start = 0;
    while (start <= path.size()) {
        const size_t end = std::min(path.find(':', start), path.size());
        if (end > start) folders.push_back(path.substr(start, end - start));
        start = end + 1;
    }
    return folders;
}

} // namespace

std::string LoadHelpComponent(const THelpSearch& search) {
    std::string searchPath;
    if (search.SearchPath) {
        searchPath = *search.SearchPath;
    } else if (const char* env = std::getenv("PATH")) {
        searchPath = env;
    }
    // The program the desktop's URL handler hands local documents to.
    const std::vector<std::string> programs =
        search.Programs ? *search.Programs : std::vector<std::string>{"xdg-open"};
    const std::vector<std::string> folders = SplitSearchPath(searchPath);
    for (const auto& program : programs)
        for (const auto& folder : folders) {
            const std::string candidate = IncludeTrailingPathDelimiter(folder) + program;
            if (FileExists(candidate)) return candidate;
        }
    return {};
}

bool ResolveHelpEntry(const std::string& component) {
    return ::access(component.c_str(), X_OK) == 0;
}

int ShowHelp(const std::string& /*component*/, QWidget* /*caller*/, const std::string& text, int /*command*/,
             intptr_t /*data*/) {
    // A topic is a page of the same folder as the index page.
    const size_t topic = text.find("::/");
    const std::string page =
        topic == std::string::npos ? text : ExtractFilePath(text.substr(0, topic)) + text.substr(topic + 3);
    // A missing help page shows nothing and reports nothing.
    if (!FileExists(page)) return 0;
    return Services().ShellOpen(page) ? 1 : 0;
}
