// The saved list's journal: its records read back as written, a torn or damaged record ends it, a
// journal of an older list file is ignored; and a window killed at random moments of a long run of
// saves always restores exactly the list of its last saves.
#include "app/formmain.h"
#include "filelist/filelistmodel.h"
#include "filelist/filelistview.h"
#include "filelist/listjournal.h"
#include "filelist/savedlist.h"
#include "settings/filesystem.h"
#include "settings/paths.h"
#include "tests/support/tempdir.h"

#include <QCoreApplication>
#include <QItemSelectionModel>
#include <QProcess>
#include <QProcessEnvironment>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <random>
#include <thread>

namespace {

using Strings = std::vector<std::string>;
using TKind = TListChange::TKind;

const char* const ChildVariable = "WAVESMITH_JOURNAL_CHILD";

// The list as a start restores it from the saved list and its journal.
Strings Restored(const std::string& folder) {
    TExecutableIn exe(folder);
    TFormMain form;
    QCoreApplication::removePostedEvents(&form, WM_STARTUP);
    form.LoadFileList();
    return form.FileList->FullPaths();
}

// What the child does to the list, step by step, each step saved: a decoded file's entry leaves
// the top, every fifth step a failed one goes from the top to the bottom.
void ApplyStep(Strings& list, int step) {
    const std::string top = list.front();
    list.erase(list.begin());
    if (step % 5 == 0) list.push_back(top);
}

// A step number the child reported; the test framework's own lines are passed over.
void Take(const QByteArray& line, int& reported) {
    bool number = false;
    const int step = line.trimmed().toInt(&number);
    if (number) reported = step;
}

} // namespace

TEST(SavedListJournal, ReadsBackItsRecordsUntilATornOrDamagedOneAndOnlyForItsOwnList) {
    TTempDir dir;
    const std::string list = dir.Path() + "w.lst";
    WriteLinesFile(list, Strings{"/m/a.mp3", "/m/b.mp3"});
    TListJournal journal(list);
    ASSERT_TRUE(journal.Restart());
    const std::vector<TListChange> changes = {{TKind::Removed, "/m/a.mp3", {}},
                                              {TKind::Added, "/m/c d.mp3", {}},
                                              {TKind::Moved, "/m/b.mp3", "/m/c d.mp3"},
                                              {TKind::Moved, "/m/c d.mp3", {}}};
    ASSERT_TRUE(journal.Append({changes[0], changes[1]}));
    ASSERT_TRUE(journal.Append({changes[2], changes[3]}));
    EXPECT_EQ(ReadListJournal(list), changes);

    const std::string path = ListJournalPath(list);
    const std::string whole = dir.ReadFile("w.lst-journal");
    // Torn anywhere inside the last record: the records before it stay.
    for (size_t cut = 1; cut < 8 + 1 + changes[3].Path.size(); ++cut) {
        ASSERT_EQ(::truncate(path.c_str(), static_cast<off_t>(whole.size() - cut)), 0);
        EXPECT_EQ(ReadListJournal(list), std::vector<TListChange>(changes.begin(), changes.begin() + 3))
            << cut;
    }
    // One byte changed in the second record: it and everything after it are dropped.
    std::string damaged = whole;
    damaged[TListJournal::HeaderSize + 8 + 1 + changes[0].Path.size() + 8 + 3] ^= 0x20;
    dir.WriteFile("w.lst-journal", damaged);
    EXPECT_EQ(ReadListJournal(list), std::vector<TListChange>(changes.begin(), changes.begin() + 1));

    // Once the list is written whole again, the journal left beside it belongs to the old one.
    dir.WriteFile("w.lst-journal", whole);
    WriteLinesFile(list, Strings{"/m/b.mp3"});
    EXPECT_TRUE(ReadListJournal(list).empty());
    ASSERT_TRUE(journal.Restart());
    EXPECT_TRUE(ReadListJournal(list).empty());
}

TEST(SavedListJournal, WindowSavesChangesIntoTheJournalAndAStartFoldsThemIn) {
    TTempDir dir;
    Strings files;
    for (const char* name : {"a.mp3", "b.mp3", "c.mp3", "d.mp3"})
        files.push_back(dir.WriteFile(name, "x"));
    {
        TExecutableIn exe(dir.Path());
        TFormMain form;
        QCoreApplication::removePostedEvents(&form, WM_STARTUP);
        for (const std::string& file : files)
            form.AddFile(file);
        form.SaveFileList(); // whole: the journal starts after it
        const std::string written = dir.ReadFile("wavesmith.lst");
        form.RemoveEntry(files[0]);
        form.MoveEntryToEnd(files[1]);
        form.FileList->Move(1, 0); // d in front of c
        form.SaveFileList();
        EXPECT_EQ(dir.ReadFile("wavesmith.lst"), written) << "a change is journaled, not written whole";
        EXPECT_EQ(ReadListJournal(SavedListPath()).size(), 3u);
    }
    EXPECT_EQ(Restored(dir.Path()), (Strings{files[3], files[2], files[1]}));
    // The start wrote the list whole: the journal it read is spent.
    EXPECT_EQ(dir.ReadFile("wavesmith.lst"), files[3] + "\r\n" + files[2] + "\r\n" + files[1] + "\r\n");
    TExecutableIn exe(dir.Path());
    EXPECT_TRUE(ReadListJournal(SavedListPath()).empty());
}

// What the user does between two starts, each saved as the window saves it: selected rows removed
// (a few runs, and more runs than are removed one by one), and the list sorted by a column header.
TEST(SavedListJournal, RemovedSelectionsAndSortsAreWhatTheNextStartRestores) {
    TTempDir dir;
    Strings files;
    for (int i = 0; i < 40; ++i) // in an order that no sort keeps
        files.push_back(dir.WriteFile("f" + std::to_string((i * 17) % 40 + 10) + ".mp3", "x"));
    WriteLinesFile(dir.Path() + "wavesmith.lst", files);
    using TStep = std::function<void(TFormMain&)>;
    const auto removeSelected = [](std::vector<int> rows) {
        return [rows](TFormMain& form) {
            QItemSelectionModel* selection = form.ListViewFiles->selectionModel();
            selection->clear();
            for (const int row : rows)
                selection->select(form.FileList->index(row, 0),
                                  QItemSelectionModel::Select | QItemSelectionModel::Rows);
            form.ActionRemoveExecute();
        };
    };
    std::vector<int> everyOther;
    for (int row = 0; row < 34; row += 2)
        everyOther.push_back(row);
    const std::pair<const char*, TStep> steps[] = {
        {"a few runs", removeSelected({1, 2, 3, 7, 10})},
        {"sorted by name",
         [](TFormMain& form) { form.ListViewFilesColumnClick(TFileListModel::colFileName); }},
        {"sorted back", [](TFormMain& form) { form.ListViewFilesColumnClick(TFileListModel::colFileName); }},
        {"many runs", removeSelected(everyOther)},
        {"sorted, then removed",
         [&](TFormMain& form) {
             form.ListViewFilesColumnClick(TFileListModel::colFileName);
             removeSelected({0, 5})(form);
         }},
    };
    Strings expected = files;
    expected.erase(expected.begin() + 10);
    expected.erase(expected.begin() + 7);
    expected.erase(expected.begin() + 1, expected.begin() + 4);
    for (const auto& [name, step] : steps) {
        Strings shown;
        {
            TExecutableIn exe(dir.Path());
            TFormMain form;
            QCoreApplication::removePostedEvents(&form, WM_STARTUP);
            form.LoadFileList();
            form.SaveFileList(); // whole, as after the first change of a run: the journal starts after it
            step(form);
            QCoreApplication::sendPostedEvents(&form, WM_SAVEFILELIST);
            shown = form.FileList->FullPaths();
        }
        if (!expected.empty()) {
            EXPECT_EQ(shown, expected) << name;
            expected.clear();
        }
        EXPECT_EQ(Restored(dir.Path()), shown) << name;
    }
}

// The child's side of the next test: one step after another on the saved list of the folder it is
// given, reporting each step once it is saved, the journal folded into the list every 40 steps.
TEST(SavedListJournal, ChildStepsThroughTheList) {
    const QByteArray folder = qgetenv(ChildVariable);
    if (folder.isEmpty()) GTEST_SKIP() << "runs as the child of KilledAtRandomMoments";
    TExecutableIn exe(folder.toStdString());
    TFormMain form;
    QCoreApplication::removePostedEvents(&form, WM_STARTUP);
    form.LoadFileList();
    for (int step = 1; form.FileList->Count() > 0; ++step) {
        const std::string top = form.FileList->Item(0).FullPath();
        if (step % 5 == 0)
            form.MoveEntryToEnd(top);
        else
            form.RemoveEntry(top);
        if (step % 40 == 0) form.FoldSavedList();
        const std::string line = std::to_string(step) + "\n";
        ASSERT_EQ(::write(1, line.data(), line.size()), static_cast<ssize_t>(line.size()));
    }
}

TEST(SavedListJournal, KilledAtRandomMomentsTheRestoredListIsThatOfItsLastSave) {
    TTempDir dir;
    Strings expected;
    for (int i = 0; i < 3000; ++i)
        expected.push_back(
            dir.WriteFile("album" + std::to_string(i / 100) + "/track " + std::to_string(i) + ".mp3", ""));
    WriteLinesFile(dir.Path() + "wavesmith.lst", expected);

    std::mt19937 random(20261207);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(ChildVariable, QString::fromStdString(dir.Path()));
    int rounds = 0;
    for (; rounds < 30 && expected.size() > 1; ++rounds) {
        QProcess child;
        child.setProcessEnvironment(environment);
        child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        child.start(QString::fromStdString(RunningProgramPath()),
                    {QStringLiteral("--gtest_filter=SavedListJournal.ChildStepsThroughTheList")});
        ASSERT_TRUE(child.waitForStarted(20000));
        // Killed after a random number of saves (none: while it loads and folds the journal in),
        // a random moment after the last one it reported.
        const int killAfter = std::uniform_int_distribution<int>(0, 150)(random);
        int reported = 0;
        while (reported < killAfter && child.state() == QProcess::Running) {
            if (!child.canReadLine()) {
                ASSERT_TRUE(child.waitForReadyRead(20000)) << "round " << rounds;
                continue;
            }
            Take(child.readLine(), reported);
        }
        std::this_thread::sleep_for(
            std::chrono::microseconds(std::uniform_int_distribution<int>(0, 3000)(random)));
        child.kill();
        ASSERT_TRUE(child.waitForFinished(20000));
        for (const QByteArray& line : child.readAllStandardOutput().split('\n'))
            Take(line, reported);

        // Every reported step is on the disk; the step under way when the kill came may be too.
        Strings atReported = expected;
        for (int step = 1; step <= reported && !atReported.empty(); ++step)
            ApplyStep(atReported, step);
        Strings oneMore = atReported;
        if (!oneMore.empty()) ApplyStep(oneMore, reported + 1);
        const Strings restored = Restored(dir.Path());
        ASSERT_TRUE(restored == atReported || restored == oneMore)
            << "round " << rounds << ", " << reported << " steps reported, " << restored.size()
            << " entries restored, " << atReported.size() << " expected";
        expected = restored;
    }
    EXPECT_EQ(rounds, 30);
}
