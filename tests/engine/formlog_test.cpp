// The log viewer: its layout, the centred OK button, and showing RunLog over the main window.
#include "app/formmain.h"
#include "engine/formlog.h"
#include "settings/globals.h"
#include "tests/support/tempdir.h"

#include <QApplication>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QTest>
#include <QTextBlock>
#include <QTextLayout>
#include <QTimer>

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>

namespace {

// Runs action on the viewer once it is the active modal window; records what it saw.
void WhenViewerShows(const std::function<void(TFormLog*)>& action) {
    auto poll = std::make_shared<std::function<void()>>();
    *poll = [action, poll] {
        if (auto* viewer = qobject_cast<TFormLog*>(QApplication::activeModalWidget())) {
            action(viewer);
            return;
        }
        QTimer::singleShot(10, *poll);
    };
    QTimer::singleShot(0, *poll);
}

} // namespace

TEST(FormLog, LayoutAndCentredButton) {
    TFormLog viewer(nullptr);
    EXPECT_EQ(viewer.windowTitle(), "Wavesmith Log");
    EXPECT_EQ(viewer.size(), QSize(376, 227));
    EXPECT_FALSE(viewer.windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_TRUE(viewer.windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_EQ(viewer.ButtonOK->text(), "&OK");
    EXPECT_TRUE(viewer.ButtonOK->isDefault());
    EXPECT_TRUE(viewer.MemoLog->isReadOnly());
    EXPECT_EQ(viewer.MemoLog->lineWrapMode(), QPlainTextEdit::WidgetWidth);
    viewer.show();
    EXPECT_EQ(viewer.PanelBottom->height(), 37);
    EXPECT_EQ(viewer.ButtonOK->geometry(), QRect((376 - 75) / 2, 7, 75, 25));
    viewer.resize(801, 500);
    QApplication::processEvents();
    EXPECT_EQ(viewer.ButtonOK->x(), (801 - 75) / 2);
    EXPECT_EQ(viewer.ButtonOK->y(), 7);
    EXPECT_EQ(viewer.ButtonOK->size(), QSize(75, 25));
    EXPECT_EQ(viewer.PanelBottom->y() + viewer.PanelBottom->height(), 500);
}

TEST(FormLog, OpensOnTheSummaryFromTheStartOfItsLines) {
    TFormLog viewer(nullptr);
    std::vector<std::string> lines;
    for (int n = 0; n < 30; ++n) {
        lines.push_back(
            "An error occurred while trying to decode \"/home/user/Music/a rather long folder name/" +
            std::to_string(n) + " broken.mp3\"!");
        lines.push_back("");
    }
    lines.push_back("Decoded 0 files in 0:00:42");
    lines.push_back("30 files couldn't be decoded,probably wrong format or using with other application.");
    viewer.SetLines(lines);
    viewer.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&viewer));
    QPlainTextEdit* memo = viewer.MemoLog;
    EXPECT_TRUE(memo->document()->lastBlock().layout()->lineCount() > 1) << "the row tries a wrapped line";
    // At every height the top line of the box is the first line of its paragraph, and the last
    // paragraph shows.
    for (int height = 180; height <= 320; height += 7) {
        viewer.resize(376, height);
        QApplication::processEvents();
        viewer.ShowSummary();
        EXPECT_GT(memo->verticalScrollBar()->maximum(), 0);
        EXPECT_FALSE(memo->horizontalScrollBar()->isVisible()) << "lines wrap";
        const QTextCursor top = memo->cursorForPosition(QPoint(4, 4));
        EXPECT_EQ(top.block().layout()->lineForTextPosition(top.positionInBlock()).lineNumber(), 0)
            << height << ": " << top.block().text().toStdString();
        EXPECT_GT(top.block().blockNumber(), 0);
        const QTextCursor bottom = memo->cursorForPosition(QPoint(4, memo->viewport()->height() - 4));
        EXPECT_EQ(bottom.block(), memo->document()->lastBlock()) << height;
    }
}

TEST(FormLog, CentresOverOwnerTruncatingHalves) {
    EXPECT_EQ(CentredOver(QRect(100, 50, 500, 301), QSize(384, 254)), QPoint(100 + 58, 50 + 23));
    EXPECT_EQ(CentredOver(QRect(10, 10, 100, 100), QSize(384, 254)), QPoint(10 - 142, 10 - 77));
    // Kept on the screen, frame included: moved in from each edge, shrunk only when larger.
    const QRect screen(0, 0, 800, 600);
    EXPECT_EQ(FitInside(QRect(100, 100, 384, 254), screen), QRect(100, 100, 384, 254));
    EXPECT_EQ(FitInside(QRect(-132, -20, 384, 254), screen), QRect(0, 0, 384, 254));
    EXPECT_EQ(FitInside(QRect(500, 400, 384, 254), screen), QRect(416, 346, 384, 254));
    EXPECT_EQ(FitInside(QRect(10, -5, 900, 601), QRect(1024, 30, 800, 570)), QRect(1024, 30, 800, 570));
}

class FormLogShown : public ::testing::Test {
protected:
    TTempDir Dir;
    TExecutableIn Exe{Dir.Path()};
    void TearDown() override { GlobalVars.RunLog.clear(); }
};

TEST_F(FormLogShown, ShowsRunLogCentredAndOkCloses) {
    TFormMain form;
    form.show();
    form.move(300, 200);
    QApplication::processEvents();
    GlobalVars.RunLog = {"", "An error occurred while trying to decode \"/m/b.mp3\"!", "",
                         "Decoded 2 files in 0:00:04"};
    QString shown;
    QRect at;
    bool seen = false;
    WhenViewerShows([&](TFormLog* viewer) {
        seen = true;
        shown = viewer->MemoLog->toPlainText();
        at = viewer->frameGeometry();
        QTest::mouseClick(viewer->ButtonOK, Qt::LeftButton);
    });
    form.ShowLogViewer();
    ASSERT_TRUE(seen);
    EXPECT_EQ(shown,
              "\nAn error occurred while trying to decode \"/m/b.mp3\"!\n\nDecoded 2 files in 0:00:04");
    // Centred frame over frame: the centres agree to the pixel that halving an odd size loses.
    const auto centre = [](const QRect& r) {
        return QPointF(r.x() + r.width() / 2.0, r.y() + r.height() / 2.0);
    };
    const QPointF offset = centre(at) - centre(form.frameGeometry());
    EXPECT_LE(std::abs(offset.x()), 1.0) << offset.x();
    EXPECT_LE(std::abs(offset.y()), 1.0) << offset.y();
    EXPECT_NE(at.topLeft(), form.frameGeometry().topLeft()); // the viewer is smaller than the window

    // A main window half off the screen: the viewer opens wholly on it.
    const QRect screen = form.screen()->availableGeometry();
    form.resize(200, 120);
    form.move(screen.right() - 100, screen.bottom() - 40);
    WhenViewerShows([&](TFormLog* viewer) {
        at = viewer->frameGeometry();
        viewer->accept();
    });
    form.ShowLogViewer();
    EXPECT_TRUE(screen.contains(at)) << at.x() << "," << at.y();
}

TEST_F(FormLogShown, EnterAndEscCloseTheViewer) {
    TFormMain form;
    GlobalVars.RunLog = {"x"};
    for (int key : {Qt::Key_Return, Qt::Key_Escape}) {
        bool closedByKey = false;
        WhenViewerShows([&](TFormLog* viewer) {
            // Enter in the text box presses the default button rather than adding a line.
            QTest::keyClick(viewer->MemoLog, static_cast<Qt::Key>(key));
            closedByKey = !viewer->isVisible();
            if (!closedByKey) viewer->reject(); // keeps a failing test from hanging
        });
        form.ShowLogViewer();
        EXPECT_TRUE(closedByKey) << "key " << key;
    }
}
