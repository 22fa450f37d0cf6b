#include "engine/formlog.h"

#include "app/formmain.h"
#include "app/looks.h"
#include "settings/globals.h"
#include "settings/paths.h"

#include <QEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QVBoxLayout>

namespace {

constexpr int ClientWidth = 376;
constexpr int ClientHeight = 227;
constexpr int PanelHeight = 37;
constexpr int ButtonWidth = 75;
constexpr int ButtonHeight = 25;
constexpr int ButtonTop = 7;

} // namespace

TFormLog::TFormLog(QWidget* owner) : QDialog(owner) {
    setWindowTitle(QStringLiteral("Wavesmith Log"));
    setAccessibleName(QStringLiteral("Wavesmith Log"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint);
    setSizeGripEnabled(true);
    resize(Scaled(QSize(ClientWidth, ClientHeight)));

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    MemoLog = new QPlainTextEdit(this);
    MemoLog->setObjectName(QStringLiteral("MemoLog"));
    MemoLog->setReadOnly(true);
    MemoLog->setAccessibleName(QStringLiteral("Log of the last run"));
    MemoLog->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    MemoLog->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    MemoLog->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    layout->addWidget(MemoLog, 1);

    PanelBottom = new QWidget(this);
    PanelBottom->setObjectName(QStringLiteral("PanelBottom"));
    PanelBottom->setFixedHeight(Scaled(PanelHeight));
    PanelBottom->installEventFilter(this);
    layout->addWidget(PanelBottom);

    ButtonOK = new QPushButton(QStringLiteral("&OK"), PanelBottom);
    ButtonOK->setObjectName(QStringLiteral("ButtonOK"));
    ButtonOK->setGeometry(
        Scaled(QRect((ClientWidth - ButtonWidth) / 2, ButtonTop, ButtonWidth, ButtonHeight)));
    // Default button: Enter presses it; QDialog already maps Esc to reject, which closes as well.
    ButtonOK->setDefault(true);
    ButtonOK->setAutoDefault(true);
    connect(ButtonOK, &QPushButton::clicked, this, &QDialog::accept);
    ButtonOK->setFocus();
}

void TFormLog::SetLines(const std::vector<std::string>& lines) {
    QStringList text;
    text.reserve(static_cast<qsizetype>(lines.size()));
    for (const std::string& line : lines)
        text << PathText(line);
    MemoLog->setPlainText(text.join(QLatin1Char('\n')));
    // The summary is the last line: the viewer opens on it, not on the top of a long run.
    MemoLog->moveCursor(QTextCursor::End);
    MemoLog->moveCursor(QTextCursor::StartOfLine);
    MemoLog->ensureCursorVisible();
}

void TFormLog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    // Only now has the box its final size, and with it the scroll range.
    MemoLog->verticalScrollBar()->setValue(MemoLog->verticalScrollBar()->maximum());
}

void TFormLog::PanelBottomResize() {
    ButtonOK->move((PanelBottom->width() - ButtonOK->width()) / 2, ButtonOK->y());
}

bool TFormLog::eventFilter(QObject* watched, QEvent* event) {
    if (watched == PanelBottom && event->type() == QEvent::Resize) PanelBottomResize();
    return QDialog::eventFilter(watched, event);
}

QPoint CentredOver(const QRect& ownerFrame, const QSize& viewerFrame) {
    return {ownerFrame.left() + (ownerFrame.width() - viewerFrame.width()) / 2,
            ownerFrame.top() + (ownerFrame.height() - viewerFrame.height()) / 2};
}

void TFormMain::ShowLogViewer() {
    // Created for one showing and released afterwards, also when showing fails.
    TFormLog viewer(this);
    viewer.SetLines(GlobalVars.RunLog);
    viewer.ensurePolished();
    // The platform window gives the frame its size: centring the bare client area would put the
    // viewer off centre by the frame's width.
    viewer.winId();
    const QSize frame = viewer.frameGeometry().size();
    viewer.move(CentredOver(frameGeometry(), frame));
    viewer.exec();
}
