#include "filelist/filelistmodel.h"

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
#include <unordered_map>

namespace {

// The hash key of a full path: equal keys name the same file on this platform's file system.
std::string PathKey(const std::string& fullPath) {
#ifdef _WIN32
    return LowerCase(fullPath);
#else
    return fullPath;
#endif
}

// Up to this many separate runs of rows are removed one run at a time, so the view keeps its
// scroll position and selection; beyond it one reset keeps the whole removal linear.
constexpr size_t MaxRunsRemovedSeparately = 16;

} // namespace

struct TFileListModel::TPrivate {
    std::vector<TFileItem> Items;
    // Full-path key -> first row holding it; rebuilt lazily after rows shift.
    mutable std::unordered_map<std::string, int> Index;
    mutable bool IndexValid = true;
    // One icon per extension, so that large lists ask the icon theme only a few times.
    mutable QHash<QString, QIcon> Icons;
    mutable std::unique_ptr<QFileIconProvider> IconProvider;

    void RebuildIndex() const {
        Index.clear();
        Index.reserve(Items.size());
        for (size_t row = 0; row < Items.size(); ++row)
            Index.emplace(PathKey(Items[row].FullPath()), static_cast<int>(row));
        IndexValid = true;
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
    return static_cast<int>(d->Items.size());
}
const TFileItem& TFileListModel::Item(int row) const {
    return d->Items.at(static_cast<size_t>(row));
}

int TFileListModel::Find(const std::string& fullPath) const {
    if (!d->IndexValid) d->RebuildIndex();
    const auto found = d->Index.find(PathKey(fullPath));
    return found == d->Index.end() ? -1 : found->second;
}

void TFileListModel::Append(TFileItem item) {
    const int row = Count();
    beginInsertRows({}, row, row);
    if (d->IndexValid) d->Index.emplace(PathKey(item.FullPath()), row);
    d->Items.push_back(std::move(item));
    endInsertRows();
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
    size_t runs = 1;
    for (size_t i = 1; i < rows.size(); ++i)
        if (rows[i] != rows[i - 1] + 1) ++runs;
    if (runs <= MaxRunsRemovedSeparately)
        RemoveSortedRuns(rows);
    else
        RemoveByReset(rows);
    d->IndexValid = false;
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
        d->Items.erase(d->Items.begin() + first, d->Items.begin() + last + 1);
        endRemoveRows();
        end = begin;
    }
}

void TFileListModel::RemoveByReset(const std::vector<int>& rows) {
    beginResetModel();
    std::vector<TFileItem> kept;
    kept.reserve(d->Items.size() - rows.size());
    size_t next = 0;
    for (size_t row = 0; row < d->Items.size(); ++row) {
        if (next < rows.size() && rows[next] == static_cast<int>(row))
            ++next;
        else
            kept.push_back(std::move(d->Items[row]));
    }
    d->Items.swap(kept);
    endResetModel();
}

void TFileListModel::Clear() {
    const int count = Count();
    if (count == 0) return;
    beginResetModel();
    d->Items.clear();
    d->Items.shrink_to_fit();
    d->Index.clear();
    d->IndexValid = true;
    endResetModel();
    for (int i = 0; i < count; ++i)
        emit EntryDeleted();
}

void TFileListModel::Move(int from, int to) {
    const int count = Count();
    if (from < 0 || from >= count || to < 0 || to > count || to == from || to == from + 1) return;
    beginMoveRows({}, from, from, {}, to);
    auto items = d->Items.begin();
    if (to < from)
        std::rotate(items + to, items + from, items + from + 1);
    else
        std::rotate(items + from, items + from + 1, items + to);
    endMoveRows();
    d->IndexValid = false;
    emit EntryDeleted(); // the entry left its old position
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
    const auto& items = d->Items;
    const size_t count = items.size();
    if (count < 2) return;
    TSortKeys keys;
    QCollator collator{QLocale()};
    collator.setCaseSensitivity(Qt::CaseSensitive);
    if (column == colFileName || column == colPath) {
        keys.Names.reserve(count);
        for (const TFileItem& item : items)
            keys.Names.push_back(collator.sortKey(DisplayText(item.FileName)));
    }
    if (column == colPath) {
        keys.Paths.reserve(count);
        for (const TFileItem& item : items)
            keys.Paths.push_back(collator.sortKey(DisplayText(item.Path)));
    }
    if (column == colSize || column == colDate) {
        keys.Numbers.reserve(count);
        const int64_t step = DisplayedDateStep();
        for (const TFileItem& item : items)
            keys.Numbers.push_back(column == colSize ? item.Size : DisplayedDateKey(item.Date, step));
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
    std::vector<TFileItem> sorted;
    sorted.reserve(order.size());
    for (int oldRow : order)
        sorted.push_back(std::move(d->Items[oldRow]));
    d->Items.swap(sorted);
    d->IndexValid = false;
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

std::vector<std::string> TFileListModel::FullPaths() const {
    std::vector<std::string> paths;
    paths.reserve(d->Items.size());
    for (const TFileItem& item : d->Items)
        paths.push_back(item.FullPath());
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
    const TFileItem& item = d->Items[static_cast<size_t>(index.row())];
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
    case Qt::TextAlignmentRole:
        if (index.column() == colSize) return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
        break;
    }
    return {};
}

QVariant TFileListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal) return {};
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
