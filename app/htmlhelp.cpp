#include "app/htmlhelp.h"

#include "settings/errors.h"
#include "settings/paths.h"

#include <QProcess>
#include <QStringList>

#include <algorithm>
#include <cstdlib>
#include <unistd.h>

namespace {

const char* const NotInstalledMessage = "HHCtrl.OCX not installed!\r HTMLHELP cannot displayed!";
const char* const NoEntryMessage = "Function HTMLHELP cannot loaded!";

// Process-wide loader state, kept until the program ends. On POSIX the "library" is the viewer
// program's path and its "entry point" is that file being runnable.
struct TLoader {
    std::string Library;
    bool EntryResolved = false;
    std::optional<std::string> SearchPath;
    std::optional<std::vector<std::string>> Viewers;
};

TLoader& Loader() {
    static TLoader loader;
    return loader;
}

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

// The first file named like a known viewer on the search path; empty when there is none.
std::string FindViewer() {
    const TLoader& loader = Loader();
    std::string searchPath;
    if (loader.SearchPath) {
        searchPath = *loader.SearchPath;
    } else if (const char* env = std::getenv("PATH")) {
        searchPath = env;
    }
    const std::vector<std::string> viewers =
        loader.Viewers ? *loader.Viewers
                       : std::vector<std::string>{"xchm", "kchmviewer", "uchmviewer", "chmsee"};
    const std::vector<std::string> folders = SplitSearchPath(searchPath);
    for (const auto& viewer : viewers)
        for (const auto& folder : folders) {
            const std::string candidate = IncludeTrailingPathDelimiter(folder) + viewer;
            if (FileExists(candidate)) return candidate;
        }
    return {};
}

void LoadLibrary() {
    TLoader& loader = Loader();
    loader.Library = FindViewer();
    if (loader.Library.empty()) throw EWavesmithError(NotInstalledMessage);
    // A viewer that cannot be run counts as loaded without its entry point (reported by the caller).
    loader.EntryResolved = ::access(loader.Library.c_str(), X_OK) == 0;
}

// Starts the viewer on the help file; a missing help file shows nothing and reports nothing.
int RunViewer(const std::string& text) {
    const size_t topic = text.find("::/");
    const std::string file = text.substr(0, topic);
    if (!FileExists(file)) return 0;
    // Viewers take the file alone; the topic cannot be passed portably and is left out.
    const bool started =
        QProcess::startDetached(PathText(Loader().Library), {PathText(file)});
    return started ? 1 : 0;
}

} // namespace

int CallHtmlHelp(QWidget* /*caller*/, const std::string& text, int /*command*/, intptr_t /*data*/) {
    if (Loader().Library.empty()) LoadLibrary();
    if (!Loader().EntryResolved) throw EWavesmithError(NoEntryMessage);
    return RunViewer(text);
}

THtmlHelpState HtmlHelpState() {
    if (Loader().Library.empty()) return THtmlHelpState::NotLoaded;
    return Loader().EntryResolved ? THtmlHelpState::Ready : THtmlHelpState::EntryMissing;
}

void SetHtmlHelpSearch(std::optional<std::string> searchPath,
                       std::optional<std::vector<std::string>> viewers) {
    TLoader& loader = Loader();
    loader.Library.clear();
    loader.EntryResolved = false;
    loader.SearchPath = std::move(searchPath);
    loader.Viewers = std::move(viewers);
}
