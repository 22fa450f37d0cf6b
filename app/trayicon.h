#pragma once
// The notification-area icon with its tip, click events and popup menu, and the small image button
// that sends the main window there.
#include <QAbstractButton>
#include <QIcon>
#include <QObject>
#include <QPixmap>
#include <QSystemTrayIcon>
#include <QWidget>

#include <functional>
#include <optional>
#include <string>

class QMenu;
class QTimer;
class TStatusNotifierItem;

// The tip keeps this many characters (the shell's limit).
inline constexpr std::size_t TrayTipLength = 62;

// Keeps the first TrayTipLength characters of a tip, never splitting a UTF-8 sequence.
std::string TrimTrayTip(const std::string& tip);

// The program's icon, drawn in code at 32 x 32: the window icon and the tray icon.
QIcon WavesmithIcon();
// The installed icon's name in the desktop's icon theme (the desktop entry's Icon=).
inline constexpr char InstalledIconName[] = "org.example.wavesmith";
// The installed icon by its name, so that trays which look icons up by name find it in the theme;
// the drawn one where it is not installed.
QIcon ProgramIcon();

class TTrayIcon : public QObject {
    Q_OBJECT
public:
    explicit TTrayIcon(QObject* parent = nullptr);
    ~TTrayIcon() override;

    // True while the icon is in the notification area (as far as we asked for it).
    bool Active() const { return FActive; }
    void SetActive(bool active);

    const std::string& ToolTip() const { return FToolTip; }
    void SetToolTip(const std::string& tip);

    const QIcon& Icon() const { return FIcon; }
    void SetIcon(const QIcon& icon);

    QMenu* PopupMenu = nullptr;
    std::function<void()> OnClick;
    std::function<void()> OnDblClick;
    std::function<void()> OnRightClick;
    // The notification area went away, or its host was replaced, while the icon was in it
    // (checked every second).
    std::function<void()> OnTrayLost;

    // A balloon message beside the icon while it is in the notification area.
    void ShowMessage(const std::string& title, const std::string& text);
    // Opens PopupMenu at the mouse cursor.
    void PopupAtCursor();
    // A left click waits for the double-click time before OnClick runs: a menu opened at once
    // would take the second click of a double-click.
    bool ClickPending() const;

    // The platform icon while Active, else nullptr; our own item replaces it where it does not
    // reach a StatusNotifierItem host.
    QSystemTrayIcon* PlatformIcon() const { return FPlatform; }
    // Our own StatusNotifierItem while it stands in for the platform icon, else nullptr.
    TStatusNotifierItem* Item() const { return FItem; }

    // Whether the desktop shows the icon now: the watcher lists an item of this process, or an
    // XEmbed tray took the platform icon.
    bool Shown() const;
    // Runs done(true) once the icon shows, or done(false) when it has not within boundMs; a
    // DeleteIcon meanwhile drops the question.
    void WhenShown(int boundMs, std::function<void(bool)> done);

    // Whether the desktop has a notification area; tests may pretend either way.
    static bool Available();
    static void SetAvailableOverride(std::optional<bool> available);

private:
    void AddIcon();
    void ModifyIcon();
    void DeleteIcon();
    void DropPlatform();
    void UseOwnItem();
    void Activated(QSystemTrayIcon::ActivationReason reason);
    void CheckTray();
    void ShownCheck();

    bool FActive = false;
    std::string FToolTip;
    QIcon FIcon;
    QSystemTrayIcon* FPlatform = nullptr;
    TStatusNotifierItem* FItem = nullptr;
    QTimer* FClickTimer = nullptr;
    QTimer* FShownWatch = nullptr;
    int FShownTries = 0;
    int FPlatformPolls = 0;
    std::function<void(bool)> FShownDone;
    QTimer* FTrayWatch = nullptr;
    std::string FTrayHost;        // the tray's host when the icon was added
    bool FStatusNotifier = false; // that host is a StatusNotifierItem host
};

// What the send-to-tray button does, for screen readers, while there is a tray to send to.
inline const QString TrayButtonDescription =
    QStringLiteral("Hides the window to an icon in the notification area");

// ImgTray: a 15 x 14 image button (grown with the user's font). Tag tells which picture it shows:
// 0 the hover picture (and the button's own picture at start), 1 the normal picture. It takes the
// focus and acts on Space and Enter, as buttons do.
class TTrayButton : public QAbstractButton {
    Q_OBJECT
public:
    explicit TTrayButton(QWidget* parent = nullptr);

    int Tag = 0;
    // ImgOrg and ImgMov: the normal and the hover picture.
    const QPixmap& NormalPicture() const { return FNormal; }
    const QPixmap& HoverPicture() const { return FHover; }
    const QPixmap& Picture() const { return FPicture; }
    void SetPicture(const QPixmap& picture);

signals:
    void MouseMoved();
    void Clicked();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    // The two pictures from the palette, at the screen's pixel density; the shown one follows.
    void DrawPictures();
    QPixmap FNormal;
    QPixmap FHover;
    QPixmap FPicture;
};
