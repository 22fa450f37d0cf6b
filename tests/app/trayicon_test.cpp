// The notification-area icon: its tip, presence, events and popup menu.
#include "app/statusnotifier.h"
#include "app/trayicon.h"
#include "tests/support/tempdir.h"

#include <QCoreApplication>
#include <QMenu>
#include <QPixmap>
#include <QPointer>

#include <gtest/gtest.h>

namespace {
int PlatformIcons(const TTrayIcon& tray) {
    int shown = 0;
    for (const QSystemTrayIcon* icon : tray.findChildren<QSystemTrayIcon*>())
        shown += icon->isVisible() ? 1 : 0;
    return shown;
}
} // namespace

TEST(TrayIcon, TipKeepsItsFirst62Characters) {
    TTrayIcon tray;
    const std::string longTip =
        "0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ-the-rest-is-cut";
    tray.SetToolTip(longTip);
    EXPECT_EQ(tray.ToolTip(), longTip.substr(0, 62));
    tray.SetActive(true);
    ASSERT_NE(tray.PlatformIcon(), nullptr);
    EXPECT_EQ(tray.PlatformIcon()->toolTip().toStdString(), longTip.substr(0, 62));

    // Exactly 62 stays whole; a character of several bytes is never cut in half.
    const std::string exact(62, 'x');
    tray.SetToolTip(exact);
    EXPECT_EQ(tray.ToolTip(), exact);
    const std::string umlauts = std::string(61, 'a') + "\xC3\xA4\xC3\xB6"; // a... + two 2-byte letters
    EXPECT_EQ(TrimTrayTip(umlauts), std::string(61, 'a'));
    EXPECT_EQ(TrimTrayTip(std::string(60, 'a') + "\xC3\xA4" + "zz"), std::string(60, 'a') + "\xC3\xA4");
}

TEST(TrayIcon, ActiveTwiceAddsOnceAndFalseRemoves) {
    TTrayIcon tray;
    EXPECT_EQ(tray.PlatformIcon(), nullptr);
    tray.SetActive(true);
    tray.SetActive(true);
    EXPECT_TRUE(tray.Active());
    EXPECT_EQ(PlatformIcons(tray), 1);
    EXPECT_FALSE(tray.PlatformIcon()->icon().isNull()) << "an icon is always given to the platform";
    EXPECT_FALSE(tray.Shown()) << "no shell took the icon, which has no place on the screen";

    QPointer<QSystemTrayIcon> platform = tray.PlatformIcon();
    tray.SetActive(false);
    EXPECT_FALSE(tray.Active());
    EXPECT_EQ(tray.PlatformIcon(), nullptr);
    EXPECT_EQ(PlatformIcons(tray), 0);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(platform.isNull());
    tray.SetActive(false); // already away: nothing to do
    EXPECT_EQ(PlatformIcons(tray), 0);
}

TEST(TrayIcon, TipSetWhileInactiveShowsOnceAdded) {
    TTrayIcon tray;
    tray.SetToolTip("Wavesmith 2.6");
    EXPECT_EQ(tray.PlatformIcon(), nullptr) << "no icon appears for a tip";
    tray.SetActive(true);
    ASSERT_NE(tray.PlatformIcon(), nullptr);
    EXPECT_EQ(tray.PlatformIcon()->toolTip(), "Wavesmith 2.6");
    tray.SetToolTip("12% a.mp3");
    EXPECT_EQ(tray.PlatformIcon()->toolTip(), "12% a.mp3");
}

TEST(TrayIcon, ClicksReachTheirEventsAndRightClickOpensTheMenu) {
    TTrayIcon tray;
    QMenu menu;
    menu.addAction("&ShowWindow");
    tray.PopupMenu = &menu;
    int clicks = 0, doubleClicks = 0, rightClicks = 0;
    tray.OnClick = [&] { ++clicks; };
    tray.OnDblClick = [&] { ++doubleClicks; };
    tray.SetActive(true);
    QSystemTrayIcon* platform = tray.PlatformIcon();
    ASSERT_NE(platform, nullptr);

    // The menu is the platform icon's own, so trays that show only that one show it.
    EXPECT_EQ(platform->contextMenu(), &menu);

    emit platform->activated(QSystemTrayIcon::Trigger);
    EXPECT_TRUE(WaitFor([&] { return clicks == 1; }, 5000));
    EXPECT_EQ(doubleClicks, 0);
    // The first click of a double-click never becomes a click: its menu would take the second.
    emit platform->activated(QSystemTrayIcon::Trigger);
    emit platform->activated(QSystemTrayIcon::DoubleClick);
    EXPECT_EQ(doubleClicks, 1);
    EXPECT_FALSE(tray.ClickPending());
    emit platform->activated(QSystemTrayIcon::MiddleClick); // ignored
    EXPECT_EQ(clicks + doubleClicks, 2);
    EXPECT_FALSE(menu.isVisible());

    // Without OnRightClick the menu still opens; with it, the event follows the menu.
    emit platform->activated(QSystemTrayIcon::Context);
    EXPECT_TRUE(menu.isVisible());
    EXPECT_EQ(clicks + doubleClicks, 2);
    menu.hide();
    tray.OnRightClick = [&] {
        EXPECT_TRUE(menu.isVisible());
        ++rightClicks;
    };
    emit platform->activated(QSystemTrayIcon::Context);
    EXPECT_EQ(rightClicks, 1);
    menu.hide();
}

TEST(TrayIcon, DestructionRemovesAPresentIcon) {
    QPointer<QSystemTrayIcon> platform;
    {
        TTrayIcon tray;
        tray.SetActive(true);
        platform = tray.PlatformIcon();
        ASSERT_FALSE(platform.isNull());
        EXPECT_TRUE(platform->isVisible());
    }
    EXPECT_TRUE(platform.isNull());
}

TEST(TrayIcon, TheInstalledIconIsGivenByItsName) {
    // Not installed, the drawn icon serves by its pictures alone.
    EXPECT_TRUE(ProgramIcon().name().isEmpty());
    EXPECT_FALSE(ProgramIcon().isNull());

    // Installed into the desktop's icon theme, trays that look icons up by name find it.
    TTempDir themes;
    themes.WriteFile("hicolor/index.theme",
                     "[Icon Theme]\nName=hicolor\nDirectories=48x48/apps\n\n[48x48/apps]\nSize=48\n");
    themes.MakeDir("hicolor/48x48/apps");
    QPixmap picture(48, 48);
    picture.fill(Qt::blue);
    ASSERT_TRUE(picture.save(QString::fromStdString(themes.Path()) + "hicolor/48x48/apps/" +
                             InstalledIconName + ".png"));
    struct TThemeBack {
        const QStringList SearchPaths = QIcon::themeSearchPaths();
        const QString Theme = QIcon::themeName();
        ~TThemeBack() {
            QIcon::setThemeSearchPaths(SearchPaths);
            QIcon::setThemeName(Theme);
        }
    } themeBack;
    QIcon::setThemeSearchPaths({QString::fromStdString(themes.Path())});
    QIcon::setThemeName("hicolor");
    const QIcon installed = ProgramIcon();
    EXPECT_EQ(installed.name(), InstalledIconName);
    TStatusNotifierItem item(installed);
    EXPECT_EQ(item.IconName(), InstalledIconName);
    EXPECT_EQ(item.Title(), "Wavesmith");
    EXPECT_FALSE(item.IconPixmap().isEmpty()) << "and its pictures for the trays that show those";
}
