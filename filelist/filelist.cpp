// Placeholder bodies until this concern is built.
#include "app/formmain.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QCloseEvent>

void TFormMain::AddFile(const std::string&) {}
int TFormMain::FindEntry(const std::string&) const { return -1; }
void TFormMain::RemoveEntry(const std::string&) {}
void TFormMain::MoveEntryToEnd(const std::string&) {}
void TFormMain::SaveFileList() {}
void TFormMain::ActionRemoveExecute() {}
void TFormMain::ActionClearListExecute() {}
void TFormMain::ListViewFilesClick() {}
void TFormMain::ListViewFilesDeletion() {}
void TFormMain::HandleSaveFileList() {}
void TFormMain::ListViewFilesColumnClick(int) {}
void TFormMain::ListViewFilesDragDrop(int, int, bool) {}
void TFormMain::SetShowSortArrows(bool) {}
