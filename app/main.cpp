// Starts the program: the application object with its error report, the desktop services, and the
// main window, which shows itself once the event loop runs. A program already running for this
// settings file takes a later start's arguments instead.
#include "app/errorreport.h"
#include "app/formmain.h"
#include "app/singleinstance.h"
#include "settings/paths.h"
#include "settings/qtservices.h"

int main(int argc, char** argv) {
    TApplication app(argc, argv);
    TQtServices services;
    SetServices(&services);
    QApplication::setApplicationName(QStringLiteral("wavesmith"));
    // Lets the desktop match the window to the installed desktop entry and its icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("org.example.wavesmith"));

    // argv as the application object left it, without Qt's own options.
    const TStartArgs args = ParseStartArgs(argc, argv, CurrentDir());
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
