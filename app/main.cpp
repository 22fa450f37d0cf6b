// Starts the program: the application object with its error report, the desktop services, and the
// main window, which shows itself once the event loop runs.
#include "app/errorreport.h"
#include "app/formmain.h"
#include "settings/qtservices.h"

int main(int argc, char** argv) {
    TApplication app(argc, argv);
    TQtServices services;
    SetServices(&services);
    QApplication::setApplicationName(QStringLiteral("wavesmith"));
    // Lets the desktop match the window to the installed desktop entry and its icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("org.example.wavesmith"));

    int result = 0;
    {
        // Only the first argument counts ("-C").
        TFormMain form(argc > 1 ? std::string(argv[1]) : std::string());
        result = QApplication::exec();
    }
    SetServices(nullptr);
    return result;
}
