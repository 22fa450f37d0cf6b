// Runs the real application object with the real message boxes: a click on the options dialog's
// Help button, with no help pages installed, throws from its handler; the error report must
// appear and the dialog must go on working afterwards. Also opens the about window.
// With a folder argument (run under Xvfb with QT_QPA_PLATFORM=xcb) it saves a screenshot of each
// window into that folder. Exit code 0 when every check passed.
#include "app/about.h"
#include "app/errorreport.h"
#include "app/htmlhelp.h"
#include "settings/formoptions.h"
#include "settings/paths.h"
#include "settings/qtservices.h"
#include "tests/support/modalpoll.h"

#include <QDir>
#include <QLabel>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <cstdio>
#include <functional>

namespace {

QString ShotFolder;
int Failures = 0;

void Check(bool condition, const char* what) {
    std::fprintf(stderr, "%s: %s\n", condition ? "ok  " : "FAIL", what);
    if (!condition) ++Failures;
}

void Shot(QWidget* window, const QString& name) {
    if (ShotFolder.isEmpty()) return;
    if (!QTest::qWaitForWindowExposed(window, 5000))
        Check(false, "the window was exposed for its screenshot");
    window->repaint();
    QGuiApplication::sync();
    const QString file = QDir(ShotFolder).filePath(name + ".png");
    if (QProcess::execute(QStringLiteral("import"), {"-window", "root", file}) != 0)
        QGuiApplication::primaryScreen()->grabWindow(0).save(file);
}

// Clicks the centre of a control through the platform's input path, as a user's click arrives.
void UserClick(QWidget* control) {
    QWidget* top = control->window();
    QTest::mouseClick(top->windowHandle(), Qt::LeftButton, {}, control->mapTo(top, control->rect().center()));
}

// Calls act on the active modal window of type T once it is shown; gives up after the bound.
template <typename T> void WhenShown(const std::function<void(T*)>& act) {
    PollModal(
        [act](QWidget* modal) {
            auto* window = qobject_cast<T*>(modal);
            if (window) act(window);
            return window != nullptr;
        },
        10000, [] { Check(false, "the expected window appeared"); });
}

} // namespace

int main(int argc, char** argv) {
    TApplication app(argc, argv);
    if (argc > 1) ShotFolder = QString::fromLocal8Bit(argv[1]);
    TQtServices services;
    SetServices(&services);
    QTemporaryDir home;
    SetExecutablePath(QFile::encodeName(home.path()).toStdString() + "/wavesmith");
    ResetHtmlHelp(); // no help pages beside the program: the help cannot be shown

    // As shown and read out: each CR LF, and the lone CR, one line break.
    const std::string expected = "We are sorry that a problem has encounted:\n"
                                 "Please tell me the Error to support@wavesmith.example.org:\n\n"
                                 "HHCtrl.OCX not installed!\n HTMLHELP cannot displayed!\n\nThank you.";
    bool reported = false;
    WhenShown<TFormOptions>([&](TFormOptions* options) {
        Shot(options, "options");
        WhenShown<QMessageBox>([&](QMessageBox* box) {
            reported = true;
            Check(box->windowTitle() == "Error Report", "the box is captioned Error Report");
            Check(box->text().toStdString() == expected, "the box shows the report text");
            Check(box->icon() == QMessageBox::Critical, "the box shows the error icon");
            Shot(box, "errorreport");
            UserClick(box->buttons().value(0));
        });
        UserClick(options->SpeedButton3); // throws from the handler: no help viewer
        // Back from the report: the dialog is still open and still answers clicks.
        Check(reported, "the error report was shown");
        Check(options->isVisible(), "the options dialog stayed open");
        UserClick(options->SpeedButton1);
    });
    TFormOptions options;
    options.LoadFromSettings();
    Check(options.exec() == QDialog::Accepted, "OK still closes the dialog after the report");

    WhenShown<TfrmAbout>([&](TfrmAbout* about) {
        QTest::mouseMove(about->windowHandle(), about->Label4->geometry().center());
        QApplication::processEvents();
        Shot(about, "about");
        QTest::keyClick(about->windowHandle(), Qt::Key_Escape);
    });
    TfrmAbout about;
    about.exec();
    Check(about.Label3->text() == "Version 2.6", "the about window showed its version");

    SetServices(nullptr);
    return Failures == 0 ? 0 : 1;
}
