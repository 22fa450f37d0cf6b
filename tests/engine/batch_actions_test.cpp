// Enabling of the main window's actions and the idle texts, while idle and while decoding.
#include "tests/engine/batchfixture.h"

#include "filelist/filelistview.h"

#include <QAction>
#include <QItemSelectionModel>
#include <QProgressBar>
#include <QPushButton>

namespace {

class BatchActions : public TBatchTest {
protected:
    struct TState {
        bool Decode, Clear, Remove, Cancel, ViewLog;
        QString Working;
    };
    TState Now() {
        Form->ActionListUpdate();
        EXPECT_EQ(Form->btnDecode->isEnabled(), Form->ActionDecode->isEnabled());
        EXPECT_EQ(Form->btnClear->isEnabled(), Form->ActionClearList->isEnabled());
        EXPECT_EQ(Form->btnRemove->isEnabled(), Form->ActionRemove->isEnabled());
        EXPECT_EQ(Form->btnCancel->isEnabled(), Form->ActionCancel->isEnabled());
        return {Form->ActionDecode->isEnabled(),  Form->ActionClearList->isEnabled(),
                Form->ActionRemove->isEnabled(),  Form->ActionCancel->isEnabled(),
                Form->ActionViewLog->isEnabled(), Form->LabelWorking->text()};
    }
};

} // namespace

TEST_F(BatchActions, IdleTextsAndEnablingFollowTheList) {
    GlobalVars.RunLog.clear();
    TState state = Now();
    EXPECT_EQ(state.Working, "No files to decode...");
    EXPECT_FALSE(state.Decode);
    EXPECT_FALSE(state.Clear);
    EXPECT_FALSE(state.Cancel);
    EXPECT_FALSE(state.ViewLog);
    AddSource("a.mp3");
    Form->ProgressBarBatch->setValue(500);
    Form->LabelBatchRemaining->setText("Decoding finished");
    state = Now();
    EXPECT_EQ(state.Working, "One file to decode...");
    EXPECT_TRUE(state.Decode);
    EXPECT_TRUE(state.Clear);
    EXPECT_FALSE(state.Remove);
    EXPECT_EQ(Form->ProgressBarBatch->value(), 0);
    EXPECT_EQ(Form->LabelBatchRemaining->text(), "");
    AddSource("b.mp3");
    AddSource("c.mp3");
    Form->ListViewFiles->selectionModel()->select(Form->FileList->index(1, 0),
                                                  QItemSelectionModel::Select | QItemSelectionModel::Rows);
    GlobalVars.RunLog = {"", "Decoded one file in 0:00:01"};
    state = Now();
    EXPECT_EQ(state.Working, "3 files to decode...");
    EXPECT_TRUE(state.Remove);
    EXPECT_TRUE(state.ViewLog);
}

TEST_F(BatchActions, WhileDecodingOnlyCancelAndRemoveStayUsable) {
    AddSource("a.mp3");
    AddSource("b.mp3");
    Scripts = {Decoder::Preamble() + Decoder::Progress(2) + "hang\n"};
    TState during{};
    Dialogs.Answers = {mrYes}; // "Stop now"
    QTimer::singleShot(0, Form.get(), [&] {
        Form->ListViewFiles->selectionModel()->select(
            Form->FileList->index(1, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
        during = Now();
        Form->ActionCancelExecute();
    });
    Decode();
    EXPECT_FALSE(during.Decode);
    EXPECT_FALSE(during.Clear);
    EXPECT_TRUE(during.Remove);
    EXPECT_TRUE(during.Cancel);
    EXPECT_FALSE(during.ViewLog);
    EXPECT_NE(during.Working, "2 files to decode...");
    ASSERT_TRUE(WaitFor([this] { return !Form->DecoderRunning(); }, 5000));
    const TState after = Now();
    EXPECT_TRUE(after.Decode);
    EXPECT_FALSE(after.Cancel);
    EXPECT_EQ(after.Working, "2 files to decode...");
}
