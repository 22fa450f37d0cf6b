// Placeholder bodies until this concern is built.
#include "app/formmain.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QCloseEvent>

TFormMain::TFormMain(const std::string& firstArgument, QWidget* parent) : QMainWindow(parent), FirstArgument(firstArgument) {}
TFormMain::~TFormMain() = default;
void TFormMain::PostMessage(QEvent::Type) {}
void TFormMain::FormCreate() {}
void TFormMain::PrepareWindow() {}
void TFormMain::FormClose() {}
void TFormMain::FormDestroy() {}
void TFormMain::AppMinimize() {}
void TFormMain::AppRestore() {}
void TFormMain::ImgTrayClick() {}
void TFormMain::TrayIconClick() {}
void TFormMain::TrayIconDblClick() {}
void TFormMain::mnuShowClick() {}
void TFormMain::mnuExitClick() {}
void TFormMain::SeSkinButton1Click() {}
void TFormMain::mnuStayontopClick() {}
void TFormMain::CheckBoxCloseAppClick() {}
void TFormMain::ImgTrayMouseMove() {}
void TFormMain::Image4MouseMove() {}
void TFormMain::btnAddClick() {}
void TFormMain::btnRemoveClick() {}
void TFormMain::btnClearClick() {}
void TFormMain::btnOptionsClick() {}
void TFormMain::btnDecodeClick() {}
void TFormMain::btnCancelClick() {}
void TFormMain::RunAction(QAction*) {}
bool TFormMain::InTray() const { return false; }
void TFormMain::customEvent(QEvent*) {}
void TFormMain::closeEvent(QCloseEvent*) {}
void TFormMain::changeEvent(QEvent*) {}
