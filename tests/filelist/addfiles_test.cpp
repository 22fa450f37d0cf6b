// Adding files through the main window with real files: the add dialog and its playlists, drops
// of files and folder trees, the start-up load of the saved lists and the clipboard.
#include "app/formmain.h"
#include "filelist/filelistmodel.h"
#include "filelist/filelistview.h"
#include "settings/datetime.h"
#include "settings/errors.h"
#include "settings/globals.h"
#include "settings/ini.h"
#include "settings/paths.h"
#include "tests/support/scriptedservices.h"
#include "tests/support/tempdir.h"

#include <QCoreApplication>
#include <QDropEvent>
#include <QFile>
#include <QMimeData>
#include <QTimer>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <memory>
#include <unistd.h>

namespace {

using Strings = std::vector<std::string>;

class AddFilesTest : public ::testing::Test {
protected:
    void SetUp() override {
        TScriptedServices::Current().Reset();
        GlobalVars.FilesTotal = 0;
        GlobalVars.BytesTotal = 0;
    }
    void TearDown() override { Form.reset(); }

    // The window as start-up leaves it; with runStartup false the posted start-up step is dropped
    // so that a test can run it itself.
    void MakeForm(const std::string& firstArgument = {}, bool runStartup = true) {
        Form = std::make_unique<TFormMain>(firstArgument);
        if (runStartup)
            QCoreApplication::sendPostedEvents(Form.get(), WM_STARTUP);
        else
            QCoreApplication::removePostedEvents(Form.get(), WM_STARTUP);
        Form->ListChanged = false;
    }
    Strings Listed() const { return Form->FileList->FullPaths(); }
    std::string Mp3(const std::string& relative) const { return Data.WriteFile(relative, "ID3"); }
    std::string SavedList() const { return App.ReadFile("wavesmith.lst"); }
    // Drags the names over the widget (the window itself when none is given) and drops them.
    void DropUris(const QByteArray& uriList, QWidget* over = nullptr) {
        QMimeData data;
        data.setData("text/uri-list", uriList);
        // A drop reaches the widget that accepted the drag's entry.
        QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, {});
        QCoreApplication::sendEvent(over ? over : Form.get(), &enter);
        ASSERT_TRUE(enter.isAccepted());
        QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, {});
        QCoreApplication::sendEvent(over ? over : Form.get(), &drop);
    }
    static QByteArray UriOf(const std::string& path) {
        return "file://" + QByteArray::fromStdString(path).toPercentEncoding("/") + "\r\n";
    }

    TScriptedServices& Script = TScriptedServices::Current();
    TTempDir App;  // the executable's folder: settings, saved list
    TTempDir Data; // the user's files
    TExecutableIn Exe{App.Path()};
    std::unique_ptr<TFormMain> Form;
};

TEST_F(AddFilesTest, DialogOpensM3uByThePathRulesAndRemembersTheFolder) {
    const std::string song = Mp3("Lists/song.mp3");
    const std::string up = Mp3("Music/up.mp3");
    const std::string rooted = Mp3("Music/rooted.mp3");
    const std::string nested = Data.WriteFile("Lists/nested.m3u", "song.mp3\n");
    std::string backslashed = rooted;
    std::replace(backslashed.begin(), backslashed.end(), '/', '\\');
    const std::string list = Data.WriteFile("Lists/list.m3u", "#EXTM3U\r\n#EXTINF:1,Song\r\nsong.mp3\r\n"
                                                              "..\\Music\\up.mp3\r\n" +
                                                                  backslashed + "\r\n  " + up +
                                                                  "\r\nnested.m3u\r\n"
                                                                  "missing.mp3\r\nsong.mp3\r\n");
    MakeForm();
    Script.FileChoices.push_back({list});
    Form->ActionAddFilesExecute();

    const std::string lists = Data.Path() + "Lists/";
    const Strings expected{song, lists + "../Music/up.mp3", rooted, nested};
    EXPECT_EQ(Listed(), expected);
    std::string lines;
    for (const auto& name : expected)
        lines += name + "\r\n";
    EXPECT_EQ(SavedList(), lines);
    EXPECT_EQ(Script.CallsOf(TServiceCall::OpenFiles).at(0)->Request.InitialDir, "");
    EXPECT_EQ(Ini::ReadString(SettingsFilePath(), "System", "LastOpenDir", "?"), lists);
    EXPECT_TRUE(Form->ListChanged);
    EXPECT_FALSE(Script.BusyCursorShown);
    EXPECT_GT(Script.BusyCursorChanges, 0);
    EXPECT_EQ(Form->OpenDialog.FileName, list) << "a single choice stays preset";

    // Several names: the box is cleared and the folder of the first name is remembered.
    const std::string a = Mp3("Other/a.mp3");
    const std::string b = Mp3("b.mp3");
    Script.FileChoices.push_back({a, b});
    Form->ActionAddFilesExecute();
    EXPECT_EQ(Script.CallsOf(TServiceCall::OpenFiles).at(1)->Request.InitialDir, lists);
    EXPECT_EQ(Form->OpenDialog.FileName, "");
    EXPECT_EQ(GlobalVars.LastOpenDir, Data.Path() + "Other/");
    EXPECT_EQ(Listed().size(), 6u);

    Form->ListChanged = false;
    Script.FileChoices.push_back({}); // cancelled
    Form->ActionAddFilesExecute();
    EXPECT_TRUE(Form->ListChanged);
    EXPECT_EQ(GlobalVars.LastOpenDir, Data.Path() + "Other/");
}

TEST_F(AddFilesTest, DialogReadsOnlyTheCountedPlsKeys) {
    const std::string one = Mp3("Lists/one.mp3");
    const std::string three = Mp3("Lists/Music/three.mp3");
    Mp3("Lists/four.mp3");
    const std::string list = Data.WriteFile("Lists/list.pls", "[playlist]\nNumberOfEntries=3\nFile1=one.mp3\n"
                                                              "File3=\\Music\\three.mp3\nFile4=four.mp3\n");
    MakeForm();
    Script.FileChoices.push_back({list});
    Form->ActionAddFilesExecute();
    EXPECT_EQ(Listed(), (Strings{one, three}));
}

TEST_F(AddFilesTest, MissingTypedM3uIsReportedAndKeepsWhatCameBefore) {
    const std::string before = Mp3("before.mp3");
    const std::string after = Mp3("after.mp3");
    MakeForm();
    GlobalVars.LastOpenDir = "/previous/";
    Script.FileChoices.push_back({before, Data.Path() + "typed.m3u", after});
    try {
        Form->ActionAddFilesExecute();
        FAIL() << "no error for a missing playlist";
    } catch (const EInOutError& error) {
        EXPECT_STREQ(error.what(), "File not found");
    }
    EXPECT_EQ(Listed(), Strings{before});
    EXPECT_FALSE(Script.BusyCursorShown);
    EXPECT_EQ(BusyCursorDepth(), 0);
    EXPECT_TRUE(Form->ListChanged);
    EXPECT_EQ(GlobalVars.LastOpenDir, "/previous/");
    EXPECT_TRUE(Form->ListViewFiles->updatesEnabled());
}

TEST_F(AddFilesTest, DropAddsWholeTreesHiddenFilesAndPlaylistsAsEntries) {
    // Made out of order; listed depth first, each folder by name without regard to case, and
    // case folded to capitals (so "_" comes after the letters).
    const std::string under = Mp3("tree/_under.mp3"), top = Mp3("tree/top.MP3");
    const std::string pls = Data.WriteFile("tree/a/list.PLS", ""),
                      m3u = Data.WriteFile("tree/a/list.m3u", "x.mp3\n");
    const std::string leaf = Mp3("tree/a/b/c/d/leaf.mp3"), hidden = Mp3("tree/.hidden.mp3");
    const Strings inTree{Mp3("tree/.hid/deep.mp3"), hidden, leaf, m3u, pls, top, under};
    Data.WriteFile("tree/readme.txt", "");
    Data.WriteFile("tree/a/song.wav", "");
    ASSERT_EQ(::symlink("../..", (Data.Path() + "tree/a/b/loop").c_str()), 0); // back to tree/
    ASSERT_EQ(::symlink("missing", (Data.Path() + "tree/dangling.mp3").c_str()), 0);
    // A name that is not valid text and one far past 255 bytes come through whole.
    const std::string odd = Data.Path() + "odd\xFF.mp3";
    const int fd = ::open(odd.c_str(), O_CREAT | O_WRONLY, 0644);
    ASSERT_GE(fd, 0);
    ::close(fd);
    std::string longFolder;
    for (int i = 0; i < 6; ++i)
        longFolder += std::string(60, char('k' + i)) + "/";
    const std::string longName = Mp3(longFolder + std::string(200, 'n') + ".mp3");
    MakeForm();

    // Dropped on the list, the names go on to the window.
    DropUris(UriOf(Data.Path() + "tree") + UriOf(odd) + UriOf(longName) + "http://example.invalid/x.mp3\r\n",
             Form->ListViewFiles->viewport());

    Strings expected = inTree;
    expected.push_back(odd); // dropped names in the drop's order
    expected.push_back(longName);
    const Strings listed = Listed();
    EXPECT_EQ(listed, expected);
    std::string lines;
    for (const auto& name : listed)
        lines += name + "\r\n";
    EXPECT_EQ(SavedList(), lines);
    EXPECT_FALSE(Script.BusyCursorShown);
    EXPECT_TRUE(Form->ListViewFiles->updatesEnabled());
}

TEST_F(AddFilesTest, DropOfAFolderWithoutMp3StillSavesTheList) {
    Data.WriteFile("empty/notes.txt", "");
    App.WriteFile("wavesmith.lst", "/stale/entry.mp3\r\n");
    MakeForm();
    Form->FileList->Clear();
    DropUris(UriOf(Data.MakeDir("empty")));
    EXPECT_TRUE(Listed().empty());
    EXPECT_EQ(SavedList(), "");
    EXPECT_TRUE(Script.Calls.empty()) << "nothing is reported";
}

TEST_F(AddFilesTest, StartupListsBothSavedListsOnceAndTheNextSaveDropsTheOldSection) {
    const std::string a = Mp3("a.mp3"), b = Mp3("b.mp3"), c = Mp3("c.mp3"), d = Mp3("d.mp3");
    const std::string latin = Mp3("caf\xE9.mp3"); // a name that is not valid text
    App.WriteFile("wavesmith.ini",
                  "[Files]\n1=" + a + "\n2=" + b + "\n3=\n4=" + d + "\n[System]\nLastOpenDir=\n");
    App.WriteFile("wavesmith.lst", b + "\r\n" + Data.Path() + "gone.mp3\r" + c + "\n" + latin + "\r\n");
    // A save cut short between write and rename left its temporary; the other names are not its.
    const std::string left = App.WriteFile(".wavesmith.lst.4711.tmp", a + "\r\n");
    const std::string kept = App.WriteFile(".wavesmith.lst.bak.tmp", "");
    MakeForm();
    // Three keys hold a value, so keys 1 to 3 are read: key 4 is not.
    EXPECT_EQ(Listed(), (Strings{a, b, c, latin}));
    EXPECT_FALSE(Form->ShowSortArrows);
    EXPECT_TRUE(Script.CallsOf(TServiceCall::Clipboard).empty());
    EXPECT_FALSE(FileExists(left));
    EXPECT_TRUE(FileExists(kept));
    // The entry's size and date come from the file itself, as for any other name.
    const TFileItem& entry = Form->FileList->Item(3);
    EXPECT_EQ(entry.Size, 3);
    EXPECT_NEAR(entry.Date, Now(), 1.0 / 1440); // within a minute
    EXPECT_EQ(Form->FileList->data(Form->FileList->index(3, 2), Qt::DisplayRole).toString(), "3");

    Form->SaveFileList();
    EXPECT_TRUE(Ini::ReadSection(SettingsFilePath(), "Files").empty());
    EXPECT_EQ(SavedList(), a + "\r\n" + b + "\r\n" + c + "\r\n" + latin + "\r\n");
}

TEST_F(AddFilesTest, CommandLineNamesFollowTheSavedListScanFoldersAndOpenPlaylists) {
    const std::string saved = Mp3("saved.mp3"), single = Mp3("single.mp3"), listed = Mp3("listed.mp3");
    const std::string deep = Mp3("tree/a/deep.mp3");
    const std::string playlist = Data.WriteFile("b c.m3u", "listed.mp3\n");
    App.WriteFile("wavesmith.lst", saved + "\r\n");
    MakeForm({}, false);
    Form->StartupPaths = {single, playlist, Data.Path() + "tree/", Data.Path() + "missing.m3u"};
    Form->HandleStartup();
    EXPECT_EQ(Listed(), (Strings{saved, single, listed, deep}));
    EXPECT_EQ(SavedList(), saved + "\r\n" + single + "\r\n" + listed + "\r\n" + deep + "\r\n");
    EXPECT_TRUE(Script.Calls.empty()) << "a missing playlist is dropped without a word";
}

TEST_F(AddFilesTest, LowerCaseDashCTakesTheClipboardWithoutDecoding) {
    const std::string a = Mp3("a.mp3"), b = Mp3("b.mp3"), c = Mp3("c.mp3");
    App.WriteFile("wavesmith.lst", c + "\r\n");
    Script.ClipboardContent = a + "\r\n\r\n" + b + "\rnot a file\n" + std::string(100000, 'z') + "\n";
    MakeForm("-c");
    EXPECT_EQ(Listed(), (Strings{a, b}));
    EXPECT_TRUE(Script.CallsOf(TServiceCall::MessageBox).empty()) << "-c does not start decoding";
}

TEST_F(AddFilesTest, DashCTakesTheClipboardAndStartsDecoding) {
    const std::string a = Mp3("a.mp3");
    App.WriteFile("wavesmith.lst", Mp3("older.mp3") + "\r\n");
    Script.ClipboardContent = a + "\n";
    MakeForm("-C"); // no decoder beside this executable: the batch stops at its first check
    EXPECT_EQ(Listed(), Strings{a});
    EXPECT_EQ(SavedList(), a + "\r\n") << "saved before any file is decoded";
    const auto boxes = Script.CallsOf(TServiceCall::MessageBox);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0]->Text, "The file \"" + App.Path() + "utils.exe\" couldn't be found.");

    // With a decoder, the list is saved before it runs: seen while the decoder waits.
    Form.reset();
    const std::string b = Mp3("b.mp3");
    Script.ClipboardContent = b + "\n";
    ASSERT_TRUE(QFile::copy(QString::fromStdString(BinaryPath("childtool")),
                            QString::fromStdString(App.Path() + "utils.exe")));
    App.WriteFile("utils.exe.script", "wait-file:" + App.Path() + "go\n");
    Script.Answers = {IDNO}; // the decoder wrote nothing: the log is not wanted
    std::string savedWhileDecoding;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (!Form || GlobalVars.BatchState != bsRunning || !savedWhileDecoding.empty()) return;
        savedWhileDecoding = SavedList();
        App.WriteFile("go", "");
    });
    poll.start(5);
    MakeForm("-C");
    EXPECT_EQ(savedWhileDecoding, b + "\r\n");
}

TEST_F(AddFilesTest, DashCWithNothingUsableStartsNothing) {
    // Binary junk, then 10 MB of lines that name nothing.
    const char junk[] = "\x01\x02 junk\0/x.mp3\r\n";
    Script.ClipboardContent.assign(junk, sizeof junk - 1);
    while (Script.ClipboardContent.size() < 10'000'000)
        Script.ClipboardContent += "/no/such/folder/" + std::string(80, 'q') + ".mp3\r\n";
    App.WriteFile("wavesmith.lst", Mp3("older.mp3") + "\r\n");
    MakeForm("-C");
    EXPECT_TRUE(Listed().empty());
    EXPECT_EQ(SavedList(), Mp3("older.mp3") + "\r\n") << "an empty import replaces nothing yet";
    EXPECT_TRUE(Script.CallsOf(TServiceCall::MessageBox).empty());
}

TEST_F(AddFilesTest, LockedClipboardStopsTheStartupStep) {
    App.WriteFile("wavesmith.lst", Mp3("a.mp3") + "\r\n");
    Script.ClipboardLocked = true;
    MakeForm("-C", false);
    try {
        Form->HandleStartup();
        FAIL() << "no error for a locked clipboard";
    } catch (const EWavesmithError& error) {
        EXPECT_STREQ(error.what(), "Cannot open clipboard");
    }
    EXPECT_TRUE(Listed().empty());
    EXPECT_TRUE(Script.CallsOf(TServiceCall::MessageBox).empty());
    EXPECT_TRUE(Form->ListViewFiles->updatesEnabled());
}

} // namespace
