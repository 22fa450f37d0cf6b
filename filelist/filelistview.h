#pragma once
// ListViewFiles: the report-style view of the file list, with moving an entry by dragging.
#include <QTreeView>

class TFileListView : public QTreeView {
    Q_OBJECT
public:
    explicit TFileListView(QWidget* parent = nullptr);
};
