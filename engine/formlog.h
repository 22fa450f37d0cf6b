#pragma once
// The log viewer: shows the run log's lines in a read-only text box with one OK button.
#include "settings/windowplace.h"

#include <QDialog>

#include <string>
#include <vector>

class QPlainTextEdit;
class QPushButton;
class QWidget;

class TFormLog : public QDialog {
    Q_OBJECT
public:
    explicit TFormLog(QWidget* owner);

    void SetLines(const std::vector<std::string>& lines);
    // Scrolls MemoLog to the last lines that fit whole.
    void ShowSummary();
    // Keeps ButtonOK centred in PanelBottom.
    void PanelBottomResize();

    QWidget* PanelBottom = nullptr;
    QPushButton* ButtonOK = nullptr;
    QPlainTextEdit* MemoLog = nullptr;

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
};
