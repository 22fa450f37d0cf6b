#pragma once
// The program's services on Qt: message boxes and dialogs on QMessageBox, Qt's own file dialog and
// folder browser, the clipboard, the desktop's URL handler, the completion sound and the cursor.
#include "settings/services.h"

#include <QMessageBox>
#include <QPointer>
#include <QStringList>

class QWidget;

// A message box whose Esc key and close button give a fixed result (0: they do nothing).
class TMessageDialog : public QMessageBox {
public:
    explicit TMessageDialog(QWidget* parent = nullptr) : QMessageBox(parent) {}
    int EscapeResult = mrCancel;
    // The modal result of the button that closed the dialog, or EscapeResult.
    int Result() const;
    // Each showing opens centred over this window, wholly on its screen.
    QPointer<const QWidget> CentreOver;

protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    bool Escaped = false;
};

// Builds (without showing) the message dialog: the type's icon, the text, and one push button per
// member of the set in the fixed order Yes, No, OK, Cancel, Abort, Retry, Ignore, All, No to All,
// Yes to All, Help; the n-th button takes captions[n] when that is not empty.
TMessageDialog* BuildMessageDialog(const std::string& text, const std::string& caption, TMsgDlgType type,
                                   TMsgDlgButtons buttons, const std::vector<std::string>& captions,
                                   QWidget* parent = nullptr);
// Builds the message box for MB_xxx flags (buttons in the low four bits, icon in the next four).
TMessageDialog* BuildMessageBox(const std::string& text, const std::string& caption, unsigned flags,
                                QWidget* parent = nullptr);

// "Desc|pat;pat|Desc|pat" as the open-file dialog is given it -> Qt's "Desc (pat pat)" filters.
// "*.*" means every file, as it does on Windows.
QStringList ConvertDialogFilter(const std::string& filter);

// How long the completion sound may play: the WAV's length from its header plus a margin.
int SoundTimeLimitMs(const std::string& wavPath);

class TQtServices : public TServices {
public:
    int MessageBox(const std::string& text, const std::string& caption, unsigned flags) override;
    int MessageDialog(const std::string& text, const std::string& caption, TMsgDlgType type,
                      TMsgDlgButtons buttons, const std::vector<std::string>& captions) override;
    bool OpenFiles(TOpenFilesRequest& request, std::vector<std::string>& names) override;
    bool BrowseForFolder(const std::string& caption, const std::string& text, std::string& folder) override;
    std::optional<std::string> ClipboardText() override;
    bool ShellOpen(const std::string& target) override;
    void ShellOpenAddress(const std::string& address, std::function<void(bool)> done) override;
    void PlaySoundSync(const std::string& wavPath) override;
    void MessageBeep(unsigned type) override;
    void SetBusyCursor(bool busy) override;
};
