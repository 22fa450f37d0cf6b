// The main window's controls, actions and menus as they are built.
#include "app/formmain.h"
#include "app/trayicon.h"
#include "filelist/filelistview.h"
#include "settings/datetime.h"
#include "tests/support/tempdir.h"

#include <QAction>
#include <QCheckBox>
#include <QCoreApplication>
#include <QHeaderView>
#include <QKeySequence>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>

namespace {
class FormMainLayout : public ::testing::Test {
protected:
    // The layout as a desktop with a notification area shows it.
    void SetUp() override { TTrayIcon::SetAvailableOverride(true); }
    void TearDown() override { TTrayIcon::SetAvailableOverride(std::nullopt); }
    TTempDir Dir;
    TExecutableIn Exe{Dir.Path()};
};

std::vector<std::string> MenuTexts(const QMenu* menu) {
    std::vector<std::string> texts;
    for (const QAction* action : menu->actions())
        texts.push_back(action->isSeparator() ? "-" : action->text().toStdString());
    return texts;
}

QRect Rect(const QWidget* widget) {
    return widget->geometry();
}
} // namespace

TEST_F(FormMainLayout, ControlsSitAtTheirDesignPlacesWithTheirTexts) {
    TFormMain form;
    EXPECT_FALSE(form.isVisible()) << "the start-up message shows the window, not the constructor";
    EXPECT_EQ(form.windowTitle(), "Wavesmith 2.6");
    EXPECT_EQ(form.centralWidget()->size(), QSize(452, 261));

    EXPECT_EQ(Rect(form.Image1), QRect(0, 0, 452, 33));
    EXPECT_EQ(Rect(form.Image2), QRect(0, 33, 9, 141));
    EXPECT_EQ(Rect(form.Image3), QRect(443, 33, 9, 141));
    EXPECT_EQ(Rect(form.Image4), QRect(0, 174, 452, 87));
    EXPECT_EQ(Rect(form.ListViewFiles), QRect(9, 33, 434, 141));

    const std::vector<std::tuple<QPushButton*, QRect, const char*, const char*>> buttons = {
        {form.btnAdd, {10, 6, 57, 21}, "&Add", "Add files to the list"},
        {form.btnRemove, {76, 6, 57, 21}, "&Remove", "Remove selected files from list"},
        {form.btnClear, {143, 6, 57, 21}, "&Clear", "Remove all entries from the list"},
        {form.btnOptions, {209, 6, 57, 21}, "&Options", "Show options dialog"},
        {form.SeSkinButton1, {275, 6, 57, 21}, "E&xit", "Exit"},
        {form.btnDecode, {382, 182, 61, 21}, "&Decode", "Starts decoding the listed files to WAV"},
        {form.btnCancel, {382, 210, 61, 21}, "&Cancel", ""},
    };
    for (const auto& [button, rect, caption, hint] : buttons) {
        EXPECT_EQ(Rect(button), rect) << caption;
        EXPECT_EQ(button->text().toStdString(), caption);
        EXPECT_EQ(button->toolTip().toStdString(), hint) << caption;
    }
    EXPECT_EQ(form.btnAdd->toolTipDuration(), 10000);

    EXPECT_EQ(form.Label1->text(), "&Help"); // "Help" with its mnemonic
    EXPECT_EQ(form.Label1->pos(), QPoint(417, 10));
    EXPECT_EQ(form.Label1->cursor().shape(), Qt::PointingHandCursor);
    EXPECT_EQ(form.LabelWorking->text(), "Waiting for begin:");
    EXPECT_EQ(Rect(form.LabelWorking), QRect(10, 180, 367, 17));
    EXPECT_EQ(form.LabelRemainingLabel->text(), "Remaining time:");
    EXPECT_EQ(form.LabelRemainingLabel->pos(), QPoint(10, 198));
    EXPECT_EQ(Rect(form.LabelBatchRemaining), QRect(112, 198, 137, 16));
    EXPECT_TRUE(form.LabelBatchRemaining->text().isEmpty());
    EXPECT_TRUE(form.LabelBatch->isHidden());

    EXPECT_EQ(Rect(form.ProgressBarBatch), QRect(10, 217, 362, 14));
    EXPECT_EQ(form.ProgressBarBatch->maximum(), 1000);
    EXPECT_FALSE(form.ProgressBarBatch->isTextVisible());

    EXPECT_FALSE(form.btnCancel->isEnabled());
    EXPECT_EQ(form.CheckBoxCloseApp->pos(), QPoint(10, 238));
    EXPECT_GE(form.CheckBoxCloseApp->width(), std::max(151, form.CheckBoxCloseApp->sizeHint().width()));
    EXPECT_EQ(form.CheckBoxCloseApp->text(), "&Exit when done decoding");
    EXPECT_FALSE(form.CheckBoxCloseApp->isChecked());

    EXPECT_EQ(Rect(form.ImgTray), QRect(428, 239, 15, 14));
    EXPECT_EQ(form.ImgTray->toolTip(), "Send to tray");
    EXPECT_EQ(form.ImgTray->cursor().shape(), Qt::PointingHandCursor);
    EXPECT_EQ(form.ImgTray->Tag, 0);

    EXPECT_TRUE(form.acceptDrops());
    EXPECT_EQ(form.ListViewFiles->selectionBehavior(), QAbstractItemView::SelectRows);
    EXPECT_EQ(form.Timer1->interval(), 1000);
    EXPECT_TRUE(form.Timer1->isActive());
    EXPECT_FALSE(form.windowIcon().isNull());
    EXPECT_FALSE(form.TrayIcon->Active());
}

TEST_F(FormMainLayout, ControlsFollowTheirAnchorsOnResize) {
    TFormMain form;
    form.show();
    form.resize(600, 400); // 148 wider, 139 higher than designed
    ASSERT_TRUE(WaitFor([&] { return form.centralWidget()->size() == QSize(600, 400); }, 5000));
    EXPECT_EQ(form.centralWidget()->size(), QSize(600, 400));

    EXPECT_EQ(Rect(form.Image1), QRect(0, 0, 600, 33));
    EXPECT_EQ(Rect(form.Image2), QRect(0, 33, 9, 280));
    EXPECT_EQ(Rect(form.Image3), QRect(591, 33, 9, 280));
    EXPECT_EQ(Rect(form.Image4), QRect(0, 313, 600, 87));
    EXPECT_EQ(Rect(form.ListViewFiles), QRect(9, 33, 582, 280));

    EXPECT_EQ(Rect(form.btnAdd), QRect(10, 6, 57, 21));          // left, top
    EXPECT_EQ(Rect(form.SeSkinButton1), QRect(275, 6, 57, 21));  // left, top
    EXPECT_EQ(form.Label1->pos(), QPoint(565, 10));              // right, top
    EXPECT_EQ(Rect(form.LabelWorking), QRect(10, 319, 515, 17)); // left, right, bottom
    EXPECT_EQ(form.LabelRemainingLabel->pos(), QPoint(10, 337)); // left, bottom
    EXPECT_EQ(Rect(form.LabelBatchRemaining), QRect(112, 337, 137, 16));
    EXPECT_EQ(Rect(form.ProgressBarBatch), QRect(10, 356, 510, 14));
    EXPECT_EQ(Rect(form.btnDecode), QRect(530, 321, 61, 21)); // right, bottom
    EXPECT_EQ(Rect(form.btnCancel), QRect(530, 349, 61, 21));
    EXPECT_EQ(form.CheckBoxCloseApp->pos(), QPoint(10, 377));
    EXPECT_EQ(Rect(form.ImgTray), QRect(576, 378, 15, 14));

    // The width beyond the designed columns goes to the names.
    const QHeaderView* header = form.ListViewFiles->header();
    const QScrollBar* across = form.ListViewFiles->horizontalScrollBar();
    const auto columns = [&] {
        return std::vector<int>{header->sectionSize(0), header->sectionSize(1), header->sectionSize(2),
                                header->sectionSize(3)};
    };
    // The date column takes the width a date needs at the list's font, at least its design width.
    const int date = header->sectionSize(3);
    const QString today = QString::fromStdString(FormatShortDateTime(Now()));
    EXPECT_GT(date, std::max(100, form.ListViewFiles->fontMetrics().horizontalAdvance(today)));
    const std::vector<int> designed{150, 150, 75, date};
    EXPECT_EQ(header->length(), form.ListViewFiles->viewport()->width());
    std::vector<int> wide = columns();
    EXPECT_GT(wide[0], designed[0]);
    wide[0] = designed[0];
    EXPECT_EQ(wide, designed);

    // Back to the design size: every control returns to its place, the columns to their widths,
    // and an empty list scrolls nowhere; one entry brings the scroll bar its columns need.
    form.resize(452, 261);
    ASSERT_TRUE(WaitFor([&] { return form.centralWidget()->size() == QSize(452, 261); }, 5000));
    EXPECT_EQ(Rect(form.ListViewFiles), QRect(9, 33, 434, 141));
    EXPECT_EQ(Rect(form.btnDecode), QRect(382, 182, 61, 21));
    EXPECT_EQ(columns(), designed);
    QCoreApplication::processEvents();
    EXPECT_FALSE(across->isVisible());
    form.AddFile(Dir.WriteFile("a.mp3", "ID3"));
    EXPECT_TRUE(WaitFor([&] { return across->isVisible(); }, 5000));

    // A name column sized by hand keeps its width when the window grows.
    form.ListViewFiles->header()->resizeSection(0, 170);
    form.resize(600, 400);
    ASSERT_TRUE(WaitFor([&] { return form.centralWidget()->size() == QSize(600, 400); }, 5000));
    EXPECT_EQ(columns()[0], 170);

    // Smaller than designed the controls would overlap: the window stops at its design size.
    form.resize(300, 150);
    QCoreApplication::processEvents();
    EXPECT_EQ(form.centralWidget()->size(), QSize(452, 261));
}

TEST_F(FormMainLayout, ActionsCarryCaptionsHintsCategoriesAndShortcuts) {
    TFormMain form;
    struct TExpected {
        QAction* Action;
        const char* Category;
        const char* Caption;
        const char* Hint;
        QKeySequence Shortcut;
    };
    const std::vector<TExpected> expected = {
        {form.ActionAddFiles, "File", "&Add", "Add files to the list", QKeySequence("Ctrl+O")},
        {form.ActionRemove, "Edit", "&Remove", "Remove selected files from list", QKeySequence("Del")},
        {form.ActionClearList, "Edit", "&Clear", "Remove all entries from the list",
         QKeySequence("Ctrl+Del")},
        {form.ActionOptions, "Edit", "&Options", "Shows options dialog", {}},
        {form.ActionDecode, "Actions", "&Decode", "Starts decoding the listed files to WAV",
         QKeySequence("Ctrl+D")},
        {form.ActionCancel, "Actions", "&Cancel", "", {}},
        {form.ActionViewLog, "View", "Last &Log", "View contents of log of last run", {}},
    };
    for (const TExpected& e : expected) {
        ASSERT_NE(e.Action, nullptr) << e.Caption;
        EXPECT_EQ(e.Action->text().toStdString(), e.Caption);
        EXPECT_EQ(e.Action->statusTip().toStdString(), e.Hint) << e.Caption;
        EXPECT_EQ(e.Action->property("category").toString().toStdString(), e.Category) << e.Caption;
        EXPECT_EQ(e.Action->shortcut(), e.Shortcut) << e.Caption;
        // Shortcuts reach the action whenever the window is active.
        EXPECT_TRUE(form.actions().contains(e.Action)) << e.Caption;
        EXPECT_EQ(e.Action->shortcutContext(), Qt::WindowShortcut) << e.Caption;
    }
    EXPECT_FALSE(form.ActionCancel->isEnabled());
    EXPECT_FALSE(form.btnCancel->isEnabled());
    // A button follows its action's enabled state.
    form.ActionCancel->setEnabled(true);
    EXPECT_TRUE(form.btnCancel->isEnabled());
    form.ActionDecode->setEnabled(false);
    EXPECT_FALSE(form.btnDecode->isEnabled());
}

TEST_F(FormMainLayout, MenusHoldTheirItemsInOrder) {
    TFormMain form;
    EXPECT_EQ(MenuTexts(form.PopupMenu1),
              (std::vector<std::string>{"&Remove", "-", "&Add", "&Clear", "Last &Log", "-", "&Options", "-",
                                        "Stay on &top"}));
    EXPECT_EQ(form.PopupMenu1->actions()[0], form.ActionRemove);
    EXPECT_EQ(form.PopupMenu1->actions()[0]->shortcut(), QKeySequence("Del"));
    EXPECT_EQ(form.PopupMenu1->actions().back(), form.mnuStayontop);
    EXPECT_TRUE(form.mnuStayontop->isCheckable());
    EXPECT_FALSE(form.mnuStayontop->isChecked());
    EXPECT_EQ(form.ListViewFiles->contextMenuPolicy(), Qt::CustomContextMenu);

    EXPECT_EQ(
        MenuTexts(form.PopupMenu2),
        (std::vector<std::string>{"Contents...", "-", "Frequently Asked Questions (FAQ)", "-",
                                  "Technical Support", "wavesmith.example.org on the web", "About..."}));
    EXPECT_EQ(MenuTexts(form.PopupMenu3), (std::vector<std::string>{"&ShowWindow", "&Exit"}));
    EXPECT_EQ(form.TrayIcon->PopupMenu, form.PopupMenu3);
}

TEST_F(FormMainLayout, TrayButtonSwapsItsPictureOnceOnLeaving) {
    TFormMain form;
    // Two equal pictures would let every comparison below pass whatever the button shows.
    ASSERT_NE(form.ImgTray->HoverPicture().toImage(), form.ImgTray->NormalPicture().toImage());
    auto moveOver = [](QWidget* widget) {
        QMouseEvent move(QEvent::MouseMove, QPointF(2, 2), widget->mapToGlobal(QPointF(2, 2)), Qt::NoButton,
                         Qt::NoButton, Qt::NoModifier);
        QCoreApplication::sendEvent(widget, &move);
    };
    moveOver(form.ImgTray);
    EXPECT_EQ(form.ImgTray->Tag, 0);
    EXPECT_EQ(form.ImgTray->Picture().toImage(), form.ImgTray->HoverPicture().toImage());

    moveOver(form.Image4);
    EXPECT_EQ(form.ImgTray->Tag, 1);
    EXPECT_EQ(form.ImgTray->Picture().toImage(), form.ImgTray->NormalPicture().toImage());

    // Further moves over the strip leave the picture alone.
    QPixmap marker(15, 14);
    marker.fill(Qt::red);
    form.ImgTray->SetPicture(marker);
    moveOver(form.Image4);
    EXPECT_EQ(form.ImgTray->Picture().toImage(), marker.toImage());
}
