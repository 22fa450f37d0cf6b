#include "filelist/filelistmodel.h"

#include "filelist/entrystore.h"
#include "settings/paths.h"

#include <QCollator>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QHash>
#include <QIcon>
#include <QLocale>

#include <algorithm>
#include <cmath>
#include <numeric>

namespace {

// Up to this many separate runs of rows are removed one run at a time, so the view keeps its
// scroll position and selection; beyond it one reset keeps the whole removal linear.
constexpr size_t MaxRunsRemovedSeparately = 16;

// Beyond this many changes between two saves, writing the list whole costs less than recording them.
constexpr size_t MaxRecordedChanges = 4096;

// An entry as a screen reader names it: its name and its folder.
QString EntryName(const TFileItem& item) {
    return QStringLiteral("%1, %2").arg(DisplayText(item.FileName), DisplayText(item.Path));
}

} // namespace

struct TFileListModel::TPrivate {
    TEntryStore Store;
    std::vector<TListChange> Changes; // since the last save, unless WholeChanged
    bool WholeChanged = true;         // nothing saved yet: the first save writes the list whole
    // One icon per extension, so that large lists ask the icon theme only a few times.
    mutable QHash<QString, QIcon> Icons;
    mutable std::unique_ptr<QFileIconProvider> IconProvider;

    void Record(TListChange::TKind kind, int row, std::string before = {}) {
        if (WholeChanged) return;
        if (Changes.size() >= MaxRecordedChanges) {
            ChangedWhole();
            return;
        }
        Changes.push_back({kind, Store.Item(row).FullPath(), std::move(before)});
    }
    void ChangedWhole() {
        WholeChanged = true;
        Changes.clear();
        Changes.shrink_to_fit();
    }

    QIcon IconFor(const TFileItem& item) const {
        const QString ext = PathText(ExtractFileExt(item.FileName)).toLower();
        auto found = Icons.constFind(ext);
        if (found != Icons.constEnd()) return *found;
        if (!IconProvider) IconProvider = std::make_unique<QFileIconProvider>();
        const QIcon icon = IconProvider->icon(QFileInfo(PathText(item.FullPath())));
        // A name that is not valid text names no file once converted, and gets no icon: that says
        // nothing about its extension, so it is not kept for the others.
        if (icon.isNull()) return IconProvider->icon(QAbstractFileIconProvider::File);
        Icons.insert(ext, icon);
        return icon;
    }
};

TFileListModel::TFileListModel(QObject* parent)
    : QAbstractTableModel(parent), d(std::make_unique<TPrivate>()) {}
TFileListModel::~TFileListModel() = default;

int TFileListModel::Count() const {
    return d->Store.Count();
}
const TFileItem& TFileListModel::Item(int row) const {
    return d->Store.Item(row);
}

int TFileListModel::Find(const std::string& fullPath) const {
    return d->Store.Find(fullPath);
}

void TFileListModel::Append(TFileItem item) {
    const int row = Count();
    beginInsertRows({}, row, row);
    d->Store.Append(std::move(item));
    endInsertRows();
    d->Record(TListChange::Added, row);
}

void TFileListModel::Remove(int row) {
    RemoveRows({row});
}

void TFileListModel::RemoveRows(std::vector<int> rows) {
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    rows.erase(
        std::remove_if(rows.begin(), rows.end(), [this](int row) { return row < 0 || row >= Count(); }),
        rows.end());
    if (rows.empty()) return;
    for (const int row : rows)
        d->Record(TListChange::Removed, row);
    size_t runs = 1;
    for (size_t i = 1; i < rows.size(); ++i)
        if (rows[i] != rows[i - 1] + 1) ++runs;
    if (runs <= MaxRunsRemovedSeparately)
        RemoveSortedRuns(rows);
    else
        RemoveByReset(rows);
    for (size_t i = 0; i < rows.size(); ++i)
        emit EntryDeleted();
}

void TFileListModel::RemoveSortedRuns(const std::vector<int>& rows) {
    // From the bottom up, so the rows still to remove keep their numbers.
    size_t end = rows.size();
    while (end > 0) {
        size_t begin = end - 1;
        while (begin > 0 && rows[begin - 1] == rows[begin] - 1)
            --begin;
        const int first = rows[begin];
        const int last = rows[end - 1];
        beginRemoveRows({}, first, last);
        d->Store.RemoveRange(first, last);
        endRemoveRows();
        end = begin;
    }
}

void TFileListModel::RemoveByReset(const std::vector<int>& rows) {
    beginResetModel();
    d->Store.RemoveRows(rows);
    endResetModel();
}

void TFileListModel::Clear() {
    const int count = Count();
    if (count == 0) return;
    beginResetModel();
    d->Store.Clear();
    d->ChangedWhole();
    endResetModel();
    for (int i = 0; i < count; ++i)
        emit EntryDeleted();
}

void TFileListModel::Move(int from, int to) {
    const int count = Count();
    if (from < 0 || from >= count || to < 0 || to > count || to == from || to == from + 1) return;
    d->Record(TListChange::Moved, from, to < count ? Item(to).FullPath() : std::string());
    beginMoveRows({}, from, from, {}, to);
    d->Store.Move(from, to);
    endMoveRows();
    emit EntryDeleted(); // the entry left its old position
}

void TFileListModel::ForEachWithStem(const std::string& folder, const std::string& stem,
                                     const std::function<bool(int row)>& found) const {
    d->Store.ForEachWithStem(folder, stem, found);
}

bool TFileListModel::TakeChanges(std::vector<TListChange>& changes) {
    const bool recorded = !d->WholeChanged;
    changes = std::move(d->Changes);
    d->Changes.clear();
    d->WholeChanged = false;
    if (!recorded) changes.clear();
    return recorded;
}

uint64_t TFileListModel::Work() const {
    return d->Store.Work();
}

namespace {

// What a column sorts by, worked out once per entry so that the sort itself compares cheaply.
struct TSortKeys {
    std::vector<QCollatorSortKey> Names; // locale collation, case-sensitive
    std::vector<QCollatorSortKey> Paths;
    std::vector<int64_t> Numbers; // size, or the date at the precision it is displayed with
};

// The short time format shows minutes (or seconds when it has them): dates that look equal
// compare equal, as they would when the displayed texts were read back. Dates are displayed in the
// system locale, so its format decides.
int64_t DisplayedDateKey(TDateTime date, int64_t secondsPerStep) {
    // Whole seconds, as the text shows them (cut, not rounded); the millisecond absorbs the error
    // of a double holding a time of day.
    const auto seconds = static_cast<int64_t>(std::floor(date * 86400.0 + 0.001));
    return seconds >= 0 ? seconds / secondsPerStep : -((-seconds + secondsPerStep - 1) / secondsPerStep);
}

int64_t DisplayedDateStep() {
    const QString format = QLocale::system().timeFormat(QLocale::ShortFormat);
    if (format.contains(QLatin1Char('s'))) return 1;
    if (format.contains(QLatin1Char('m'))) return 60;
    return 3600;
}

} // namespace

void TFileListModel::SortBy(int column, bool ascending) {
    const size_t count = static_cast<size_t>(Count());
    if (count < 2) return;
    std::vector<const TFileItem*> items;
    items.reserve(count);
    for (int row = 0; row < Count(); ++row)
        items.push_back(&Item(row));
    TSortKeys keys;
    QCollator collator{QLocale()};
    collator.setCaseSensitivity(Qt::CaseSensitive);
    if (column == colFileName || column == colPath) {
        keys.Names.reserve(count);
        for (const TFileItem* item : items)
            keys.Names.push_back(collator.sortKey(DisplayText(item->FileName)));
    }
    if (column == colPath) {
        keys.Paths.reserve(count);
        for (const TFileItem* item : items)
            keys.Paths.push_back(collator.sortKey(DisplayText(item->Path)));
    }
    if (column == colSize || column == colDate) {
        keys.Numbers.reserve(count);
        const int64_t step = DisplayedDateStep();
        for (const TFileItem* item : items)
            keys.Numbers.push_back(column == colSize ? item->Size : DisplayedDateKey(item->Date, step));
    }
    const auto compare = [&](int a, int b) {
        switch (column) {
        case colFileName:
            return keys.Names[a].compare(keys.Names[b]);
        case colPath:
            if (const int byPath = keys.Paths[a].compare(keys.Paths[b])) return byPath;
            return keys.Names[a].compare(keys.Names[b]);
        default:
            return keys.Numbers[a] < keys.Numbers[b] ? -1 : keys.Numbers[a] > keys.Numbers[b] ? 1 : 0;
        }
    };
    std::vector<int> order(count);
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
        const int result = compare(a, b);
        return ascending ? result < 0 : result > 0;
    });
    ReorderRows(order);
}

void TFileListModel::ReorderRows(const std::vector<int>& order) {
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    std::vector<int> newRowOf(order.size());
    for (size_t newRow = 0; newRow < order.size(); ++newRow)
        newRowOf[order[newRow]] = static_cast<int>(newRow);
    const QModelIndexList before = persistentIndexList();
    QModelIndexList after;
    after.reserve(before.size());
    for (const QModelIndex& index : before)
        after.push_back(index.isValid() ? createIndex(newRowOf[index.row()], index.column()) : QModelIndex());
    changePersistentIndexList(before, after);
    d->Store.Reorder(order);
    d->ChangedWhole();
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

std::vector<std::string> TFileListModel::FullPaths() const {
    std::vector<std::string> paths;
    paths.reserve(static_cast<size_t>(Count()));
    for (int row = 0; row < Count(); ++row)
        paths.push_back(Item(row).FullPath());
    return paths;
}

int TFileListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : Count();
}
int TFileListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant TFileListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= Count()) return {};
    const TFileItem& item = Item(index.row());
    switch (role) {
    case Qt::DisplayRole:
        switch (index.column()) {
        case colFileName:
            return DisplayText(item.FileName);
        case colPath:
            return DisplayText(item.Path);
        case colSize:
            return QString::fromStdString(FormatSizeText(item.Size));
        case colDate:
            return QString::fromStdString(FormatShortDateTime(item.Date));
        }
        break;
    case Qt::DecorationRole:
        if (index.column() == colFileName) return d->IconFor(item);
        break;
    case Qt::ToolTipRole:
        // The column may show the folder elided; its tip shows it whole.
        if (index.column() == colPath) return DisplayText(item.Path);
        break;
    case Qt::AccessibleTextRole:
        // The keyboard stays in the name column: a screen reader reads the whole entry there.
        if (index.column() == colFileName) return EntryName(item);
        break;
    case Qt::TextAlignmentRole:
        if (index.column() == colSize) return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
        break;
    }
    return {};
}

QVariant TFileListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    // Each row is named after its entry, for the screen reader's table of rows.
    if (orientation == Qt::Vertical) {
        if ((role == Qt::DisplayRole || role == Qt::AccessibleTextRole) && section >= 0 && section < Count())
            return EntryName(Item(section));
        return {};
    }
    if (role == Qt::DisplayRole) {
        switch (section) {
        case colFileName:
            return QStringLiteral("MP3 File");
        case colPath:
            return QStringLiteral("Path");
        case colSize:
            return QStringLiteral("Size");
        case colDate:
            return QStringLiteral("Date");
        }
    }
    if (role == Qt::TextAlignmentRole && section == colSize)
        return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
    return {};
}

Qt::ItemFlags TFileListModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled | Qt::ItemNeverHasChildren;
}
