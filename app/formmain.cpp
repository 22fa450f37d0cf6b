// The main window's life: start-up, close, minimise, the tray, stay on top and exit when done.
#include "app/formmain.h"

#include "app/errorreport.h"
#include "app/launchfeedback.h"
#include "app/trayicon.h"
#include "engine/runlog.h"
#include "filelist/filelistview.h"
#include "settings/globals.h"
#include "settings/paths.h"
#include "settings/placement.h"
#include "settings/windowplace.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QMenu>
#include <QPushButton>
#include <QTimer>

namespace {
// How long a tray host may take to list or embed the icon.
constexpr int TrayShowBoundMs = 3000;
} // namespace

TFormMain::TFormMain(const std::string& firstArgument, QWidget* parent)
    : QMainWindow(parent), FirstArgument(firstArgument) {
    setObjectName("FormMain");
    CreateLayout();
    CreateActions();
    FormCreate();
}

TFormMain::~TFormMain() {
    FormDestroy();
}

void TFormMain::PostMessage(QEvent::Type message) {
    QCoreApplication::postEvent(this, new QEvent(message));
}

void TFormMain::FormCreate() {
    // Minimise and restore are left to the platform: the window is its own taskbar entry, and
    // neither adds the tray icon. Unhandled errors arrive through TApplication::notify.
    // The taskbar shows the window's own title (set in PrepareWindow): an application display name
    // would be appended to every dialog's title on this desktop.
    // Each control with a hint keeps it 10 s (set where the hints are made); the delay stays the platform's.
    // The program ends with this window (closeEvent), never because the last shown window closed:
    // a box answered while the window is in the tray would otherwise end it unsaved.
    QApplication::setQuitOnLastWindowClosed(false);
    Redirector = std::make_unique<TRedirector>();
    GlobalVars.DecoderPath = ExecutableDir() + DecoderFileName();

    GlobalVars.FilesTotal = 0;
    GlobalVars.OutDir.clear();
    GlobalVars.Delete = false;
    GlobalVars.PlaySound = true;
    GlobalVars.ExitWhenDone = false;
    GlobalVars.Stayontop = false;
    GlobalVars.LastOpenDir.clear();
    GlobalVars.Decoders = 1;
    GlobalVars.DecodersStored = false;
    try {
        LoadSettings(); // creates the file with the values above when there is none
    } catch (const std::exception& error) {
        // A settings file that cannot be created is reported; the program still starts with the
        // defaults rather than staying an invisible process.
        AppException(error);
    }

    ReadRunLog(); // the previous run's log, for "Last Log"; left empty when unreadable

    CheckBoxCloseApp->setChecked(GlobalVars.ExitWhenDone);
    CheckBoxCloseAppClick(); // stores the same value back, as a click would
    SetStayOnTop(GlobalVars.Stayontop);

    BuildAcceptedTypes();
    OpenDialog.Filter = BuildDialogFilter(GlobalVars.AcceptedTypes);
    PrepareWindow();
    PostMessage(WM_STARTUP);
}

void TFormMain::PrepareWindow() {
    setAcceptDrops(true);
    ListViewFiles->setSelectionBehavior(QAbstractItemView::SelectRows);
    setWindowTitle(QString::fromUtf8(AppTitle));
    // Without a stored placement the window opens here, at its design size.
    move(194, 107);
    RestoreWindowPlacement("Form", this);
    UpdateTrayButton();
}

void TFormMain::FormClose() {
    SaveWindowPlacement("Form", this);
    SaveSettings();
}

void TFormMain::FormDestroy() {
    Redirector.reset();
}

void TFormMain::closeEvent(QCloseEvent* event) {
    bool canClose = true;
    FormCloseQuery(canClose);
    if (!canClose) {
        event->ignore();
        return;
    }
    // Marked before the report below can pump events: no further file may start.
    Closing = true;
    try {
        FormClose();
    } catch (const std::exception& error) {
        // A settings file that cannot be written is reported, but the program still ends.
        AppException(error);
    }
    event->accept();
    // The program ends with this window; closing it while it is hidden in the tray does not count
    // as closing the last window, so ask for the end explicitly (nothing happens outside exec()).
    QCoreApplication::quit();
}

void TFormMain::changeEvent(QEvent* event) {
    // A notification area may have come or gone while the user was elsewhere.
    if (event->type() == QEvent::ActivationChange && isActiveWindow()) {
        UpdateTrayButton();
        // The restored size is the inner one; only a framed window shows how much the title bar
        // and border add, and the whole frame belongs inside the work area.
        if (!FrameFitted) FrameFitted = FitFrameToScreen(this);
    }
    QMainWindow::changeEvent(event);
}

void TFormMain::customEvent(QEvent* event) {
    const auto type = event->type();
    if (type == WM_SAVEFILELIST)
        HandleSaveFileList();
    else if (type == WM_STARTFILE || type == WM_NEXTFILE)
        StartHeadFile();
    else if (type == WM_STARTUP)
        HandleStartup();
    else
        QMainWindow::customEvent(event);
}

void TFormMain::UpdateTrayButton() {
    const bool available = TTrayIcon::Available();
    ImgTray->setEnabled(available);
    ImgTray->setToolTip(available ? QStringLiteral("Send to tray")
                                  : QStringLiteral("Send to tray: this desktop has no notification area"));
    // A screen reader hears why the button is greyed, as the tip tells it.
    ImgTray->setAccessibleDescription(available ? TrayButtonDescription : ImgTray->toolTip());
}

void TFormMain::ImgTrayClick() {
    // Without a notification area at this moment the hidden window would have no way back: it
    // goes to the taskbar instead.
    if (!TTrayIcon::Available()) {
        UpdateTrayButton();
        showMinimized();
        return;
    }
    TrayIcon->SetToolTip(AppTitle);
    TrayIcon->SetActive(true);
    // The window hides only once the desktop shows the icon: a host may be there and still not
    // take it. Until then the window stays, and without the icon it goes to the taskbar.
    TrayIcon->WhenShown(TrayShowBoundMs, [this](bool shown) {
        if (shown) {
            hide();
            return;
        }
        TrayIcon->SetActive(false);
        showMinimized();
    });
}

void TFormMain::TrayIconClick() {
    TrayIcon->PopupAtCursor();
}

void TFormMain::TrayIconDblClick() {
    show();
    raise();
    activateWindow();
    TrayIcon->SetActive(false);
}

void TFormMain::AnotherStart(const TStartArgs& args) {
    PendingStarts.push_back(args);
    QTimer::singleShot(0, this, &TFormMain::RunPendingStarts);
}

void TFormMain::RunPendingStarts() {
    // While a box or dialog waits for an answer (the overwrite question before a batch, say),
    // a start's "-C" must not begin decoding underneath it; the timer tries again.
    while (!PendingStarts.empty() && !Closing && !QApplication::activeModalWidget()) {
        const TStartArgs args = std::move(PendingStarts.front());
        PendingStarts.pop_front();
        TakeStart(args);
    }
    // A start that waits still ends the desktop's busy cursor now, and raises the waiting question.
    QWidget* const front = QApplication::activeModalWidget();
    for (TStartArgs& waiting : PendingStarts) {
        CompleteLaunch(front ? front : this, waiting.Launch);
        waiting.Launch = {};
    }
}

void TFormMain::TakeStart(const TStartArgs& args) {
    BringToFront();
    CompleteLaunch(this, args.Launch);
    // The list already holds files, so the clipboard's join them instead of replacing them.
    if (!args.FirstArgument.empty()) ImportClipboard();
    OpenFiles(args.Paths);
    if (args.FirstArgument == "-C") RunAction(ActionDecode);
}

void TFormMain::BringToFront() {
    if (InTray()) {
        TrayIconDblClick();
        return;
    }
    setWindowState(windowState() & ~Qt::WindowMinimized);
    show();
    raise();
    activateWindow();
}

void TFormMain::mnuShowClick() {
    TrayIconDblClick();
}
void TFormMain::mnuExitClick() {
    close();
}
void TFormMain::SeSkinButton1Click() {
    close();
}

bool TFormMain::InTray() const {
    return TrayIcon->Active();
}

void TFormMain::mnuStayontopClick() {
    SetStayOnTop(!mnuStayontop->isChecked());
}

void TFormMain::SetStayOnTop(bool on) {
    mnuStayontop->setChecked(on);
    GlobalVars.Stayontop = on;
    if (windowFlags().testFlag(Qt::WindowStaysOnTopHint) == on) return;
    // Changing a window flag hides a shown window; show it again.
    const bool shown = isVisible();
    setWindowFlag(Qt::WindowStaysOnTopHint, on);
    if (shown) show();
}

void TFormMain::CheckBoxCloseAppClick() {
    GlobalVars.ExitWhenDone = CheckBoxCloseApp->isChecked();
}

void TFormMain::ImgTrayMouseMove() {
    ImgTray->SetPicture(ImgTray->HoverPicture());
    ImgTray->Tag = 0;
}

void TFormMain::Image4MouseMove() {
    // Only on leaving the button, not on every move over the strip.
    if (ImgTray->Tag != 0) return;
    ImgTray->SetPicture(ImgTray->NormalPicture());
    ImgTray->Tag = 1;
}

void TFormMain::RunAction(QAction* action) {
    ActionListUpdate();
    if (action->isEnabled()) {
        const auto handler = ActionHandlers.find(action);
        if (handler != ActionHandlers.end()) handler->second();
    }
    ActionListUpdate();
}

void TFormMain::btnAddClick() {
    RunAction(ActionAddFiles);
}
void TFormMain::btnRemoveClick() {
    RunAction(ActionRemove);
}
void TFormMain::btnClearClick() {
    RunAction(ActionClearList);
}
void TFormMain::btnOptionsClick() {
    RunAction(ActionOptions);
}
void TFormMain::btnDecodeClick() {
    RunAction(ActionDecode);
}
void TFormMain::btnCancelClick() {
    RunAction(ActionCancel);
}
