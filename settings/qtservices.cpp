#include "settings/qtservices.h"

#include "settings/addressopener.h"
#include "settings/paths.h"
#include "settings/windowplace.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QDialog>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QUrl>
#include <QVBoxLayout>

#include <algorithm>
#include <memory>

namespace {

struct TButtonKind {
    TMsgDlgBtn Button;
    const char* Caption;
    int Result;
};

// The fixed order of the dialog's buttons, with their standard captions and modal results.
constexpr TButtonKind ButtonKinds[] = {
    {mbYes, "&Yes", mrYes},
    {mbNo, "&No", mrNo},
    {mbOK, "OK", mrOk},
    {mbCancel, "Cancel", mrCancel},
    {mbAbort, "&Abort", mrAbort},
    {mbRetry, "&Retry", mrRetry},
    {mbIgnore, "&Ignore", mrIgnore},
    {mbAll, "&All", mrAll},
    {mbNoToAll, "N&o to All", mrNoToAll},
    {mbYesToAll, "Yes to &All", mrYesToAll},
    {mbHelp, "&Help", mrNone},
};

const TButtonKind& KindOf(TMsgDlgBtn button) {
    return *std::find_if(std::begin(ButtonKinds), std::end(ButtonKinds),
                         [button](const TButtonKind& kind) { return kind.Button == button; });
}

constexpr const char* ResultProperty = "modalResult";

// The texts break their lines the platform's way (CR LF, or a lone CR); shown, and read out by a
// screen reader, each is one line break.
QString Shown(const std::string& text) {
    return DisplayText(text)
        .replace(QStringLiteral("\r\n"), QStringLiteral("\n"))
        .replace(QLatin1Char('\r'), QLatin1Char('\n'));
}

// One push button per kind, in the given order; all share one role so that the button box keeps
// that order on every desktop. The n-th button takes captions[n] when that is not empty.
TMessageDialog* BuildDialog(const std::string& text, const std::string& caption, QMessageBox::Icon icon,
                            const std::vector<TMsgDlgBtn>& order, const std::vector<std::string>& captions,
                            TMsgDlgBtn defaultButton, QWidget* parent) {
    auto* dialog = new TMessageDialog(parent);
    dialog->setIcon(icon);
    dialog->setTextFormat(Qt::PlainText);
    dialog->setText(Shown(text));
    dialog->setWindowTitle(DisplayText(caption));
    for (size_t n = 0; n < order.size(); ++n) {
        const TButtonKind& kind = KindOf(order[n]);
        const bool renamed = n < captions.size() && !captions[n].empty();
        auto* button =
            new QPushButton(renamed ? DisplayText(captions[n]) : QString::fromLatin1(kind.Caption));
        button->setProperty(ResultProperty, kind.Result);
        dialog->addButton(button, QMessageBox::ActionRole);
        if (kind.Button == defaultButton) dialog->setDefaultButton(button);
    }
    return dialog;
}

// The program's main window; none in a program without one.
QWidget* MainWindow() {
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (widget->inherits("QMainWindow")) return widget;
    return nullptr;
}

// Right after a box closes no window is active until the desktop hands the focus back: the next
// box is then owned by the main window, not by nothing.
QWidget* Owner() {
    QWidget* active = QApplication::activeWindow();
    return active ? active : MainWindow();
}

// Shows a built dialog modally over the main window and frees it; the owner may go away meanwhile.
int Run(TMessageDialog* built) {
    QPointer<TMessageDialog> dialog(built);
    dialog->CentreOver = MainWindow();
    dialog->exec();
    if (!dialog) return mrCancel;
    const int result = dialog->Result();
    delete dialog;
    return result;
}

} // namespace

int TMessageDialog::Result() const {
    if (Escaped) return EscapeResult;
    if (const QAbstractButton* button = clickedButton()) {
        const QVariant result = button->property(ResultProperty);
        if (result.isValid()) return result.toInt();
    }
    return EscapeResult;
}

void TMessageDialog::showEvent(QShowEvent* event) {
    // The box has settled its size here, before the desktop maps it.
    QMessageBox::showEvent(event);
    if (!CentreOver) return;
    PlaceOverOwner(this, CentreOver);
}

void TMessageDialog::keyPressEvent(QKeyEvent* event) {
    if (!event->matches(QKeySequence::Cancel)) {
        QMessageBox::keyPressEvent(event);
        return;
    }
    if (EscapeResult == 0) return;
    Escaped = true;
    reject();
}

void TMessageDialog::closeEvent(QCloseEvent* event) {
    if (EscapeResult == 0) {
        event->ignore();
        return;
    }
    Escaped = true;
    QDialog::closeEvent(event);
}

TMessageDialog* BuildMessageDialog(const std::string& text, const std::string& caption, TMsgDlgType type,
                                   TMsgDlgButtons buttons, const std::vector<std::string>& captions,
                                   QWidget* parent) {
    std::vector<TMsgDlgBtn> order;
    for (const auto& kind : ButtonKinds)
        if (buttons & kind.Button) order.push_back(kind.Button);
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    switch (type) {
    case TMsgDlgType::mtWarning:
        icon = QMessageBox::Warning;
        break;
    case TMsgDlgType::mtError:
        icon = QMessageBox::Critical;
        break;
    case TMsgDlgType::mtInformation:
        icon = QMessageBox::Information;
        break;
    case TMsgDlgType::mtConfirmation:
        icon = QMessageBox::Question;
        break;
    case TMsgDlgType::mtCustom:
        break;
    }
    const TMsgDlgBtn preferred = (buttons & mbOK) ? mbOK : (buttons & mbYes) ? mbYes : mbRetry;
    auto* dialog = BuildDialog(text, caption, icon, order, captions, preferred, parent);
    dialog->EscapeResult = mrCancel;
    return dialog;
}

TMessageDialog* BuildMessageBox(const std::string& text, const std::string& caption, unsigned flags,
                                QWidget* parent) {
    std::vector<TMsgDlgBtn> order;
    switch (flags & 0x0F) {
    case 0x01:
        order = {mbOK, mbCancel};
        break;
    case 0x02:
        order = {mbAbort, mbRetry, mbIgnore};
        break;
    case 0x03:
        order = {mbYes, mbNo, mbCancel};
        break;
    case 0x04:
        order = {mbYes, mbNo};
        break;
    case 0x05:
        order = {mbRetry, mbCancel};
        break;
    default:
        order = {mbOK};
        break;
    }
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    switch (flags & 0xF0) {
    case MB_ICONHAND:
        icon = QMessageBox::Critical;
        break;
    case MB_ICONQUESTION:
        icon = QMessageBox::Question;
        break;
    case MB_ICONEXCLAMATION:
        icon = QMessageBox::Warning;
        break;
    case MB_ICONASTERISK:
        icon = QMessageBox::Information;
        break;
    default:
        break;
    }
    const size_t defaultIndex = std::min<size_t>((flags >> 8) & 0x0F, order.size() - 1);
    auto* dialog = BuildDialog(text, caption, icon, order, {}, order[defaultIndex], parent);
    // Esc and the close button answer only where the box has a Cancel button or only OK.
    const bool cancels = std::find(order.begin(), order.end(), mbCancel) != order.end();
    dialog->EscapeResult = cancels ? IDCANCEL : order.size() == 1 ? IDOK : 0;
    return dialog;
}

QStringList ConvertDialogFilter(const std::string& filter) {
    const QStringList parts = DisplayText(filter).split(u'|');
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QString description = parts[i].trimmed();
        // Qt reads the patterns from the last parentheses; a description's own ones are replaced.
        if (description.endsWith(u')') && description.lastIndexOf(u'(') > 0)
            description = description.left(description.lastIndexOf(u'(')).trimmed();
        QStringList patterns = parts[i + 1].split(u';', Qt::SkipEmptyParts);
        for (QString& pattern : patterns) {
            pattern = pattern.trimmed();
            if (pattern == QStringLiteral("*.*")) pattern = QStringLiteral("*");
        }
        filters << description + QStringLiteral(" (") + patterns.join(u' ') + u')';
    }
    return filters;
}

int SoundTimeLimitMs(const std::string& wavPath) {
    constexpr int Margin = 2000;
    constexpr int Unknown = 10000;
    QFile file(PathText(wavPath));
    if (!file.open(QIODevice::ReadOnly)) return Margin;
    const QByteArray head = file.read(64 * 1024);
    auto le32 = [&head](qsizetype at) {
        quint32 v = 0;
        for (int i = 3; i >= 0; --i)
            v = (v << 8) | static_cast<unsigned char>(head[at + i]);
        return v;
    };
    if (head.size() < 12 || !head.startsWith("RIFF") || head.mid(8, 4) != "WAVE") return Unknown;
    quint32 byteRate = 0;
    for (qsizetype at = 12; at + 8 <= head.size();) {
        const QByteArray id = head.mid(at, 4);
        const quint32 size = le32(at + 4);
        if (id == "fmt " && at + 20 <= head.size()) byteRate = le32(at + 16);
        if (id == "data") {
            if (byteRate == 0) return Unknown;
            const quint64 available = static_cast<quint64>(std::max<qint64>(0, file.size() - (at + 8)));
            const quint64 ms = std::min<quint64>(size, available) * 1000 / byteRate;
            return static_cast<int>(std::min<quint64>(ms, 60000)) + Margin;
        }
        at += 8 + size + (size & 1);
    }
    return Unknown;
}

int TQtServices::MessageBox(const std::string& text, const std::string& caption, unsigned flags) {
    return Run(BuildMessageBox(text, caption, flags, Owner()));
}

int TQtServices::MessageDialog(const std::string& text, const std::string& caption, TMsgDlgType type,
                               TMsgDlgButtons buttons, const std::vector<std::string>& captions) {
    return Run(BuildMessageDialog(text, caption, type, buttons, captions, Owner()));
}

bool TQtServices::OpenFiles(TOpenFilesRequest& request, std::vector<std::string>& names) {
    // Qt's own dialog: resizable, and its name filters ignore letter case as Windows' do.
    QFileDialog dialog(Owner());
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    // Any name may be typed (a playlist that turns out missing is reported by whoever opens it), and
    // several files may still be chosen at once in the file views.
    dialog.setFileMode(QFileDialog::AnyFile);
    for (auto* view : dialog.findChildren<QAbstractItemView*>())
        if (view->objectName() == QLatin1String("listView") ||
            view->objectName() == QLatin1String("treeView"))
            view->setSelectionMode(QAbstractItemView::ExtendedSelection);
    dialog.setSizeGripEnabled(true);
    const QStringList filters = ConvertDialogFilter(request.Filter);
    if (!filters.isEmpty()) {
        dialog.setNameFilters(filters);
        dialog.selectNameFilter(filters.first());
    }
    if (!request.InitialDir.empty()) dialog.setDirectory(PathText(request.InitialDir));
    if (!request.FileName.empty()) dialog.selectFile(PathText(request.FileName));
    if (dialog.exec() != QDialog::Accepted) return false;
    names.clear();
    for (const QString& name : dialog.selectedFiles())
        names.push_back(PathBytes(name));
    if (names.empty()) return false;
    request.FileName = names.front();
    return true;
}

bool TQtServices::BrowseForFolder(const std::string& caption, const std::string& text, std::string& folder) {
    // Qt's folder chooser, embedded below a label that carries the text.
    QDialog frame(Owner());
    frame.setWindowTitle(DisplayText(caption));
    frame.setSizeGripEnabled(true);
    auto* layout = new QVBoxLayout(&frame);
    if (!text.empty()) layout->addWidget(new QLabel(DisplayText(text), &frame));
    auto* chooser = new QFileDialog(&frame);
    chooser->setWindowFlags(Qt::Widget);
    chooser->setOption(QFileDialog::DontUseNativeDialog);
    chooser->setOption(QFileDialog::ShowDirsOnly);
    chooser->setFileMode(QFileDialog::Directory);
    if (!folder.empty()) chooser->setDirectory(PathText(folder));
    layout->addWidget(chooser);
    QObject::connect(chooser, &QDialog::finished, &frame, &QDialog::done);
    if (frame.exec() != QDialog::Accepted) return false;
    const QStringList chosen = chooser->selectedFiles();
    if (chosen.isEmpty()) return false;
    folder = PathBytes(QDir::toNativeSeparators(chosen.first()));
    return true;
}

std::optional<std::string> TQtServices::ClipboardText() {
    const QClipboard* clipboard = QGuiApplication::clipboard();
    if (!clipboard) return std::nullopt;
    return clipboard->text().toLocal8Bit().toStdString();
}

bool TQtServices::ShellOpen(const std::string& target) {
    const bool address = target.find("://") != std::string::npos || target.rfind("mailto:", 0) == 0;
    return QDesktopServices::openUrl(address ? QUrl(DisplayText(target))
                                             : QUrl::fromLocalFile(PathText(target)));
}

void TQtServices::ShellOpenAddress(const std::string& address, std::function<void(bool)> done) {
#if defined(Q_OS_UNIX) && !defined(Q_OS_MACOS)
    // The desktop's opener says by its exit code whether anything took the address.
    const QString opener = QStandardPaths::findExecutable(QStringLiteral("xdg-open"));
    if (!opener.isEmpty()) {
        RunOpener(opener, {DisplayText(address)}, OpenerBoundMs, std::move(done));
        return;
    }
#endif
    done(ShellOpen(address));
}

void TQtServices::PlaySoundSync(const std::string& wavPath) {
    // The desktop's own command-line player, bounded by the sound's length: a missing player,
    // device or sound server only costs silence, never a hang.
    if (!FileExists(wavPath)) return;
    QString player;
    for (const char* name : {"paplay", "pw-play", "aplay"}) {
        player = QStandardPaths::findExecutable(QString::fromLatin1(name));
        if (!player.isEmpty()) break;
    }
    if (player.isEmpty()) return;
    QStringList arguments;
    if (QFileInfo(player).fileName() == QStringLiteral("aplay")) arguments << QStringLiteral("-q");
    arguments << PathText(wavPath);
    QProcess process;
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    process.start(player, arguments);
    if (!process.waitForStarted(2000)) return;
    if (!process.waitForFinished(SoundTimeLimitMs(wavPath))) {
        process.kill();
        process.waitForFinished(1000);
    }
}

void TQtServices::MessageBeep(unsigned) {
    QApplication::beep();
}

void TQtServices::SetBusyCursor(bool busy) {
    if (busy)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    else
        QApplication::restoreOverrideCursor();
}
