#include "filelist/filelistview.h"

#include "app/looks.h"
#include "settings/datetime.h"

#include <QCoreApplication>
#include <QDrag>
#include <QDragEnterEvent>
#include <QDragLeaveEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QHeaderView>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QResizeEvent>
#include <QScrollBar>
#include <QStyle>

#include <algorithm>
#include <iterator>
#include <memory>

namespace {

const QString DragFormat = QStringLiteral("application/x-wavesmith-list-entry");
constexpr int ColumnWidths[] = {150, 150, 75, 100};
constexpr int PathColumn = 1;
constexpr int SizeColumn = 2;
constexpr int DateColumn = 3;

// The date column is as wide as a long date text needs at the view's font (a two-digit day, month
// and hour), or its design width where that is wider; the name column takes the rest.
int ColumnWidth(const QTableView& view, int column) {
    const int design = Scaled(ColumnWidths[column]);
    if (column != DateColumn) return design;
    const QString sample = QString::fromStdString(FormatShortDateTime(UnixTimeToDateTime(1735426738)));
    const int margin = view.style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, &view) + 1;
    // A digit's width to spare: a font's digits need not all be as wide as the sample's.
    const QFontMetrics metrics(view.font());
    return std::max(design, metrics.horizontalAdvance(sample) + 2 * margin +
                                metrics.horizontalAdvance(QLatin1Char('0')));
}

} // namespace

TFileListView::TFileListView(QWidget* parent) : QTableView(parent) {
    setItemDelegateForColumn(PathColumn, new TPathDelegate(this));
    setItemDelegateForColumn(SizeColumn, new TSizeDelegate(this));
    setShowGrid(false);
    setWordWrap(false);
    setCornerButtonEnabled(false);
    setTabKeyNavigation(false);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    // Rows of one height, given once: no row is measured, however long the list.
    QHeaderView* rows = verticalHeader();
    rows->hide();
    rows->setSectionResizeMode(QHeaderView::Fixed);
    const int rowHeight =
        std::max(fontMetrics().height(), style()->pixelMetric(QStyle::PM_SmallIconSize)) + 4;
    rows->setMinimumSectionSize(rowHeight);
    rows->setDefaultSectionSize(rowHeight);
    header()->setHighlightSections(false);
    header()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSortingEnabled(false); // header clicks are handled by the window, which sorts the model
    header()->setSectionsClickable(true);
    header()->setSectionsMovable(false);
    header()->setStretchLastSection(false);
    header()->setSectionResizeMode(QHeaderView::Interactive);
    header()->setSortIndicatorShown(false);
    setDragEnabled(true);
    setAcceptDrops(true);
    viewport()->setAcceptDrops(true);
    setDragDropMode(QAbstractItemView::DragDrop);
    setDropIndicatorShown(false); // the drop highlight is drawn here
    // The selection stays as visible without the focus as with it.
    QPalette colours = palette();
    for (QPalette::ColorRole role : {QPalette::Highlight, QPalette::HighlightedText})
        colours.setColor(QPalette::Inactive, role, colours.color(QPalette::Active, role));
    setPalette(colours);
    connect(header(), &QHeaderView::sectionResized, this, [this](int column) {
        if (FFitting) return;
        if (column == 0)
            FNameFollowsView = false;
        else
            FitNameColumn();
    });
}

void TSizeDelegate::initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const {
    QStyledItemDelegate::initStyleOption(option, index);
    // An empty picture on the right takes the room, as the style lays out text beside a picture.
    option->features |= QStyleOptionViewItem::HasDecoration;
    option->decorationPosition = QStyleOptionViewItem::Right;
    option->decorationSize = QSize(option->fontMetrics.horizontalAdvance(QLatin1Char('0')), 1);
}

void TPathDelegate::initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const {
    QStyledItemDelegate::initStyleOption(option, index);
    option->textElideMode = Qt::ElideMiddle;
}

void TFileListView::setModel(QAbstractItemModel* model) {
    QTableView::setModel(model);
    // A click into another column still leaves the keyboard in the name column, where a screen
    // reader reads the entry's name and folder.
    if (selectionModel())
        connect(selectionModel(), &QItemSelectionModel::currentChanged, this,
                [this](const QModelIndex& current) {
                    if (current.isValid() && current.column() != 0)
                        selectionModel()->setCurrentIndex(current.siblingAtColumn(0),
                                                          QItemSelectionModel::NoUpdate);
                });
    FFitting = true;
    for (int column = 0; column < static_cast<int>(std::size(ColumnWidths)); ++column)
        header()->resizeSection(column, ColumnWidth(*this, column)); // grown with the user's font
    FFitting = false;
    FitNameColumn();
}

// Width beyond the designed columns goes to the names, so a wide window shows them whole instead
// of an empty band; narrower, the columns keep their designed widths and the list scrolls.
void TFileListView::FitNameColumn() {
    if (!model() || !FNameFollowsView) return;
    int others = 0;
    for (int column = 1; column < header()->count(); ++column)
        others += header()->sectionSize(column);
    const int width = std::max(Scaled(ColumnWidths[0]), viewport()->width() - others);
    if (header()->sectionSize(0) == width) return;
    FFitting = true;
    header()->resizeSection(0, width);
    FFitting = false;
}

// Also called for the viewport's own resizes, as when the vertical scroll bar comes or goes.
void TFileListView::resizeEvent(QResizeEvent* event) {
    QTableView::resizeEvent(event);
    FitNameColumn();
}

void TFileListView::updateGeometries() {
    QTableView::updateGeometries();
    // With no entries there is nothing to scroll to: the header alone brings no scroll bar.
    if (!model() || model()->rowCount() == 0) horizontalScrollBar()->setRange(0, 0);
}

QModelIndex TFileListView::moveCursor(CursorAction cursorAction, Qt::KeyboardModifiers modifiers) {
    const int rows = model() ? model()->rowCount() : 0;
    if (rows == 0) return QTableView::moveCursor(cursorAction, modifiers);
    switch (cursorAction) {
    case MoveHome:
        return model()->index(0, 0);
    case MoveEnd:
        return model()->index(rows - 1, 0);
    case MoveLeft:
    case MoveRight: {
        QScrollBar* bar = horizontalScrollBar();
        bar->setValue(bar->value() + (cursorAction == MoveLeft ? -bar->singleStep() : bar->singleStep()));
        return currentIndex();
    }
    default: {
        const QModelIndex next = QTableView::moveCursor(cursorAction, modifiers);
        return next.isValid() ? next.siblingAtColumn(0) : next;
    }
    }
}

void TFileListView::SetSortArrow(bool show, int column, bool ascending) {
    const bool visible = show && column >= 0;
    if (visible) header()->setSortIndicator(column, ascending ? Qt::AscendingOrder : Qt::DescendingOrder);
    header()->setSortIndicatorShown(visible);
}

QMimeData* TFileListView::CreateDragData() const {
    auto* data = new QMimeData;
    // Names this process and this view, so a drag from another window or program is not taken.
    const QString token = QString::number(QCoreApplication::applicationPid()) + QLatin1Char(':') +
                          QString::number(reinterpret_cast<quintptr>(this));
    data->setData(DragFormat, token.toUtf8());
    return data;
}

bool TFileListView::IsOwnDrag(const QMimeData* data) const {
    if (!data || !data->hasFormat(DragFormat)) return false;
    const std::unique_ptr<QMimeData> own(CreateDragData());
    return data->data(DragFormat) == own->data(DragFormat);
}

void TFileListView::startDrag(Qt::DropActions) {
    if (!currentIndex().isValid()) return;
    auto* drag = new QDrag(this);
    drag->setMimeData(CreateDragData());
    drag->exec(Qt::MoveAction); // the drop handler moves the entry; nothing is removed here
    SetDropTarget(-1);
}

void TFileListView::SetDropTarget(int row) {
    if (row == FDropTarget) return;
    FDropTarget = row;
    viewport()->update();
}

void TFileListView::dragEnterEvent(QDragEnterEvent* event) {
    if (!IsOwnDrag(event->mimeData())) {
        event->ignore(); // files from the desktop go on to the window
        return;
    }
    event->setDropAction(Qt::MoveAction);
    event->accept();
}

void TFileListView::dragMoveEvent(QDragMoveEvent* event) {
    if (!IsOwnDrag(event->mimeData())) {
        event->ignore();
        return;
    }
    const QPoint pos = event->position().toPoint();
    const QModelIndex under = indexAt(pos);
    if (under.isValid()) SetDropTarget(under.row()); // over empty space the highlight stays
    const int margin = autoScrollMargin();
    if (hasAutoScroll() && (pos.y() < margin || pos.y() > viewport()->height() - margin)) startAutoScroll();
    event->setDropAction(Qt::MoveAction);
    event->accept();
}

void TFileListView::dragLeaveEvent(QDragLeaveEvent* event) {
    stopAutoScroll();
    event->accept();
}

void TFileListView::dropEvent(QDropEvent* event) {
    if (!IsOwnDrag(event->mimeData())) {
        event->ignore();
        return;
    }
    stopAutoScroll();
    const QModelIndex under = indexAt(event->position().toPoint());
    const bool onEntry = under.isValid();
    const int dropRow = onEntry ? under.row() : FDropTarget;
    const int focusedRow = currentIndex().isValid() ? currentIndex().row() : -1;
    event->setDropAction(Qt::MoveAction);
    event->accept();
    SetDropTarget(-1);
    emit EntryDropped(focusedRow, dropRow, onEntry);
}

void TFileListView::mouseReleaseEvent(QMouseEvent* event) {
    QTableView::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton) emit ListClicked();
}

void TFileListView::paintEvent(QPaintEvent* event) {
    QTableView::paintEvent(event);
    if (FDropTarget < 0 || !model() || FDropTarget >= model()->rowCount()) return;
    const QRect row = visualRect(model()->index(FDropTarget, 0));
    if (!row.isValid()) return;
    QPainter painter(viewport());
    painter.setPen(QPen(palette().color(QPalette::Highlight), 2));
    painter.drawRect(QRect(0, row.top(), viewport()->width(), row.height()).adjusted(1, 1, -1, -1));
}
