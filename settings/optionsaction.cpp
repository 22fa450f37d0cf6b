#include "app/formmain.h"
#include "settings/formoptions.h"
#include "settings/globals.h"
#include "settings/windowplace.h"

#include <memory>

void TFormMain::ActionOptionsExecute() {
    auto dialog = std::make_unique<TFormOptions>(this);
    // Centred over the main window by their outer bounds, and wholly on its screen.
    dialog->ensurePolished();
    PlaceOverOwner(dialog.get(), this);
    dialog->LoadFromSettings();
    if (dialog->exec() != QDialog::Accepted) return;
    dialog->SaveToSettings();
    // A failed write raises "Unable to write to %s"; the settings in memory keep the dialog's values.
    SaveSettings();
}
