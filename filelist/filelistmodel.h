#pragma once
// The file list's entries, shown by ListViewFiles. Look-ups by full path use a hash index; the
// changes since the last save are kept, so that a save can record them instead of the whole list.
#include "filelist/fileitem.h"
#include "filelist/listjournal.h"

#include <QAbstractTableModel>

#include <functional>
#include <memory>
#include <string>
#include <vector>

class TFileListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum TColumn { colFileName, colPath, colSize, colDate, ColumnCount };

    explicit TFileListModel(QObject* parent = nullptr);
    ~TFileListModel() override;

    int Count() const;
    const TFileItem& Item(int row) const;
    // The row of the entry with that full path (name and folder compared as the file system does), or -1.
    int Find(const std::string& fullPath) const;
    void Append(TFileItem item);
    void RemoveRows(std::vector<int> rows); // any order; one reset of the view for many rows
    void Remove(int row);
    void Clear();
    void Move(int from, int to); // to: position in front of which the entry lands, before removal
    // Sorts by a TColumn (see SortKeys in the source for the comparisons); entries that compare equal keep
    // their order.
    void SortBy(int column, bool ascending);
    std::vector<std::string> FullPaths() const;
    // Calls found(row) for the entries whose name without its extension is stem, in the folder
    // given (any folder when it is empty), until it returns true; costs those entries only.
    void ForEachWithStem(const std::string& folder, const std::string& stem,
                         const std::function<bool(int row)>& found) const;
    // The changes since the last call, in order. False when they are too many to be worth
    // recording one by one, or were not recorded (a sort, a clear): then the list is saved whole.
    bool TakeChanges(std::vector<TListChange>& changes);
    uint64_t Work() const; // rows shifted and looked at: what the complexity tests count

    // QAbstractTableModel
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

signals:
    // One per entry that leaves the list, whatever the cause (remove, clear, the removal half of a move).
    void EntryDeleted();

private:
    struct TPrivate;
    std::unique_ptr<TPrivate> d;

    void RemoveSortedRuns(const std::vector<int>& rows); // ascending, distinct; few runs
    void RemoveByReset(const std::vector<int>& rows);    // ascending, distinct; any number
    void ReorderRows(const std::vector<int>& order);     // order[newRow] = oldRow
};
