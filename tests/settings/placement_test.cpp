#include "settings/placement.h"

#include "settings/ini.h"
#include "tests/support/tempdir.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include <gtest/gtest.h>

namespace {

class Placement : public ::testing::Test {
protected:
    TTempDir Dir;
    std::string File = Dir.Path() + "p.ini";

    QRect Restored(const std::string& section) {
        QWidget window;
        window.setGeometry(10, 20, 300, 200);
        RestoreWindowPlacement(section, &window, File);
        return QRect(window.pos(), window.size());
    }
};

} // namespace

TEST_F(Placement, FitsTheSavedRectangleToTheScreen) {
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    ASSERT_EQ(screen.topLeft(), QPoint(0, 0)); // the offscreen platform's one screen
    const int w = screen.width();
    const int h = screen.height();
    const auto n = [](int v) { return std::to_string(v); };
    Dir.WriteFile("p.ini", "[wide]\nx=100\ny=50\nwidth=" + n(w + 200) + "\nheight=" + n(h + 1) + "\n" +
                               "[left]\nx=-50\ny=-7\nwidth=400\nheight=300\n" + "[right]\nx=" + n(w - 100) +
                               "\ny=" + n(h - 100) + "\nwidth=400\nheight=300\n" +
                               "[bad]\nx=abc\nwidth=99999999999\n");
    EXPECT_EQ(Restored("wide"), QRect(0, 0, w, h));
    EXPECT_EQ(Restored("left"), QRect(0, 0, 400, 300));
    EXPECT_EQ(Restored("right"), QRect(w - 400, h - 300, 400, 300));
    EXPECT_EQ(Restored("bad"), QRect(10, 20, 300, 200)); // unreadable values keep the window's own
    EXPECT_EQ(Restored("missing"), QRect(10, 20, 300, 200));
}

TEST_F(Placement, SavesInOrderAndAMaximizedWindowKeepsItsNormalRectangle) {
    {
        QWidget window;
        window.setGeometry(30, 40, 320, 240);
        SaveWindowPlacement("Form", &window, File);
        EXPECT_EQ(Dir.ReadFile("p.ini"), "[Form]\nx=30\ny=40\nheight=240\nwidth=320\nmaximized=0\n");
        window.show();
        window.setWindowState(Qt::WindowMaximized);
        ASSERT_TRUE(WaitFor([&] { return window.isMaximized(); }, 5000));
        SaveWindowPlacement("Form", &window, File);
        EXPECT_EQ(Dir.ReadFile("p.ini"), "[Form]\nx=30\ny=40\nheight=240\nwidth=320\nmaximized=1\n");
    }
    QWidget next;
    RestoreWindowPlacement("Form", &next, File);
    EXPECT_TRUE(next.windowState() & Qt::WindowMaximized);
    next.show();
    ASSERT_TRUE(WaitFor([&] { return next.isMaximized(); }, 5000));
    EXPECT_EQ(next.normalGeometry(), QRect(30, 40, 320, 240));
    next.setWindowState(Qt::WindowNoState);
    ASSERT_TRUE(WaitFor([&] { return next.size() == QSize(320, 240); }, 5000));
    EXPECT_EQ(next.pos(), QPoint(30, 40));
}

TEST_F(Placement, AMinimizedWindowSavesItsNormalRectangle) {
    // The window keeps its normal rectangle while minimized (to the taskbar or the tray), so a
    // move made before minimizing survives a close from there.
    QWidget window;
    window.setGeometry(30, 40, 320, 240);
    window.show();
    window.move(70, 80);
    window.setWindowState(Qt::WindowMinimized);
    ASSERT_TRUE(WaitFor([&] { return window.isMinimized(); }, 5000));
    SaveWindowPlacement("Form", &window, File);
    EXPECT_EQ(Dir.ReadFile("p.ini"), "[Form]\nx=70\ny=80\nheight=240\nwidth=320\nmaximized=0\n");
}
