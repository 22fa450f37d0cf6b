// What the user can do while a batch runs: the stop question, closing the window, the enabling of
// the main window's actions, and the log viewer.
#include "app/formmain.h"
#include "filelist/filelistmodel.h"
#include "filelist/filelistview.h"
#include "settings/globals.h"

#include <QAction>
#include <QItemSelectionModel>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

void TFormMain::ActionCancelExecute() {
    auto& g = GlobalVars;
    if (!BatchRunning()) return;
    const int answer = ShowMessageDialog(
        "Do you want to stop decoding now or stop Decoding when the currently processed file is done?",
        "Question", TMsgDlgType::mtConfirmation, mbYes | mbNo | mbCancel, {"Stop now", "When done"});
    // The batch may have ended while the question was open.
    if (g.BatchState != bsFinished)
        g.BatchState = answer == mrYes ? bsStopNow : answer == mrNo ? bsStopWhenDone : bsRunning;
    g.StopWhenDone = answer == mrNo;
    // A request taken back while a slot stands idle: the waiting entries start again.
    if (g.BatchState == bsRunning && FreeRun() && AnyEntryLeftToTry()) PostMessage(WM_NEXTFILE);
}

void TFormMain::FormCloseQuery(bool& canClose) {
    canClose = true;
    // Only a decoder still working on a file is worth the question: one whose end is being handled
    // (its file done, its runner not yet closed) has nothing left to abort.
    if (!AnyRunBusy()) return;
    const int answer = ShowMessageDialog("Would you want to abort decoding and exit?", "Warning",
                                         TMsgDlgType::mtWarning, mbOK | mbCancel);
    if (answer != mrOk) {
        canClose = false;
        return;
    }
    // Marked closing before anything else can pump events: no further file may start now.
    Closing = true;
    GlobalVars.BatchState = bsStopNow;
    for (const TDecoderRun& run : Runs)
        if (TRedirector* runner = RunnerOf(run); runner && runner->Active()) runner->Terminate(0);
}

void TFormMain::ActionListUpdate() {
    const bool active = DecoderRunning();
    const int count = FileList->Count();
    const auto follow = [](QAction* action, QPushButton* button, bool enabled) {
        if (action) action->setEnabled(enabled);
        if (button) button->setEnabled(enabled);
    };
    follow(ActionClearList, btnClear, count > 0 && !active);
    follow(ActionDecode, btnDecode, count > 0 && !active);
    const QItemSelectionModel* selection = ListViewFiles ? ListViewFiles->selectionModel() : nullptr;
    follow(ActionRemove, btnRemove, selection && selection->hasSelection());
    follow(ActionCancel, btnCancel, active);
    follow(ActionViewLog, nullptr, !GlobalVars.RunLog.empty() && !active);
    // The end of a batch stays readable for a tick, not wiped by the command that ran it.
    if (active || BatchEndHeld) return;
    if (count == 0)
        LabelWorking->setText(QStringLiteral("No files to decode..."));
    else if (count == 1)
        LabelWorking->setText(QStringLiteral("One file to decode..."));
    else
        LabelWorking->setText(QStringLiteral("%1 files to decode...").arg(count));
    LabelBatchRemaining->clear();
    ProgressBarBatch->setValue(0);
}

void TFormMain::Timer1Timer() {
    BatchEndHeld = false;
    ActionListUpdate();
}

void TFormMain::ActionViewLogExecute() {
    if (GlobalVars.RunLog.empty() || DecoderRunning()) return;
    ShowLogViewer();
}
