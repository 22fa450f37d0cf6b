// Placeholder until the view is built.
#include "filelist/filelistview.h"

TFileListView::TFileListView(QWidget* parent) : QTreeView(parent) {}
