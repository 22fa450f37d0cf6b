#include "app/formmain.h"
#include "settings/formoptions.h"
#include "settings/globals.h"

#include <memory>

void TFormMain::ActionOptionsExecute() {
    auto dialog = std::make_unique<TFormOptions>(this);
    // Centred over the main window by its outer bounds; the divisions truncate toward zero.
    const QRect main = frameGeometry();
    const QSize size = dialog->frameGeometry().size();
    dialog->move(main.left() + (main.width() - size.width()) / 2,
                 main.top() + (main.height() - size.height()) / 2);
    dialog->LoadFromSettings();
    if (dialog->exec() != QDialog::Accepted) return;
    dialog->SaveToSettings();
    // A failed write raises "Unable to write to %s"; the settings in memory keep the dialog's values.
    SaveSettings();
}
