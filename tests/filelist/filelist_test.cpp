// The main window's file list with real files, the real list view and a real child for the decoder.
#include "app/formmain.h"
#include "engine/redirect.h"
#include "filelist/filelistmodel.h"
#include "filelist/filelistview.h"
#include "settings/errors.h"
#include "settings/globals.h"
#include "settings/ini.h"
#include "settings/paths.h"
#include "tests/support/restoredlist.h"
#include "tests/support/scriptedservices.h"
#include "tests/support/tempdir.h"

#include <QDir>
#include <QDropEvent>
#include <QFile>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QMimeData>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

namespace {

class FileListTest : public ::testing::Test {
protected:
    void SetUp() override {
        TScriptedServices::Current().Reset();
        BuildAcceptedTypes();
        Form = std::make_unique<TFormMain>();
        QCoreApplication::sendPostedEvents(Form.get(), WM_STARTUP); // the start-up load, on an empty folder
        Form->ConnectListView();
        Form->resize(452, 261);
        Form->show();
        Form->FileList->Clear();
        QCoreApplication::removePostedEvents(Form.get(), WM_SAVEFILELIST);
        GlobalVars.FilesTotal = 0;
        GlobalVars.BytesTotal = 0;
        Form->ListChanged = false;
    }
    void TearDown() override { Form.reset(); }

    std::string File(const std::string& name, size_t size = 10) {
        return Dir.WriteFile(name, std::string(size, 'x'));
    }
    // Adds files named a.mp3, b.mp3... of sizes 10, 20...
    void AddFiles(int count) {
        for (int i = 0; i < count; ++i)
            Form->AddFile(
                File(std::string(1, static_cast<char>('a' + i)) + ".mp3", static_cast<size_t>(10 * (i + 1))));
    }
    std::vector<std::string> Names() const {
        std::vector<std::string> names;
        for (int row = 0; row < Form->FileList->Count(); ++row)
            names.push_back(Form->FileList->Item(row).FileName);
        return names;
    }
    QItemSelectionModel* Selection() const { return Form->ListViewFiles->selectionModel(); }
    void Select(std::initializer_list<int> rows) {
        Selection()->clearSelection();
        for (int row : rows)
            Selection()->select(Form->FileList->index(row, 0),
                                QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
    std::vector<int> SelectedRows() const {
        std::vector<int> rows;
        for (int row = 0; row < Form->FileList->Count(); ++row)
            if (Selection()->isRowSelected(row)) rows.push_back(row);
        return rows;
    }
    void ClickHeader(int column) {
        QHeaderView* header = Form->ListViewFiles->header();
        const QPoint at(header->sectionViewportPosition(column) + header->sectionSize(column) / 2,
                        header->height() / 2);
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, at);
    }
    // Sends a drag over the row and a drop at the point, as the drag of the focused entry would.
    void DragOverAndDrop(int overRow, QPoint dropAt) {
        TFileListView* view = Form->ListViewFiles;
        std::unique_ptr<QMimeData> data(view->CreateDragData());
        const QPoint over = view->visualRect(Form->FileList->index(overRow, 0)).center();
        // The application delivers moves and the drop only to the widget that took the enter.
        QDragEnterEvent enter(over, Qt::MoveAction, data.get(), Qt::LeftButton, {});
        QCoreApplication::sendEvent(view->viewport(), &enter);
        EXPECT_TRUE(enter.isAccepted());
        QDragMoveEvent move(over, Qt::MoveAction, data.get(), Qt::LeftButton, {});
        QCoreApplication::sendEvent(view->viewport(), &move);
        EXPECT_TRUE(move.isAccepted());
        EXPECT_EQ(view->DropTarget(), overRow);
        QDropEvent drop(dropAt, Qt::MoveAction, data.get(), Qt::LeftButton, {});
        QCoreApplication::sendEvent(view->viewport(), &drop);
    }

    TTempDir Dir;
    TExecutableIn Exe{Dir.Path()};
    std::unique_ptr<TFormMain> Form;
};

// Counts the save requests that reach the window and can run code before the n-th is handled.
class TSaveRequestCounter : public QObject {
public:
    explicit TSaveRequestCounter(QObject* target) { target->installEventFilter(this); }
    int Count = 0;
    std::function<void(int)> BeforeHandling;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == WM_SAVEFILELIST) {
            ++Count;
            if (BeforeHandling) BeforeHandling(Count);
        }
        return false;
    }
};

} // namespace

TEST_F(FileListTest, AddFileListsOnlyExistingAcceptedNewFiles) {
    const std::string song = File("Song.mp3", 1500);
    Form->AddFile(song);
    Form->AddFile(song); // listed already
    Form->AddFile(Dir.Path() + "missing.mp3");
    Form->AddFile(File("sound.wav"));
    Form->AddFile(File("noextension"));
    Form->AddFile(Dir.MakeDir("folder.mp3"));
    Form->AddFile(song + std::string("\0x.mp3", 6)); // cut short at the NUL it would name song
    Form->AddFile(File("two\rlines.mp3"));           // the saved list could not hold these
    Form->AddFile(File("two\nlines.mp3"));
    Form->AddFile(File("list.M3U", 7));
    Form->AddFile("");                                             // a blank line of a saved list
    Form->AddFile(Dir.Path() + std::string(100000, 'n') + ".mp3"); // a name no file system takes
    const QString workingFolder = QDir::currentPath();
    QDir::setCurrent(QFile::decodeName(QByteArray::fromStdString(Dir.Path())));
    Form->AddFile("Song.mp3"); // names the file only through the working folder
    QDir::setCurrent(workingFolder);
    EXPECT_EQ(Names(), (std::vector<std::string>{"Song.mp3", "list.M3U"}));
    EXPECT_EQ(Form->FileList->Item(0).Path, Dir.Path());
    EXPECT_EQ(Form->FileList->Item(0).Size, 1500);
    EXPECT_EQ(GlobalVars.FilesTotal, 2);
    EXPECT_EQ(GlobalVars.BytesTotal, 1507);
    EXPECT_TRUE(Form->ListChanged);
    EXPECT_EQ(Form->FindEntry(song), 0);
    EXPECT_EQ(Form->FindEntry(Dir.Path() + "list.M3U"), 1);
#ifndef _WIN32
    // Names differing only in case are two files here, in one folder or in two.
    Form->AddFile(File("song.mp3"));
    Form->AddFile(File("sub/x.mp3"));
    Form->AddFile(File("SUB/x.mp3"));
    EXPECT_EQ(Form->FileList->Count(), 5);
    EXPECT_EQ(Form->FindEntry(Dir.Path() + "SONG.mp3"), -1);
#endif
}

TEST_F(FileListTest, RemoveKeepsTheTopEntryWhileItIsDecoding) {
    AddFiles(4);
    Select({0, 1, 3});
    GlobalVars.CurrentSource = Form->FileList->Item(0).FullPath(); // the entry being decoded
    Form->Redirector->SetCommandLine("/bin/sleep 30");
    Form->Redirector->Execute();
    ASSERT_TRUE(Form->Redirector->Active());
    Form->ActionRemoveExecute();
    const auto boxes = TScriptedServices::Current().CallsOf(TServiceCall::MessageBox);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0]->Text, "a.mp3 is decoding now!");
    EXPECT_EQ(boxes[0]->Caption, "Wavesmith 2.6");
    EXPECT_EQ(boxes[0]->Flags, MB_OK);
    EXPECT_EQ(Names(), (std::vector<std::string>{"a.mp3", "c.mp3"}));
    EXPECT_EQ(SelectedRows(), (std::vector<int>{0}));
    EXPECT_EQ(GlobalVars.FilesTotal, 2); // b (20 bytes) and d (40 bytes) left the batch
    EXPECT_EQ(GlobalVars.BytesTotal, 100 - 60);
    Form->Redirector->Terminate(0);
    EXPECT_TRUE(WaitFor([&] { return !Form->Redirector->Active(); }, 10000));
}

TEST_F(FileListTest, RemoveTakesTheTopEntryWhenNothingDecodes) {
    AddFiles(3);
    Select({0});
    Form->ActionRemoveExecute();
    EXPECT_TRUE(TScriptedServices::Current().Calls.empty());
    EXPECT_EQ(Names(), (std::vector<std::string>{"b.mp3", "c.mp3"}));
    EXPECT_EQ(GlobalVars.FilesTotal, 2); // an entry not being decoded leaves the totals
    EXPECT_EQ(SelectedRows(), (std::vector<int>{0}));
}

TEST_F(FileListTest, SelectionMovesToTheEntryThatTookTheRemovedPlace) {
    AddFiles(5);
    Select({4});
    Form->ActionRemoveExecute();
    EXPECT_EQ(SelectedRows(), (std::vector<int>{3})); // the new last entry
    Select({1});
    Form->ActionRemoveExecute();
    EXPECT_EQ(Names(), (std::vector<std::string>{"a.mp3", "c.mp3", "d.mp3"}));
    EXPECT_EQ(SelectedRows(), (std::vector<int>{1})); // c moved up into the place
    EXPECT_EQ(Form->ListViewFiles->currentIndex().row(), 1);

    // Many separate rows at once: the lowest removed place is selected afterwards.
    Form->FileList->Clear();
    for (int i = 0; i < 40; ++i)
        Form->AddFile(File("m" + std::to_string(100 + i) + ".mp3"));
    Selection()->clearSelection();
    for (int row = 5; row < 40; row += 2)
        Selection()->select(Form->FileList->index(row, 0),
                            QItemSelectionModel::Select | QItemSelectionModel::Rows);
    Form->ActionRemoveExecute();
    EXPECT_EQ(Form->FileList->Count(), 22);
    EXPECT_EQ(Form->FileList->Item(5).FileName, "m106.mp3");
    EXPECT_EQ(SelectedRows(), (std::vector<int>{5}));
}

TEST_F(FileListTest, HeaderClicksSortAscendingThenReverseWithTheArrow) {
    Form->AddFile(File("b.mp3", 300));
    Form->AddFile(File("z/a.mp3", 100));
    Form->AddFile(File("c.mp3", 200));
    Form->AddFile(File("a.mp3", 400));
    QHeaderView* header = Form->ListViewFiles->header();
    EXPECT_FALSE(header->isSortIndicatorShown());
    ClickHeader(TFileListModel::colSize);
    EXPECT_EQ(Names(), (std::vector<std::string>{"a.mp3", "c.mp3", "b.mp3", "a.mp3"}));
    EXPECT_EQ(Form->FileList->Item(0).Size, 100);
    EXPECT_TRUE(header->isSortIndicatorShown());
    EXPECT_EQ(header->sortIndicatorSection(), TFileListModel::colSize);
    EXPECT_EQ(header->sortIndicatorOrder(), Qt::AscendingOrder);
    ClickHeader(TFileListModel::colSize);
    EXPECT_EQ(Form->FileList->Item(0).Size, 400);
    EXPECT_EQ(Form->FileList->Item(3).Size, 100);
    EXPECT_EQ(header->sortIndicatorOrder(), Qt::DescendingOrder);
    ClickHeader(TFileListModel::colPath); // another column: ascending, equal folders by name
    EXPECT_EQ(Names(), (std::vector<std::string>{"a.mp3", "b.mp3", "c.mp3", "a.mp3"}));
    EXPECT_EQ(Form->FileList->Item(3).Path, Dir.Path() + "z/");
    EXPECT_EQ(header->sortIndicatorOrder(), Qt::AscendingOrder);
    Form->AddFile(File("d.mp3")); // goes to the bottom, and the arrow goes off
    EXPECT_EQ(Names().back(), "d.mp3");
    EXPECT_FALSE(header->isSortIndicatorShown());
}

TEST_F(FileListTest, TheKeyboardMovesFromEntryToEntryInTheNameColumn) {
    AddFiles(5);
    TFileListView* view = Form->ListViewFiles;
    view->setFocus();
    // A click into the Date column still leaves the keyboard in the name column.
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {},
                      view->visualRect(Form->FileList->index(2, TFileListModel::colDate)).center());
    EXPECT_EQ(view->currentIndex(), Form->FileList->index(2, 0));
    struct TRow {
        Qt::Key Key;
        Qt::KeyboardModifiers Modifiers;
        int Row; // the current entry afterwards
    };
    const TRow rows[] = {
        {Qt::Key_End, Qt::NoModifier, 4},    {Qt::Key_Up, Qt::NoModifier, 3},
        {Qt::Key_Home, Qt::NoModifier, 0},   {Qt::Key_Right, Qt::NoModifier, 0},
        {Qt::Key_Down, Qt::NoModifier, 1},   {Qt::Key_End, Qt::ControlModifier, 4},
        {Qt::Key_Left, Qt::NoModifier, 4},   {Qt::Key_Home, Qt::ControlModifier, 0},
        {Qt::Key_End, Qt::ShiftModifier, 4},
    };
    for (const TRow& row : rows) {
        QTest::keyClick(view, row.Key, row.Modifiers);
        EXPECT_EQ(view->currentIndex(), Form->FileList->index(row.Row, 0)) << row.Key << " " << row.Modifiers;
    }
    EXPECT_EQ(SelectedRows(), (std::vector<int>{0, 1, 2, 3, 4})) << "Shift+End selects to the last entry";

    // The folders elide in the middle, where the last ones stay visible; the names as before.
    QStyleOptionViewItem option;
    auto* paths = dynamic_cast<TPathDelegate*>(view->itemDelegateForColumn(TFileListModel::colPath));
    ASSERT_NE(paths, nullptr);
    paths->initStyleOption(&option, Form->FileList->index(0, TFileListModel::colPath));
    EXPECT_EQ(option.textElideMode, Qt::ElideMiddle);
    EXPECT_EQ(view->itemDelegateForColumn(TFileListModel::colFileName), nullptr);
}

TEST_F(FileListTest, DraggingMovesTheFocusedEntry) {
    AddFiles(4);
    TFileListView* view = Form->ListViewFiles;
    QCoreApplication::removePostedEvents(Form.get(), WM_SAVEFILELIST);
    TSaveRequestCounter requests(Form.get());
    Form->SetShowSortArrows(true);
    view->setCurrentIndex(Form->FileList->index(0, 0));
    Select({0, 1});
    // Over c, then onto the empty space below the entries: a lands right after c.
    const QRect last = view->visualRect(Form->FileList->index(3, 0));
    DragOverAndDrop(2, QPoint(5, last.bottom() + 8));
    EXPECT_EQ(Names(), (std::vector<std::string>{"b.mp3", "c.mp3", "a.mp3", "d.mp3"}));
    EXPECT_EQ(view->currentIndex().row(), 2);
    EXPECT_FALSE(view->header()->isSortIndicatorShown());
    EXPECT_TRUE(WaitFor([&] { return requests.Count == 1; }, 5000));

    // Onto itself: nothing moves and nothing is saved.
    DragOverAndDrop(2, view->visualRect(Form->FileList->index(2, 0)).center());
    EXPECT_EQ(Names(), (std::vector<std::string>{"b.mp3", "c.mp3", "a.mp3", "d.mp3"}));
    // Onto the top entry: in front of it.
    view->setCurrentIndex(Form->FileList->index(3, 0));
    DragOverAndDrop(0, view->visualRect(Form->FileList->index(0, 0)).center());
    EXPECT_EQ(Names(), (std::vector<std::string>{"d.mp3", "b.mp3", "c.mp3", "a.mp3"}));
    QCoreApplication::sendPostedEvents(Form.get(), WM_SAVEFILELIST);
    EXPECT_EQ(requests.Count, 2);
    EXPECT_EQ(RestoredSavedList(SavedListPath()), Dir.Path() + "d.mp3\r\n" + Dir.Path() + "b.mp3\r\n" +
                                                      Dir.Path() + "c.mp3\r\n" + Dir.Path() + "a.mp3\r\n");
}

TEST_F(FileListTest, ClearingPostsOneSaveRequestPerEntryAndWritesOnce) {
    AddFiles(5);
    Form->SaveFileList();
    ASSERT_FALSE(Dir.ReadFile("wavesmith.lst").empty());
    TSaveRequestCounter requests(Form.get());
    // From the second request on, the list has not changed: a marker in the file must survive.
    requests.BeforeHandling = [&](int n) {
        if (n == 2) Dir.WriteFile("wavesmith.lst", "marker");
    };
    Form->ActionClearListExecute();
    EXPECT_EQ(Form->FileList->Count(), 0);
    EXPECT_TRUE(WaitFor([&] { return requests.Count == 5; }, 5000));
    QCoreApplication::sendPostedEvents(Form.get(), WM_SAVEFILELIST);
    EXPECT_EQ(requests.Count, 5);
    EXPECT_EQ(Dir.ReadFile("wavesmith.lst"), "marker");
    EXPECT_EQ(GlobalVars.FilesTotal, 5); // clearing leaves the totals alone

    requests.BeforeHandling = nullptr;
    Form->SaveListPending = true;
    Form->HandleSaveFileList();
    EXPECT_EQ(Dir.ReadFile("wavesmith.lst"), "");
}

TEST_F(FileListTest, RemoveEntryAndMoveEntryToEndSaveAtOnceAndDropTheOldSection) {
    AddFiles(3);
    const std::string ini = SettingsFilePath();
    Ini::WriteString(ini, "Files", "1", Dir.Path() + "old.mp3");
    Ini::WriteString(ini, "General", "Kept", "yes");
    Form->MoveEntryToEnd(Dir.Path() + "a.mp3");
    EXPECT_EQ(Dir.ReadFile("wavesmith.lst"),
              Dir.Path() + "b.mp3\r\n" + Dir.Path() + "c.mp3\r\n" + Dir.Path() + "a.mp3\r\n");
    EXPECT_TRUE(Ini::ReadSection(ini, "Files").empty());
    EXPECT_EQ(Ini::ReadString(ini, "General", "Kept", ""), "yes");
    Form->RemoveEntry(Dir.Path() + "c.mp3");
    Form->RemoveEntry(Dir.Path() + "none.mp3");
    EXPECT_EQ(RestoredSavedList(SavedListPath()), Dir.Path() + "b.mp3\r\n" + Dir.Path() + "a.mp3\r\n");
    EXPECT_EQ(GlobalVars.FilesTotal, 3); // the batch counts a converted file itself
}

TEST_F(FileListTest, AListThatCannotBeSavedStaysAsItIs) {
    AddFiles(2);
    // The saved list's name is taken by a folder: the rename over it fails for every user.
    const std::string taken = Dir.MakeDir("wavesmith.lst");
    try {
        Form->SaveFileList();
        FAIL() << "no error";
    } catch (const EFCreateError& error) {
        EXPECT_EQ(std::string(error.what()), "Cannot create file " + SavedListPath());
    }
    EXPECT_EQ(Names(), (std::vector<std::string>{"a.mp3", "b.mp3"}));
    EXPECT_TRUE(DirectoryExists(taken));
}
