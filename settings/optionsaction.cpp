// Placeholder bodies until this concern is built.
#include "app/formmain.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QCloseEvent>

void TFormMain::ActionOptionsExecute() {}
