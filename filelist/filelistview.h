#pragma once
// ListViewFiles: the report-style view of the file list, with moving an entry by dragging.
//
// A table view without grid or row numbers rather than a tree view: a tree view lays all its rows
// out again after every row that comes or goes, which at a whole collection's length costs more
// per decoded file than the rest of the batch together.
#include <QHeaderView>
#include <QStyledItemDelegate>
#include <QTableView>

class QMimeData;

class TFileListView : public QTableView {
    Q_OBJECT
public:
    explicit TFileListView(QWidget* parent = nullptr);

    // Applies the column widths once the model's columns exist.
    void setModel(QAbstractItemModel* model) override;
    QHeaderView* header() const { return horizontalHeader(); } // the column captions
    // The arrow in the header of the sorted column; column -1 or show false hides it.
    void SetSortArrow(bool show, int column, bool ascending);
    // The row that carries the drop highlight while an entry is dragged, or -1.
    int DropTarget() const { return FDropTarget; }
    // The data a drag of this view carries; drags with any other data are left to the window.
    QMimeData* CreateDragData() const;

signals:
    // An entry was dropped: the focused row moves; dropRow is the entry under the pointer
    // (onEntry) or the one highlighted last (-1 when none was).
    void EntryDropped(int focusedRow, int dropRow, bool onEntry);
    // A mouse click into the list, on an entry or on empty space.
    void ListClicked();

protected:
    // Moves as a file list does: Home and End (with Ctrl too) go to the first and last entry, Left
    // and Right scroll, and the current cell stays in the name column.
    QModelIndex moveCursor(CursorAction cursorAction, Qt::KeyboardModifiers modifiers) override;
    void startDrag(Qt::DropActions supportedActions) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void updateGeometries() override;

private:
    bool IsOwnDrag(const QMimeData* data) const;
    void SetDropTarget(int row);
    void FitNameColumn();

    int FDropTarget = -1;
    bool FNameFollowsView = true; // until the user sizes the name column by hand
    bool FFitting = false;
};

// Draws the folders elided in the middle: the last folders, which tell entries apart, stay visible.
class TPathDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override;
};

// Keeps a digit's width free after the right-aligned size, so it never runs into the date beside it.
class TSizeDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override;
};

// Holds the list's repainting for one operation on many entries; nests.
class TListUpdateHold {
public:
    explicit TListUpdateHold(QWidget* view) : FView(view), FWasEnabled(view->updatesEnabled()) {
        FView->setUpdatesEnabled(false);
    }
    ~TListUpdateHold() { FView->setUpdatesEnabled(FWasEnabled); }
    TListUpdateHold(const TListUpdateHold&) = delete;
    TListUpdateHold& operator=(const TListUpdateHold&) = delete;

private:
    QWidget* FView;
    bool FWasEnabled;
};
