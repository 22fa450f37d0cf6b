// Following the decoder's text in the main window: working line, percentages, gauge, tray tip,
// the 101-line refresh of the remaining time, and stopping on a bitstream problem.
#include "app/formmain.h"
#include "app/trayicon.h"
#include "settings/globals.h"
#include "tests/support/tempdir.h"

#include <QAccessible>
#include <QLabel>
#include <QProgressBar>

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace {

class ProgressDisplay : public ::testing::Test {
protected:
    TTempDir Dir;
    TExecutableIn Exe{Dir.Path()};
    std::unique_ptr<TFormMain> Form;

    void SetUp() override {
        Form = std::make_unique<TFormMain>();
        auto& g = GlobalVars;
        // The first file of a three-file batch of 1000 bytes each has started.
        g.BatchState = bsRunning;
        g.FilesTotal = 3;
        g.FilesDecoded = 0;
        g.FilesFailed = 0;
        g.BytesTotal = 3000;
        g.BytesFinished = 0;
        g.BytesDone = 0;
        g.CurrentFileName = "a.mp3";
        TDecoderRun& run = Form->Runs[0];
        run.Busy = true;
        run.Source = Dir.Path() + "a.mp3";
        run.FileName = "a.mp3";
        run.Size = 1000;
        g.BatchStart = Now() - 10.0 / 86400; // ten seconds ago
        Form->ListChanged = false;
    }
    void TearDown() override {
        Form.reset();
        GlobalVars.BatchState = bsIdle;
    }

    void Feed(const std::string& text) {
        Form->HandleDecoderOutput(Form->Redirector.get(), text.data(), static_cast<int32_t>(text.size()));
    }
    static std::string Line(int current, int total) {
        char text[64];
        // Each line ends here: the decoder's next rewrite would end it with its CR.
        std::snprintf(text, sizeof text, "\rFrame#%6d/%-6d 128 kbps\r", current, total);
        return text;
    }
};

} // namespace

TEST_F(ProgressDisplay, InputLineShowsWorkingTextAndOutputLineNothing) {
    Form->LabelWorking->setText("before");
    Feed("output: a.wav  (16 bit, Microsoft WAVE)\n");
    EXPECT_EQ(Form->LabelWorking->text(), "before");
    Feed("input:  a.mp3  (44.1 kHz, 2 channels, MPEG-1 Layer III)\n");
    EXPECT_EQ(Form->LabelWorking->text(), "Working on file 1 of 3: \"a.mp3\"");
    EXPECT_FALSE(GlobalVars.ProgressPhase);

    // A name that is not UTF-8 reads as its Latin-1 letters, on the screen and to a screen reader.
    GlobalVars.CurrentFileName = "caf\xE9.mp3";
    Feed("input:  caf\xE9.mp3  (44.1 kHz, 2 channels, MPEG-1 Layer III)\n");
    const QString shown = QString::fromUtf8("Working on file 1 of 3: \"café.mp3\"");
    EXPECT_EQ(Form->LabelWorking->text(), shown);
    EXPECT_EQ(QAccessible::queryAccessibleInterface(Form->LabelWorking)->text(QAccessible::Name), shown);
}

TEST_F(ProgressDisplay, HeaderOnlySwitchesThenLinesDriveEverything) {
    Form->Runs[0].FilePercent = 7;
    Feed(Line(500, 1000)); // the header: its numbers are not read
    EXPECT_TRUE(GlobalVars.ProgressPhase);
    EXPECT_EQ(GlobalVars.FilePercent, 7);
    Feed(Line(750, 1000));
    EXPECT_EQ(GlobalVars.FilePercent, 75);
    EXPECT_EQ(GlobalVars.BytesDone, 750);
    EXPECT_EQ(GlobalVars.BatchPercent, 25);
    EXPECT_EQ(Form->LabelBatch->text(), "25%");
    EXPECT_EQ(Form->ProgressBarBatch->value(), 250);
    EXPECT_EQ(Form->TrayIcon->ToolTip(), "Current file:a.mp3, Percent: 25%");
    Form->TrayIcon->SetToolTip("another writer");
    Feed(Line(750, 1000));
    EXPECT_EQ(Form->TrayIcon->ToolTip(), "Current file:a.mp3, Percent: 25%");
    // The bracket form reads the same; a spoilt total keeps the last value.
    Feed("\rFrame#   900 [1000] 128 kbps\r");
    EXPECT_EQ(GlobalVars.FilePercent, 90);
    Feed("\rFrame#   950/1000 128kbps\r");
    EXPECT_EQ(GlobalVars.FilePercent, 90);
    Feed(Line(1000, 1000));
    EXPECT_EQ(GlobalVars.FilePercent, 100);
    EXPECT_EQ(Form->LabelBatch->text(), "33%");
    EXPECT_EQ(Form->ProgressBarBatch->value(), 330);
}

TEST_F(ProgressDisplay, SeveralRewritesInOnePieceAndALineSplitAcrossPieces) {
    Feed(Line(0, 200) + Line(20, 200) + Line(40, 200));
    EXPECT_EQ(GlobalVars.FilePercent, 20);
    const std::string line = Line(100, 200);
    Feed(line.substr(0, 12));
    EXPECT_EQ(GlobalVars.FilePercent, 20); // not read yet: the line is unfinished
    Feed(line.substr(12));
    EXPECT_EQ(GlobalVars.FilePercent, 50);
}

TEST_F(ProgressDisplay, RemainingTimeRefreshesEvery101Lines) {
    Form->RemainingRefreshCount = 0;
    Feed(Line(0, 1000));
    Form->LabelBatchRemaining->setText("unchanged");
    for (int i = 1; i <= 101; ++i)
        Feed(Line(500 + i, 1000));
    EXPECT_EQ(Form->LabelBatchRemaining->text(), "unchanged");
    Feed(Line(602, 1000)); // the 102nd line since the window opened
    EXPECT_NE(Form->LabelBatchRemaining->text(), "unchanged");
    EXPECT_TRUE(Form->LabelBatchRemaining->text().contains(':'));
    Form->LabelBatchRemaining->setText("unchanged");
    for (int i = 103; i <= 202; ++i)
        Feed(Line(500 + i, 1000));
    EXPECT_EQ(Form->LabelBatchRemaining->text(), "unchanged");
    Feed(Line(703, 1000)); // 101 lines after the refresh
    EXPECT_NE(Form->LabelBatchRemaining->text(), "unchanged");
}

TEST_F(ProgressDisplay, LinesWithoutBytesDoNotCountTowardsTheRefresh) {
    Form->RemainingRefreshCount = 0;
    Feed(Line(0, 1000));
    for (int i = 0; i < 300; ++i)
        Feed(Line(0, 1000)); // percent 0: nothing done yet
    EXPECT_EQ(Form->RemainingRefreshCount, 0);
}

TEST_F(ProgressDisplay, AddedFilesShowInTheWorkingLineAtTheNextProgressLine) {
    Feed(Line(0, 100));
    Form->LabelWorking->setText("Working on file 1 of 3: \"a.mp3\"");
    GlobalVars.FilesTotal = 5;
    Form->ListChanged = true;
    Feed(Line(10, 100));
    EXPECT_EQ(Form->LabelWorking->text(), "Working on file 1 of 5: \"a.mp3\"");
    EXPECT_FALSE(Form->ListChanged);
}

TEST_F(ProgressDisplay, EmptyFilesTakeTheBatchPercentFromTheFileCounts) {
    GlobalVars.BytesTotal = 0;
    Form->Runs[0].Size = 0;
    GlobalVars.FilesTotal = 4;
    GlobalVars.FilesDecoded = 2;
    Feed(Line(0, 10) + Line(5, 10));
    EXPECT_EQ(GlobalVars.BatchPercent, 50);
    EXPECT_EQ(Form->LabelBatch->text(), "50%");
}

TEST_F(ProgressDisplay, BitstreamProblemMarksTheFileBeforeAndAfterTheHeader) {
    Feed("bitstream problem: bad header\n");
    EXPECT_TRUE(GlobalVars.FileFailed);
    EXPECT_FALSE(GlobalVars.ProgressPhase);
    Form->Runs[0].FileFailed = false;
    Feed(Line(0, 100) + Line(50, 100) + "\rbitstream problem: lost sync\n");
    EXPECT_TRUE(GlobalVars.FileFailed);
    EXPECT_EQ(GlobalVars.FilePercent, 50);
}

TEST_F(ProgressDisplay, ZeroByteCutsThePiece) {
    Feed(Line(0, 100));
    const std::string piece = Line(10, 100) + std::string(1, '\0') + Line(90, 100);
    Feed(piece);
    EXPECT_EQ(GlobalVars.FilePercent, 10);
}
