// Placeholder bodies until the model is built.
#include "filelist/filelistmodel.h"

struct TFileListModel::TPrivate {
    std::vector<TFileItem> Items;
};

TFileListModel::TFileListModel(QObject* parent) : QAbstractTableModel(parent), d(std::make_unique<TPrivate>()) {}
TFileListModel::~TFileListModel() = default;
int TFileListModel::Count() const { return static_cast<int>(d->Items.size()); }
const TFileItem& TFileListModel::Item(int row) const { return d->Items.at(static_cast<size_t>(row)); }
int TFileListModel::Find(const std::string&) const { return -1; }
void TFileListModel::Append(TFileItem) {}
void TFileListModel::RemoveRows(std::vector<int>) {}
void TFileListModel::Remove(int) {}
void TFileListModel::Clear() {}
void TFileListModel::Move(int, int) {}
void TFileListModel::SortBy(int, bool) {}
std::vector<std::string> TFileListModel::FullPaths() const { return {}; }
int TFileListModel::rowCount(const QModelIndex&) const { return Count(); }
int TFileListModel::columnCount(const QModelIndex&) const { return ColumnCount; }
QVariant TFileListModel::data(const QModelIndex&, int) const { return {}; }
QVariant TFileListModel::headerData(int, Qt::Orientation, int) const { return {}; }
Qt::ItemFlags TFileListModel::flags(const QModelIndex&) const { return Qt::NoItemFlags; }
