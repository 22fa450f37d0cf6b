#include "engine/formlog.h"

#include "app/formmain.h"
#include "app/looks.h"
#include "settings/globals.h"
#include "settings/paths.h"

#include <QAbstractTextDocumentLayout>
#include <QEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTextBlock>
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
    // Lines wrap at the box's width, so a horizontal bar would only take a line of the summary.
    MemoLog->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    // The last paragraphs may then start at the top even when they leave room below them; else the
    // scroll range would end on a line in the middle of a wrapped paragraph.
    MemoLog->setCenterOnScroll(true);
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
        text << DisplayText(line);
    MemoLog->setPlainText(text.join(QLatin1Char('\n')));
    MemoLog->moveCursor(QTextCursor::End);
}

void TFormLog::ShowSummary() {
    // The summary is at the end: the viewer opens on the last lines that fit whole, each from its
    // start, never on the tail of a wrapped line.
    QTextDocument* document = MemoLog->document();
    QAbstractTextDocumentLayout* layout = document->documentLayout();
    const qreal room = MemoLog->viewport()->height() - 2 * document->documentMargin();
    QTextBlock top = document->lastBlock();
    qreal used = layout->blockBoundingRect(top).height();
    for (QTextBlock before = top.previous(); before.isValid(); before = before.previous()) {
        const qreal height = layout->blockBoundingRect(before).height();
        if (used + height > room) break;
        used += height;
        top = before;
    }
    // The bar counts the box's lines, wrapped ones each.
    MemoLog->verticalScrollBar()->setValue(top.firstLineNumber());
}

void TFormLog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    // Only now has the box its final size, and with it the wrapping and the scroll range.
    ShowSummary();
}

void TFormLog::PanelBottomResize() {
    ButtonOK->move((PanelBottom->width() - ButtonOK->width()) / 2, ButtonOK->y());
}

bool TFormLog::eventFilter(QObject* watched, QEvent* event) {
    if (watched == PanelBottom && event->type() == QEvent::Resize) PanelBottomResize();
    return QDialog::eventFilter(watched, event);
}

void TFormMain::ShowLogViewer() {
    // Created for one showing and released afterwards, also when showing fails.
    TFormLog viewer(this);
    viewer.SetLines(GlobalVars.RunLog);
    viewer.ensurePolished();
    PlaceOverOwner(&viewer, this);
    viewer.exec();
}
