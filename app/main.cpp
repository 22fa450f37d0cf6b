// Starts the program: the application object with its error report, the desktop services, and the
// main window, which shows itself once the event loop runs. A program already running for this
// settings file takes a later start's arguments instead.
#include "app/errorreport.h"
#include "app/formmain.h"
#include "app/singleinstance.h"
#include "app/trayicon.h"
#include "settings/paths.h"
#include "settings/qtservices.h"

#include <cstdio>
#include <vector>

namespace {
// --help, --version and unknown options are answered before the application object exists: they
// need no display and never reach a running program. Returns the exit code, or -1 to go on.
int AnswerOptions(int argc, const char* const* argv) {
    const TCommandLineCheck check = CheckCommandLine(argc, argv);
    switch (check.Request) {
    case TStartRequest::Help:
        std::fputs(UsageText().c_str(), stdout);
        return 0;
    case TStartRequest::Version:
        std::fputs(VersionText().c_str(), stdout);
        return 0;
    case TStartRequest::UnknownOption:
        std::fprintf(stderr, "wavesmith: unknown option \"%s\"\n%s", check.Option.c_str(),
                     UsageText().c_str());
        return 2;
    case TStartRequest::Run:
        break;
    }
    return -1;
}
} // namespace

int main(int argc, char** argv) {
    if (const int code = AnswerOptions(argc, argv); code >= 0) return code;
    // Read before the platform plugin takes the startup id out of the environment.
    const TLaunchId launch = LaunchIdFromEnvironment();

    // Qt looks only at the arguments before "--": the names after it may look like Qt's options.
    const int optionsEnd = OptionsEnd(argc, argv);
    std::vector<char*> qtArgv(argv, argv + optionsEnd);
    qtArgv.push_back(nullptr);
    int qtArgc = optionsEnd;
    TApplication app(qtArgc, qtArgv.data());
    TQtServices services;
    SetServices(&services);
    // The name trays show for the icon (its item's title); the window's class follows it.
    QApplication::setApplicationName(QStringLiteral("Wavesmith"));
    // Lets the desktop match the window to the installed desktop entry and its icon.
    QGuiApplication::setDesktopFileName(QLatin1String(InstalledIconName));

    // The arguments the application object left, without Qt's own options, then "--" and the rest.
    std::vector<const char*> ours(qtArgv.begin(), qtArgv.begin() + qtArgc);
    ours.insert(ours.end(), argv + optionsEnd, argv + argc);
    TStartArgs args = ParseStartArgs(static_cast<int>(ours.size()), ours.data(), CurrentDir());
    args.Launch = launch;
    TSingleInstance instance(InstanceSocketPath(SettingsFilePath()));
    int result = 0;
    if (!instance.HandOver(args)) {
        TFormMain form(args.FirstArgument);
        form.StartupPaths = args.Paths;
        instance.OnStart = [&form](const TStartArgs& later) { form.AnotherStart(later); };
        result = QApplication::exec();
        instance.OnStart = nullptr;
    }
    SetServices(nullptr);
    return result;
}
