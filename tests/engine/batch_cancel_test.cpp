// Stopping a batch: "Stop now", "When done", Cancel, closing the window, files added meanwhile.
#include "tests/engine/batchfixture.h"

#include "app/trayicon.h"
#include "filelist/filelistview.h"
#include "settings/paths.h"

#include <QCheckBox>
#include <QItemSelectionModel>

namespace {

class BatchCancel : public TBatchTestAtOnce {
protected:
    // Asks the cancel question with the given answer as soon as the current run has started.
    void CancelOnceRunning(int answer) {
        Dialogs.Answers.push_back(answer);
        QTimer::singleShot(0, Form.get(), [this] {
            ASSERT_TRUE(Form->DecoderRunning());
            Form->ActionCancelExecute();
        });
    }
    // A run that takes a while, so that a question can be asked during it.
    static std::string Slow() { return "sleep:300\n" + Decoder::Good(); }
    // Half-way through its output, as a decoder is when it is stopped.
    static std::string Hanging() {
        return Decoder::Preamble() + Decoder::Progress(4) + "write-part:3:RIFFhalf\nhang\n";
    }
    // Runs `step` once the running hanging decoders (a.mp3's, and b.mp3's beside it) have written
    // part of their output.
    void WhenHalfWritten(std::function<void()> step) {
        QTimer::singleShot(0, Form.get(), [this, step] {
            const auto started = [this](const char* wav) { return !FindPartialOutputs(Music(wav)).empty(); };
            ASSERT_TRUE(WaitFor([&] { return started("a.wav") && (OneAtATime() || started("b.wav")); }));
            step();
        });
    }
};

} // namespace

INSTANTIATE_TEST_SUITE_P(AtOnce, BatchCancel, ::testing::Values(1, 2), DecodersName);

TEST_P(BatchCancel, WhenDoneDuringTheSecondOfFiveEndsAfterIt) {
    for (const char* name : {"a.mp3", "b.mp3", "c.mp3", "d.mp3", "e.mp3"})
        AddSource(name);
    Scripts = {Decoder::Good(), Slow(), Decoder::Good()};
    Form->CheckBoxCloseApp->setChecked(false);
    GlobalVars.PlaySound = true;
    OnNextFile = [this] {
        if (GlobalVars.FilesDecoded == 1) CancelOnceRunning(mrNo);
    };
    Decode();
    const auto questions = Dialogs.CallsOf(TServiceCall::MessageDialog);
    ASSERT_EQ(questions.size(), 1u);
    EXPECT_EQ(questions[0]->Text,
              "Do you want to stop decoding now or stop Decoding when the currently processed file is done?");
    EXPECT_EQ(questions[0]->Caption, "Question");
    EXPECT_EQ(questions[0]->Buttons, mbYes | mbNo | mbCancel);
    EXPECT_EQ(questions[0]->Captions, (TLines{"Stop now", "When done"}));
    EXPECT_EQ(GlobalVars.BatchState, bsFinished);
    // The files running at the request finish: the second, and with two decoders the third.
    const int finished = 1 + GetParam();
    EXPECT_EQ(WithoutTime(GlobalVars.RunLog.back()), "Decoded " + std::to_string(finished) + " files in ");
    const TLines all = {"a.mp3", "b.mp3", "c.mp3", "d.mp3", "e.mp3"};
    EXPECT_EQ(ListedNames(), TLines(all.begin() + finished, all.end()));
    EXPECT_EQ(Dialogs.CallsOf(TServiceCall::PlaySound).size(), 1u);
}

TEST_P(BatchCancel, StopNowLeavesTheEntryFirstUncountedAndAnEmptyLog) {
    const std::string a = AddSource("a.mp3");
    AddSource("b.mp3");
    Dir.WriteFile("Wavesmith.log", "older\r\n");
    Scripts = {Hanging()};
    Dialogs.Answers = {mrYes};
    WhenHalfWritten([this] { Form->ActionCancelExecute(); });
    Decode();
    // The stopped decoder's end comes after the batch has returned: judge what it left behind.
    ASSERT_TRUE(WaitFor([this] { return !Form->DecoderRunning(); }, 5000));
    EXPECT_EQ(GlobalVars.BatchState, bsStopNow);
    EXPECT_EQ(GlobalVars.FilesDecoded + GlobalVars.FilesFailed, 0);
    EXPECT_EQ(ListedNames(), (TLines{"a.mp3", "b.mp3"}));
    EXPECT_TRUE(FileExists(a));
    EXPECT_FALSE(AnyOutputLeft("a.wav"));
    EXPECT_FALSE(AnyOutputLeft("b.wav"));
    EXPECT_TRUE(LogFileExists());
    EXPECT_EQ(LogFile(), "");
    EXPECT_EQ(Form->TrayIcon->ToolTip(), AppTitle);
}

TEST_P(BatchCancel, CancelAfterWhenDoneLetsTheBatchRunToItsEnd) {
    AddSource("a.mp3");
    AddSource("b.mp3");
    AddSource("c.mp3");
    Scripts = {Slow()};
    Dialogs.Answers = {mrNo, mrCancel};
    QTimer::singleShot(0, Form.get(), [this] {
        Form->ActionCancelExecute();
        EXPECT_EQ(GlobalVars.BatchState, bsStopWhenDone);
        Form->ActionCancelExecute();
        EXPECT_EQ(GlobalVars.BatchState, bsRunning);
        EXPECT_FALSE(GlobalVars.StopWhenDone);
    });
    Decode();
    EXPECT_EQ(GlobalVars.FilesDecoded, 3);
    EXPECT_TRUE(ListedNames().empty());
}

TEST_P(BatchCancel, CancelDoesNothingWithoutARunningBatch) {
    Form->ActionCancelExecute();
    EXPECT_TRUE(Dialogs.Calls.empty());
}

TEST_P(BatchCancel, CloseWhileDecodingAsksAndOkAbortsWithoutExitingTwice) {
    Form->show();
    AddSource("a.mp3");
    AddSource("b.mp3");
    Scripts = {Hanging()};
    Dialogs.Answers = {mrCancel, mrOk};
    WhenHalfWritten([this] {
        Form->close(); // refused
        EXPECT_TRUE(Form->isVisible());
        Form->close();
    });
    Decode();
    const auto dialogs = Dialogs.CallsOf(TServiceCall::MessageDialog);
    ASSERT_EQ(dialogs.size(), 2u);
    EXPECT_EQ(dialogs[0]->Text, "Would you want to abort decoding and exit?");
    EXPECT_EQ(dialogs[0]->Caption, "Warning");
    EXPECT_EQ(dialogs[0]->Type, TMsgDlgType::mtWarning);
    EXPECT_EQ(dialogs[0]->Buttons, mbOK | mbCancel);
    EXPECT_FALSE(Form->isVisible());
    // The runners go with the window: the stopped decoders' ends were awaited before the batch returned.
    EXPECT_FALSE(Form->DecoderRunning());
    EXPECT_FALSE(AnyOutputLeft("a.wav"));
    EXPECT_FALSE(AnyOutputLeft("b.wav"));
    EXPECT_EQ(GlobalVars.BatchState, bsStopNow);
    EXPECT_EQ(GlobalVars.FilesDecoded + GlobalVars.FilesFailed, 0);
    EXPECT_EQ(ListedNames(), (TLines{"a.mp3", "b.mp3"}));
}

TEST_P(BatchCancel, WindowClosedBetweenFilesEndsTheWait) {
    if (!OneAtATime()) GTEST_SKIP() << "with two decoders the other file is still running";
    Form->show();
    AddSource("a.mp3");
    AddSource("b.mp3");
    Scripts = {Decoder::Good()};
    OnNextFile = [this] { Form->close(); };
    Decode();
    EXPECT_FALSE(Form->isVisible());
    EXPECT_EQ(GlobalVars.FilesDecoded, 1);
    EXPECT_FALSE(Form->DecoderRunning());
    EXPECT_EQ(ListedNames(), TLines{"b.mp3"});
    EXPECT_EQ(LogFile(), "\r\n"); // the line before the next file; no summary
}

TEST_P(BatchCancel, SortingDuringTheBatchStillProtectsTheEntryBeingDecoded) {
    for (const char* name : {"a.mp3", "b.mp3", "c.mp3"})
        AddSource(name);
    Scripts = {Hanging()};
    Dialogs.Answers = {IDOK, mrYes}; // the "decoding now" box, then "Stop now"
    QTimer::singleShot(0, Form.get(), [this] {
        Form->ListViewFilesColumnClick(0);
        Form->ListViewFilesColumnClick(0); // names descending: the decoding entry moves to the end
        ASSERT_EQ(ListedNames(), (TLines{"c.mp3", "b.mp3", "a.mp3"}));
        Form->ListViewFiles->selectAll();
        Form->ActionRemoveExecute();
        Form->ActionCancelExecute();
    });
    Decode();
    ASSERT_TRUE(WaitFor([this] { return !Form->DecoderRunning(); }, 5000));
    // Every entry being decoded stays; the box names the topmost of them.
    const TLines kept = OneAtATime() ? TLines{"a.mp3"} : TLines{"b.mp3", "a.mp3"};
    const auto boxes = Dialogs.CallsOf(TServiceCall::MessageBox);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0]->Text, kept[0] + " is decoding now!");
    EXPECT_EQ(ListedNames(), kept);
    EXPECT_EQ(GlobalVars.FilesTotal, static_cast<int>(kept.size()));
}

TEST_P(BatchCancel, FilesAddedDuringTheBatchAreDecodedToo) {
    BuildAcceptedTypes();
    AddSource("a.mp3");
    AddSource("b.mp3");
    const std::string late = Dir.WriteFile("late/c.mp3", std::string(500, 'c'));
    // With two decoders the second file waits until the first one's end has added the late file,
    // so the batch cannot complete before it.
    const std::string go = Dir.Path() + "go";
    Scripts = {Decoder::Good(), "wait-file:" + go + "\n" + Decoder::Good()};
    bool added = false;
    OnNextFile = [&] {
        if (!added && GlobalVars.FilesDecoded == 1) {
            added = true;
            Form->AddFile(late);
        }
        Dir.WriteFile("go", "");
    };
    Decode();
    EXPECT_EQ(GlobalVars.FilesTotal, 3);
    EXPECT_EQ(GlobalVars.FilesDecoded, 3);
    EXPECT_EQ(WithoutTime(GlobalVars.RunLog.back()), "Decoded 3 files in ");
    EXPECT_TRUE(FileExists(Dir.Path() + "late/c.wav"));
}

TEST_P(BatchCancel, FileAddedBehindAFailureIsDecodedAndTheFailureNotRetried) {
    BuildAcceptedTypes();
    AddSource("a.mp3");
    AddSource("b.mp3");
    const std::string late = Dir.WriteFile("late/c.mp3", std::string(500, 'c'));
    Scripts = {Decoder::Preamble() + Decoder::Exit(1), Decoder::Good()};
    // With two decoders the second file runs on until the added one is done, so the batch goes on
    // past the failure.
    if (!OneAtATime()) Scripts[1] = "wait-file:" + Dir.Path() + "late/c.wav\n" + Decoder::Good();
    OnNextFile = [&] {
        if (GlobalVars.FilesFailed != 1 || GlobalVars.FilesTotal != 2) return;
        Dir.WriteFile("late/c.mp3.script", Decoder::Good());
        Form->AddFile(late);
    };
    Dialogs.Answers = {IDNO};
    Decode();
    EXPECT_EQ(GlobalVars.FilesDecoded, 2);
    EXPECT_EQ(GlobalVars.FilesFailed, 1);
    EXPECT_TRUE(FileExists(Dir.Path() + "late/c.wav"));
    EXPECT_EQ(ListedNames(), TLines{"a.mp3"});
}

TEST_P(BatchCancel, RemovingAFailedEntryDoesNotEndTheBatchEarly) {
    for (const char* name : {"a.mp3", "b.mp3", "c.mp3", "d.mp3"})
        AddSource(name);
    // With two decoders the second file waits until the failure's end has been handled.
    Scripts = {Decoder::Preamble() + Decoder::Exit(1), "wait-file:" + Dir.Path() + "go\n" + Decoder::Good()};
    bool removed = false;
    OnNextFile = [&] {
        Dir.WriteFile("go", "");
        if (removed || GlobalVars.FilesFailed != 1) return;
        removed = true;
        // The failed entry has moved to the end; the user takes it out of the list.
        const int row = Form->FileList->Count() - 1;
        ASSERT_EQ(Form->FileList->Item(row).FileName, "a.mp3");
        Form->ListViewFiles->selectionModel()->select(
            Form->FileList->index(row, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
        Form->ActionRemoveExecute();
    };
    Dialogs.Answers = {IDNO};
    Decode();
    EXPECT_EQ(GlobalVars.FilesDecoded, 3);
    EXPECT_TRUE(ListedNames().empty());
    EXPECT_TRUE(FileExists(Music("d.wav")));
    EXPECT_EQ(WithoutTime(GlobalVars.RunLog[GlobalVars.RunLog.size() - 2]), "Decoded 3 files in ");
}
