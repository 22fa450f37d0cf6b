// The main window's controls, menus and actions, at their design places.
#include "app/anchors.h"
#include "app/formmain.h"
#include "app/helplabel.h"
#include "app/links.h"
#include "app/looks.h"
#include "app/trayicon.h"
#include "filelist/filelistmodel.h"
#include "filelist/filelistview.h"

#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

namespace {
constexpr QSize DesignSize(452, 261);
constexpr int HintDuration = 10000; // ms a hint stays visible
constexpr Qt::Edges LeftTop = Qt::LeftEdge | Qt::TopEdge;
constexpr Qt::Edges RightTop = Qt::RightEdge | Qt::TopEdge;
constexpr Qt::Edges LeftBottom = Qt::LeftEdge | Qt::BottomEdge;
constexpr Qt::Edges RightBottom = Qt::RightEdge | Qt::BottomEdge;
constexpr Qt::Edges LeftRightBottom = Qt::LeftEdge | Qt::RightEdge | Qt::BottomEdge;
constexpr Qt::Edges AllEdges = Qt::LeftEdge | Qt::TopEdge | Qt::RightEdge | Qt::BottomEdge;

QWidget* MakeStrip(QWidget* parent, const char* name) {
    auto* strip = new QWidget(parent);
    strip->setObjectName(name);
    strip->setMouseTracking(true);
    MarkDecorative(strip);
    return strip;
}

QPushButton* MakeButton(QWidget* parent, const char* name, const char* caption, const char* hint) {
    auto* button = new QPushButton(QString::fromUtf8(caption), parent);
    button->setObjectName(name);
    if (*hint) button->setToolTip(QString::fromUtf8(hint));
    button->setToolTipDuration(HintDuration);
    return button;
}

// What a screen reader says about the list: the names of its columns.
QString ColumnNames(const QAbstractItemModel* model) {
    QStringList names;
    for (int column = 0; column < model->columnCount(); ++column)
        names << model->headerData(column, Qt::Horizontal, Qt::DisplayRole).toString();
    return QStringLiteral("Columns: ") + names.join(QStringLiteral(", "));
}

QLabel* MakeLabel(QWidget* parent, const char* name, const char* caption) {
    auto* label = new QLabel(QString::fromUtf8(caption), parent);
    label->setObjectName(name);
    return label;
}
} // namespace

void TFormMain::CreateLayout() {
    auto* client = new QWidget(this);
    client->setObjectName("Client");
    setCentralWidget(client);
    // Smaller than designed, the anchored controls would overlap.
    // At the user's font the whole design grows with it.
    client->setMinimumSize(Scaled(DesignSize));
    resize(Scaled(DesignSize));
    client->resize(
        Scaled(DesignSize)); // at once, so the controls are placed right before the window is shown
    auto* anchors = new TAnchors(client, DesignSize);

    // The strips come first so that the controls lie above them.
    Image1 = MakeStrip(client, "Image1");
    anchors->Place(Image1, {0, 0, 452, 33}, Qt::LeftEdge | Qt::TopEdge | Qt::RightEdge);
    Image2 = MakeStrip(client, "Image2");
    anchors->Place(Image2, {0, 33, 9, 141}, Qt::LeftEdge | Qt::TopEdge | Qt::BottomEdge);
    Image3 = MakeStrip(client, "Image3");
    anchors->Place(Image3, {443, 33, 9, 141}, Qt::RightEdge | Qt::TopEdge | Qt::BottomEdge);
    Image4 = MakeStrip(client, "Image4");
    anchors->Place(Image4, {0, 174, 452, 87}, LeftRightBottom);

    btnAdd = MakeButton(client, "btnAdd", "&Add", "Add files to the list");
    anchors->Place(btnAdd, {10, 6, 57, 21}, LeftTop);
    btnRemove = MakeButton(client, "btnRemove", "&Remove", "Remove selected files from list");
    anchors->Place(btnRemove, {76, 6, 57, 21}, LeftTop);
    btnClear = MakeButton(client, "btnClear", "&Clear", "Remove all entries from the list");
    anchors->Place(btnClear, {143, 6, 57, 21}, LeftTop);
    btnOptions = MakeButton(client, "btnOptions", "&Options", "Show options dialog");
    anchors->Place(btnOptions, {209, 6, 57, 21}, LeftTop);
    SeSkinButton1 = MakeButton(client, "SeSkinButton1", "E&xit", "Exit");
    anchors->Place(SeSkinButton1, {275, 6, 57, 21}, LeftTop);

    auto* help = new THelpLabel(QStringLiteral("&Help"), client);
    help->OnOpenMenu = [this] { OpenHelpMenuFromKeyboard(); };
    Label1 = help;
    Label1->setObjectName("Label1");
    Label1->setAccessibleName(QStringLiteral("Help"));
    Label1->setAccessibleDescription(QStringLiteral("Opens the help menu"));
    Label1->setCursor(Qt::PointingHandCursor);
    Label1->setMouseTracking(true);
    Label1->adjustSize();
    anchors->PlaceAt(Label1, {417, 10}, RightTop);

    FileList = new TFileListModel(this);
    ListViewFiles = new TFileListView(client);
    ListViewFiles->setObjectName("ListViewFiles");
    ListViewFiles->setModel(FileList);
    ListViewFiles->setAccessibleName(QStringLiteral("Files to decode"));
    ListViewFiles->setAccessibleDescription(ColumnNames(FileList));
    ConnectListView();
    anchors->Place(ListViewFiles, {9, 33, 434, 141}, AllEdges);

    LabelWorking = MakeLabel(client, "LabelWorking", "Waiting for begin:");
    anchors->Place(LabelWorking, {10, 180, 367, 17}, LeftRightBottom);
    LabelRemainingLabel = MakeLabel(client, "LabelRemainingLabel", "Remaining time:");
    LabelRemainingLabel->adjustSize();
    LabelRemainingLabel->resize(LabelRemainingLabel->width(), Scaled(16));
    anchors->PlaceAt(LabelRemainingLabel, {10, 198}, LeftBottom);
    LabelBatchRemaining = MakeLabel(client, "LabelBatchRemaining", "");
    anchors->Place(LabelBatchRemaining, {112, 198, 137, 16}, LeftBottom);
    LabelBatch = MakeLabel(client, "LabelBatch", "");
    anchors->Place(LabelBatch, {255, 198, 117, 16}, LeftBottom);
    LabelBatch->hide();

    ProgressBarBatch = new QProgressBar(client);
    ProgressBarBatch->setObjectName("ProgressBarBatch");
    ProgressBarBatch->setRange(0, 1000);
    ProgressBarBatch->setValue(0);
    ProgressBarBatch->setTextVisible(false);
    ProgressBarBatch->setFormat(QStringLiteral("%p%")); // what a screen reader reads as its value
    ProgressBarBatch->setAccessibleName(QStringLiteral("Batch progress"));
    anchors->Place(ProgressBarBatch, {10, 217, 362, 14}, LeftRightBottom);

    btnDecode = MakeButton(client, "btnDecode", "&Decode", "Starts decoding the listed files to WAV");
    anchors->Place(btnDecode, {382, 182, 61, 21}, RightBottom);
    btnCancel = MakeButton(client, "btnCancel", "&Cancel", "");
    btnCancel->setEnabled(false);
    anchors->Place(btnCancel, {382, 210, 61, 21}, RightBottom);

    CheckBoxCloseApp = new QCheckBox(QStringLiteral("&Exit when done decoding"), client);
    CheckBoxCloseApp->setObjectName("CheckBoxCloseApp");
    CheckBoxCloseApp->setChecked(false);
    // The platform's font may be wider than the designed one: never cut the caption short.
    anchors->PlaceScaled(CheckBoxCloseApp,
                         QRect(Scaled(10), Scaled(238),
                               std::max(Scaled(151), CheckBoxCloseApp->sizeHint().width()), Scaled(17)),
                         LeftBottom);

    ImgTray = new TTrayButton(client);
    ImgTray->setObjectName("ImgTray");
    ImgTray->setToolTip(QStringLiteral("Send to tray"));
    ImgTray->setToolTipDuration(HintDuration);
    anchors->Place(ImgTray, {428, 239, 15, 14}, RightBottom);

    TrayIcon = new TTrayIcon(this);
    TrayIcon->SetIcon(ProgramIcon());
    setWindowIcon(TrayIcon->Icon());

    Timer1 = new QTimer(this);
    Timer1->setObjectName("Timer1");
    Timer1->setInterval(1000);
    connect(Timer1, &QTimer::timeout, this, &TFormMain::Timer1Timer);
    connect(Timer1, &QTimer::timeout, this, &TFormMain::RunPendingStarts);
    // The tray button follows the notification area's host as it comes and goes.
    connect(Timer1, &QTimer::timeout, this, &TFormMain::UpdateTrayButton);
    Timer1->start();

    // Mouse routes of the strips, the Help label and the tray button.
    OnEvent(Image1, QEvent::MouseMove, [this](QEvent*) { Image1MouseMove(); });
    OnEvent(Image4, QEvent::MouseMove, [this](QEvent*) { Image4MouseMove(); });
    OnEvent(Label1, QEvent::MouseMove, [this](QEvent*) { Label1MouseMove(); });
    OnEvent(Label1, QEvent::MouseButtonPress, [this](QEvent* event) {
        Label1MouseDown(static_cast<QMouseEvent*>(event)->position().toPoint());
    });
    connect(ImgTray, &TTrayButton::MouseMoved, this, &TFormMain::ImgTrayMouseMove);
    connect(ImgTray, &TTrayButton::Clicked, this, &TFormMain::ImgTrayClick);
    connect(SeSkinButton1, &QPushButton::clicked, this, &TFormMain::SeSkinButton1Click);
    connect(CheckBoxCloseApp, &QCheckBox::toggled, this, &TFormMain::CheckBoxCloseAppClick);
}

QAction* TFormMain::MakeAction(const char* category, const char* caption, const char* hint,
                               const QKeySequence& shortcut, std::function<void()> execute) {
    auto* action = new QAction(QString::fromUtf8(caption), this);
    action->setProperty("category", QString::fromUtf8(category));
    action->setToolTip(QString::fromUtf8(hint));
    action->setStatusTip(QString::fromUtf8(hint));
    action->setShortcut(shortcut);
    action->setShortcutContext(Qt::WindowShortcut);
    addAction(action); // shortcuts work whenever the window is active
    ActionHandlers[action] = std::move(execute);
    // Menu items and shortcuts go through the same gate as the buttons.
    connect(action, &QAction::triggered, this, [this, action] { RunAction(action); });
    return action;
}

void TFormMain::ConnectButton(QPushButton* button, QAction* action) {
    // A button follows its action's enabled state but keeps its own hint.
    connect(action, &QAction::enabledChanged, button, &QPushButton::setEnabled);
    button->setEnabled(action->isEnabled());
}

void TFormMain::CreateActions() {
    ActionAddFiles = MakeAction("File", "&Add", "Add files to the list", QKeySequence(Qt::CTRL | Qt::Key_O),
                                [this] { ActionAddFilesExecute(); });
    ActionRemove = MakeAction("Edit", "&Remove", "Remove selected files from list",
                              QKeySequence(Qt::Key_Delete), [this] { ActionRemoveExecute(); });
    ActionClearList =
        MakeAction("Edit", "&Clear", "Remove all entries from the list",
                   QKeySequence(Qt::CTRL | Qt::Key_Delete), [this] { ActionClearListExecute(); });
    ActionOptions =
        MakeAction("Edit", "&Options", "Shows options dialog", {}, [this] { ActionOptionsExecute(); });
    ActionDecode = MakeAction("Actions", "&Decode", "Starts decoding the listed files to WAV",
                              QKeySequence(Qt::CTRL | Qt::Key_D), [this] { ActionDecodeExecute(); });
    ActionCancel = MakeAction("Actions", "&Cancel", "", {}, [this] { ActionCancelExecute(); });
    ActionCancel->setEnabled(false);
    ActionViewLog = MakeAction("View", "Last &Log", "View contents of log of last run", {},
                               [this] { ActionViewLogExecute(); });

    ConnectButton(btnAdd, ActionAddFiles);
    ConnectButton(btnRemove, ActionRemove);
    ConnectButton(btnClear, ActionClearList);
    ConnectButton(btnOptions, ActionOptions);
    ConnectButton(btnDecode, ActionDecode);
    ConnectButton(btnCancel, ActionCancel);
    connect(btnAdd, &QPushButton::clicked, this, &TFormMain::btnAddClick);
    connect(btnRemove, &QPushButton::clicked, this, &TFormMain::btnRemoveClick);
    connect(btnClear, &QPushButton::clicked, this, &TFormMain::btnClearClick);
    connect(btnOptions, &QPushButton::clicked, this, &TFormMain::btnOptionsClick);
    connect(btnDecode, &QPushButton::clicked, this, &TFormMain::btnDecodeClick);
    connect(btnCancel, &QPushButton::clicked, this, &TFormMain::btnCancelClick);

    // The list's context menu.
    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName("PopupMenu1");
    PopupMenu1->addAction(ActionRemove);
    PopupMenu1->addSeparator();
    PopupMenu1->addAction(ActionAddFiles);
    PopupMenu1->addAction(ActionClearList);
    PopupMenu1->addAction(ActionViewLog);
    PopupMenu1->addSeparator();
    PopupMenu1->addAction(ActionOptions);
    PopupMenu1->addSeparator();
    mnuStayontop = PopupMenu1->addAction(QStringLiteral("Stay on &top"));
    mnuStayontop->setObjectName("mnuStayontop");
    mnuStayontop->setCheckable(true);
    // The menu has already inverted the check mark; the window follows it.
    connect(mnuStayontop, &QAction::triggered, this, [this](bool checked) { SetStayOnTop(checked); });
    ListViewFiles->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(ListViewFiles, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& pos) { PopupMenu1->popup(ListViewFiles->viewport()->mapToGlobal(pos)); });

    // The help menu, opened by the Help label.
    PopupMenu2 = new QMenu(this);
    PopupMenu2->setObjectName("PopupMenu2");
    connect(PopupMenu2->addAction(QStringLiteral("Contents...")), &QAction::triggered, this,
            &TFormMain::Contents1Click);
    PopupMenu2->addSeparator();
    connect(PopupMenu2->addAction(QStringLiteral("Frequently Asked Questions (FAQ)")), &QAction::triggered,
            this, &TFormMain::Tr1Click);
    PopupMenu2->addSeparator();
    connect(PopupMenu2->addAction(QStringLiteral("Technical Support")), &QAction::triggered, this,
            &TFormMain::TechnicalSupport1Click);
    connect(PopupMenu2->addAction(QString::fromUtf8(std::string(HomePageDomain) + " on the web")),
            &QAction::triggered, this, &TFormMain::HomePage1Click);
    connect(PopupMenu2->addAction(QStringLiteral("About...")), &QAction::triggered, this,
            &TFormMain::About1Click);

    // Keys of the desktop's own: F1 for the help's contents, Ctrl+Q to quit as the tray's Exit does.
    auto* helpKey = new QAction(this);
    helpKey->setShortcut(QKeySequence::HelpContents);
    connect(helpKey, &QAction::triggered, this, &TFormMain::Contents1Click);
    addAction(helpKey);
    auto* quitKey = new QAction(this);
    quitKey->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    connect(quitKey, &QAction::triggered, this, &TFormMain::mnuExitClick);
    addAction(quitKey);

    // The tray menu.
    PopupMenu3 = new QMenu(this);
    PopupMenu3->setObjectName("PopupMenu3");
    mnuShow = PopupMenu3->addAction(QStringLiteral("&ShowWindow"));
    mnuShow->setObjectName("mnuShow");
    connect(mnuShow, &QAction::triggered, this, &TFormMain::mnuShowClick);
    mnuExit = PopupMenu3->addAction(QStringLiteral("&Exit"));
    mnuExit->setObjectName("mnuExit");
    connect(mnuExit, &QAction::triggered, this, &TFormMain::mnuExitClick);

    TrayIcon->PopupMenu = PopupMenu3;
    TrayIcon->OnClick = [this] { TrayIconClick(); };
    TrayIcon->OnDblClick = [this] { TrayIconDblClick(); };
    // Never hidden with no way back: without a notification area the window returns.
    TrayIcon->OnTrayLost = [this] { TrayIconDblClick(); };
}
