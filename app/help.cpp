// Placeholder bodies until this concern is built.
#include "app/formmain.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QCloseEvent>

void TFormMain::Label1MouseMove() {}
void TFormMain::Image1MouseMove() {}
void TFormMain::Contents1Click() {}
void TFormMain::Tr1Click() {}
void TFormMain::TechnicalSupport1Click() {}
void TFormMain::HomePage1Click() {}
void TFormMain::About1Click() {}
void TFormMain::Label1MouseDown(const QPoint&) {}
