// The main window's life with the tray: sending it there and back, exiting from the tray,
// minimising, and the keyboard shortcuts that run the actions only while they are enabled.
#include "app/anchors.h"
#include "app/formmain.h"
#include "app/statusnotifier.h"
#include "app/trayhost.h"
#include "app/trayicon.h"
#include "filelist/filelistview.h"
#include "settings/globals.h"
#include "settings/ini.h"
#include "settings/paths.h"
#include "tests/app/modaldriver.h"
#include "tests/support/fakewatcher.h"
#ifdef WAVESMITH_HAVE_XCB
#include "tests/support/fakexembedtray.h"
#endif
#include "tests/support/scriptedservices.h"
#include "tests/support/tempdir.h"

#include <QAction>
#include <QCheckBox>
#include <QDBusArgument>
#include <QImage>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

namespace {
class FormMainWindow : public ::testing::Test {
protected:
    void SetUp() override { TScriptedServices::Current().Reset(); }
    void TearDown() override { TTrayIcon::SetAvailableOverride(std::nullopt); }

    // The start-up message shows the window.
    static void Start(TFormMain& form) {
        ASSERT_TRUE(WaitFor([&] { return form.isVisible(); }, 5000));
    }

    TTempDir Dir;
    TExecutableIn Exe{Dir.Path()};
};
} // namespace

TEST_F(FormMainWindow, SendToTrayIsRefusedWhereThereIsNoTray) {
    TTrayIcon::SetAvailableOverride(false);
    TFormMain form;
    Start(form);
    QTest::mouseClick(form.ImgTray, Qt::LeftButton);
    EXPECT_TRUE(form.isVisible()) << "a hidden window would have no way back";
    EXPECT_FALSE(form.TrayIcon->Active());
    EXPECT_FALSE(form.InTray());
    EXPECT_FALSE(form.ImgTray->isEnabled());
    EXPECT_TRUE(form.ImgTray->toolTip().contains("no notification area"));
    EXPECT_EQ(form.ImgTray->accessibleDescription(), form.ImgTray->toolTip()) << "the reason, read out";
    // A tray host started later makes the button usable.
    TTrayIcon::SetAvailableOverride(true);
    EXPECT_TRUE(WaitFor([&] { return form.ImgTray->isEnabled(); }, 5000));
    EXPECT_FALSE(form.ImgTray->accessibleDescription().contains("no notification area"));
}

TEST_F(FormMainWindow, WithoutATrayHostTheWindowIsMinimisedNotHidden) {
    // The real question to the desktop: under the offscreen platform without a session bus
    // there is neither a StatusNotifierItem host nor an XEmbed tray.
    TTrayIcon::SetAvailableOverride(std::nullopt);
    TFormMain form;
    Start(form);
    form.UpdateTrayButton();
    EXPECT_FALSE(form.ImgTray->isEnabled());
    form.ImgTrayClick(); // the host went away after the button was last brought in step
    EXPECT_TRUE(form.isVisible());
    EXPECT_TRUE(form.isMinimized());
    EXPECT_FALSE(form.InTray());
}

TEST_F(FormMainWindow, SendToTrayAndBack) {
    TTrayIcon::SetAvailableOverride(true);
    TFormMain form;
    Start(form);
    QTest::mouseClick(form.ImgTray, Qt::LeftButton);
    EXPECT_FALSE(form.isVisible());
    ASSERT_TRUE(form.InTray());
    EXPECT_EQ(form.TrayIcon->ToolTip(), "Wavesmith 2.6");
    QSystemTrayIcon* platform = form.TrayIcon->PlatformIcon();
    ASSERT_NE(platform, nullptr);
    EXPECT_EQ(platform->toolTip(), "Wavesmith 2.6");

    // A left click opens the tray menu; it does not bring the window back.
    emit platform->activated(QSystemTrayIcon::Trigger);
    EXPECT_TRUE(WaitFor([&] { return form.PopupMenu3->isVisible(); }, 5000));
    EXPECT_FALSE(form.isVisible());
    form.PopupMenu3->hide();

    emit platform->activated(QSystemTrayIcon::DoubleClick);
    EXPECT_TRUE(form.isVisible());
    EXPECT_FALSE(form.InTray());
    EXPECT_EQ(form.TrayIcon->PlatformIcon(), nullptr);

    // And once more, back through the menu's "&ShowWindow".
    form.ImgTrayClick();
    ASSERT_TRUE(form.InTray());
    form.mnuShow->trigger();
    EXPECT_TRUE(form.isVisible());
    EXPECT_FALSE(form.InTray());

    // The notification area goes away (its host ended) while the window is there: it comes back.
    form.ImgTrayClick();
    ASSERT_TRUE(form.InTray());
    TTrayIcon::SetAvailableOverride(false);
    EXPECT_TRUE(WaitFor([&] { return form.isVisible(); }, 5000));
    EXPECT_FALSE(form.InTray());
}

TEST_F(FormMainWindow, ExitFromTheTrayEndsWithoutShowingTheWindowAndSaves) {
    TTrayIcon::SetAvailableOverride(true);
    QPointer<QSystemTrayIcon> platform;
    {
        TFormMain form;
        Start(form);
        form.CheckBoxCloseApp->click();
        form.ImgTrayClick();
        ASSERT_TRUE(form.InTray());
        platform = form.TrayIcon->PlatformIcon();
        int shows = 0;
        OnEvent(&form, QEvent::Show, [&](QEvent*) { ++shows; });
        form.mnuExit->trigger();
        EXPECT_TRUE(form.Closing);
        EXPECT_FALSE(form.isVisible());
        EXPECT_EQ(shows, 0);
        EXPECT_TRUE(Ini::ReadBool(SettingsFilePath(), "General", "ExitWhenDone", false));
        EXPECT_NE(Ini::ReadString(SettingsFilePath(), "Form", "x", ""), "");
    }
    EXPECT_TRUE(platform.isNull()) << "the icon leaves the tray with the window";
}

TEST_F(FormMainWindow, ClosingFromTheTrayEndsTheEventLoop) {
    TTrayIcon::SetAvailableOverride(true);
    TFormMain form;
    Start(form);
    form.ImgTrayClick();
    ASSERT_FALSE(form.isVisible());
    QTimer::singleShot(0, form.mnuExit, &QAction::trigger);
    QTimer bound;
    bound.setSingleShot(true);
    QObject::connect(&bound, &QTimer::timeout, [] { QCoreApplication::exit(7); });
    bound.start(10000);
    EXPECT_EQ(QApplication::exec(), 0) << "the program must end when the hidden window closes";
    EXPECT_TRUE(form.Closing);
}

TEST_F(FormMainWindow, ABoxClosedWhileInTheTrayDoesNotEndTheProgram) {
    // A batch's question or an error report may appear while the window hides in the tray; once
    // answered it is the last window to close, which must not end the program unsaved.
    TTrayIcon::SetAvailableOverride(true);
    TFormMain form;
    Start(form);
    form.ImgTrayClick();
    ASSERT_FALSE(form.isVisible());
    bool ranOn = false;
    QTimer::singleShot(0, [&] {
        QMessageBox box(QMessageBox::Critical, "Error Report", "text", QMessageBox::Ok);
        WhenModal([](QWidget* modal) {
            static_cast<QDialog*>(modal)->accept();
            return true;
        });
        box.exec();
        // Whatever end of the program the box's closing asked for arrives now.
        QCoreApplication::sendPostedEvents(qApp, QEvent::Quit);
        QMetaObject::invokeMethod(
            qApp,
            [&] {
                ranOn = true;
                QCoreApplication::exit(5);
            },
            Qt::QueuedConnection);
    });
    QTimer bound;
    bound.setSingleShot(true);
    QObject::connect(&bound, &QTimer::timeout, [] { QCoreApplication::exit(7); });
    bound.start(10000);
    EXPECT_EQ(QApplication::exec(), 5);
    EXPECT_TRUE(ranOn) << "the event loop ended when the box closed";
    EXPECT_TRUE(form.InTray());
    EXPECT_FALSE(form.Closing);
}

TEST_F(FormMainWindow, MinimisingLeavesNoTrayIcon) {
    TTrayIcon::SetAvailableOverride(true);
    TFormMain form;
    Start(form);
    form.showMinimized();
    ASSERT_TRUE(WaitFor([&] { return form.isMinimized(); }, 5000));
    EXPECT_FALSE(form.InTray());
    EXPECT_TRUE(form.TrayIcon->findChildren<QSystemTrayIcon*>().isEmpty());
    form.showNormal();
    ASSERT_TRUE(WaitFor([&] { return !form.isMinimized(); }, 5000));
    EXPECT_TRUE(form.isVisible());
    EXPECT_FALSE(form.InTray());
}

TEST_F(FormMainWindow, ShortcutsRunEnabledActionsOnly) {
    auto& services = TScriptedServices::Current();
    TFormMain form;
    Start(form);
    form.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form));

    // The list is empty, so Decode is off even if the last update said otherwise.
    form.ActionDecode->setEnabled(true);
    QTest::keyClick(&form, Qt::Key_D, Qt::ControlModifier);
    EXPECT_TRUE(services.Calls.empty()) << "Ctrl+D with an empty list must do nothing";
    EXPECT_FALSE(form.ActionDecode->isEnabled());

    // Ctrl+O opens the add dialog (cancelled here).
    services.FileChoices.push_back({});
    QTest::keyClick(&form, Qt::Key_O, Qt::ControlModifier);
    EXPECT_EQ(services.CallsOf(TServiceCall::OpenFiles).size(), 1u);
}

TEST_F(FormMainWindow, ButtonsLabelAndListOpenWhatTheyBelongTo) {
    auto& services = TScriptedServices::Current();
    TFormMain form;
    Start(form);

    services.FileChoices.push_back({});
    QTest::mouseClick(form.btnAdd, Qt::LeftButton);
    EXPECT_EQ(services.CallsOf(TServiceCall::OpenFiles).size(), 1u) << "Add runs the add dialog";

    QTest::mousePress(form.Label1, Qt::LeftButton, {}, QPoint(3, 3));
    EXPECT_TRUE(form.PopupMenu2->isVisible()) << "the Help label opens the help menu";
    form.PopupMenu2->hide();

    emit form.ListViewFiles->customContextMenuRequested(QPoint(20, 20));
    EXPECT_TRUE(form.PopupMenu1->isVisible()) << "the list's context menu";
    form.PopupMenu1->hide();
}

TEST_F(FormMainWindow, PostedMessagesReachTheirHandlers) {
    TFormMain form;
    Start(form);
    ASSERT_FALSE(FileExists(SavedListPath()));
    form.SaveListPending = true;
    form.PostMessage(WM_SAVEFILELIST);
    EXPECT_TRUE(WaitFor([] { return FileExists(SavedListPath()); }, 5000)) << "the saved list is written";
}

TEST_F(FormMainWindow, TheTrayIsAskedOfTheWatcherAndTheWindowWaitsForItsIcon) {
    // Real questions to a watcher on a private bus; no XEmbed tray under the offscreen platform.
    TFakeWatcher watcher;
    ASSERT_FALSE(watcher.Address().empty()) << "dbus-daemon did not start";
    UseTrayBus(watcher.Address());
    struct TBusBack {
        ~TBusBack() { UseTrayBus({}); }
    } busBack;
    TFormMain form;
    Start(form);
    EXPECT_FALSE(TTrayIcon::Available()) << "no watcher";
    watcher.SetHost(false);
    watcher.Start();
    EXPECT_FALSE(TTrayIcon::Available()) << "a watcher without a host shows nothing";
    form.ImgTrayClick();
    EXPECT_TRUE(form.isMinimized());
    form.showNormal();
    ASSERT_TRUE(WaitFor([&] { return !form.isMinimized(); }, 5000));

    // A host came up after the start: our own item registers with it, and only then the window hides.
    watcher.SetHost(true);
    EXPECT_TRUE(TTrayIcon::Available()) << "an SNI host alone is a tray";
    form.ImgTrayClick();
    ASSERT_TRUE(WaitFor([&] { return !form.isVisible(); }, 5000));
    ASSERT_NE(form.TrayIcon->Item(), nullptr);
    EXPECT_EQ(watcher.Items(), QStringList{form.TrayIcon->Item()->Service()});
    // The host lost our item: the window comes back.
    watcher.DropItems();
    ASSERT_TRUE(WaitFor([&] { return form.isVisible(); }, 5000));
    EXPECT_FALSE(form.InTray());

    // A watcher that lists the item as its bus name and object path, as real ones do: the window
    // still knows its own. A host reads the tip and the pictures (ARGB, in network byte order) and
    // clicks it: the window comes back.
    watcher.SetListsPaths(true);
    form.ImgTrayClick();
    ASSERT_TRUE(WaitFor([&] { return !form.isVisible(); }, 5000));
    ASSERT_EQ(watcher.Items().size(), 1);
    const QString entry = watcher.Items().first();
    EXPECT_TRUE(entry.endsWith(QStringLiteral("/StatusNotifierItem"))) << entry.toStdString();
    form.TrayIcon->SetToolTip("Current file:caf\xE9.mp3"); // not UTF-8
    const auto tip = qdbus_cast<TSniToolTip>(watcher.ItemProperty(entry, QStringLiteral("ToolTip")));
    EXPECT_EQ(tip.Text, QString::fromUtf8("Current file:café.mp3"));
    const auto pixmaps =
        qdbus_cast<QList<TSniPixmap>>(watcher.ItemProperty(entry, QStringLiteral("IconPixmap")));
    ASSERT_FALSE(pixmaps.isEmpty());
    const TSniPixmap& first = pixmaps.first();
    const QImage image = form.TrayIcon->Icon()
                             .pixmap(first.Width, first.Height)
                             .toImage()
                             .convertToFormat(QImage::Format_ARGB32);
    ASSERT_EQ(first.Bytes.size(), first.Width * first.Height * 4);
    int opaque = 0;
    for (int y = 0; y < first.Height; ++y)
        for (int x = 0; x < first.Width; ++x) {
            const QRgb pixel = image.pixel(x, y);
            const auto* bytes =
                reinterpret_cast<const uchar*>(first.Bytes.constData()) + 4 * (y * first.Width + x);
            opaque += qAlpha(pixel) == 255;
            ASSERT_EQ((std::vector<int>{bytes[0], bytes[1], bytes[2], bytes[3]}),
                      (std::vector<int>{qAlpha(pixel), qRed(pixel), qGreen(pixel), qBlue(pixel)}))
                << x << "," << y;
        }
    EXPECT_GT(opaque, 0) << "a picture to compare";
    watcher.CallItem(entry, QStringLiteral("Activate"), {0, 0});
    ASSERT_TRUE(WaitFor([&] { return form.isVisible(); }, 5000));
    EXPECT_FALSE(form.InTray());
    watcher.SetListsPaths(false);

    // A host that never lists the icon: the window goes to the taskbar instead of hiding.
    watcher.SetTakesItems(false);
    form.ImgTrayClick();
    EXPECT_TRUE(form.isVisible());
    ASSERT_TRUE(WaitFor([&] { return form.isMinimized(); }, 10000));
    EXPECT_TRUE(form.isVisible());
    EXPECT_FALSE(form.InTray());
}

#ifdef WAVESMITH_HAVE_XCB
TEST_F(FormMainWindow, AnXEmbedTrayMustTakeTheIconBeforeTheWindowHides) {
    // XEmbed needs an X display: under the offscreen platform this test runs itself again on a
    // virtual X server, without a session bus, so that Qt's icon speaks XEmbed.
    if (QGuiApplication::platformName() != QLatin1String("xcb")) {
        const QString xvfbRun = QStandardPaths::findExecutable(QStringLiteral("xvfb-run"));
        if (xvfbRun.isEmpty()) GTEST_SKIP() << "needs xvfb-run";
        QProcess child;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"),
                           QStringLiteral("unix:path=/nonexistent"));
        child.setProcessEnvironment(environment);
        child.setProcessChannelMode(QProcess::MergedChannels);
        const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
        child.start(xvfbRun,
                    {QStringLiteral("-a"), QStringLiteral("-s"), QStringLiteral("-nolisten tcp"),
                     QCoreApplication::applicationFilePath(),
                     QStringLiteral("--gtest_filter=%1.%2").arg(test->test_suite_name(), test->name())});
        ASSERT_TRUE(child.waitForFinished(120000));
        const QString output = QString::fromLocal8Bit(child.readAll());
        ASSERT_TRUE(output.contains("[  PASSED  ] 1 test")) << output.toStdString();
        EXPECT_EQ(child.exitCode(), 0) << output.toStdString();
        return;
    }
    TFakeXEmbedTray tray;
    ASSERT_TRUE(tray.Running());
    TFormMain form;
    Start(form);
    ASSERT_TRUE(TTrayIcon::Available()) << "the tray owns its selection";

    // A hung panel: it owns the selection and is asked to dock, but never takes the icon.
    tray.Embeds = false;
    form.ImgTrayClick();
    ASSERT_TRUE(WaitFor([&] { return tray.DockRequests == 1; }, 5000)) << "the icon asked the tray";
    EXPECT_TRUE(form.isVisible());
    ASSERT_TRUE(WaitFor([&] { return form.isMinimized(); }, 10000));
    EXPECT_TRUE(form.isVisible()) << "minimised, with its taskbar entry, not hidden";
    EXPECT_FALSE(form.InTray());

    // A working tray takes the icon: only then the window hides.
    form.showNormal();
    ASSERT_TRUE(WaitFor([&] { return !form.isMinimized(); }, 5000));
    tray.Embeds = true;
    form.ImgTrayClick();
    ASSERT_TRUE(WaitFor([&] { return !form.isVisible(); }, 5000));
    EXPECT_EQ(tray.DockRequests, 2);
    EXPECT_TRUE(form.InTray());
    form.mnuShow->trigger();
    EXPECT_TRUE(form.isVisible());
}
#endif
