// Placeholder bodies until this concern is built.
#include "app/formmain.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QCloseEvent>

void TFormMain::ActionAddFilesExecute() {}
void TFormMain::AddFiles(const std::vector<std::string>&) {}
void TFormMain::AddFolder(const std::string&) {}
void TFormMain::DropFiles(const std::vector<std::string>&) {}
void TFormMain::HandleStartup() {}
void TFormMain::LoadFileList() {}
void TFormMain::dragEnterEvent(QDragEnterEvent*) {}
void TFormMain::dropEvent(QDropEvent*) {}
