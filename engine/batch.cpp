// Placeholder bodies until this concern is built.
#include "app/formmain.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QCloseEvent>

void TFormMain::ActionDecodeExecute() {}
bool TFormMain::CheckDecoderPresent() { return false; }
bool TFormMain::CheckInputOutputDiffer(const std::string&) { return false; }
bool TFormMain::ConfirmOverwrite(const std::string&) { return false; }
void TFormMain::RunBatch() {}
void TFormMain::StartHeadFile() {}
void TFormMain::HandleDecoderEnd(TRedirector*) {}
void TFormMain::ActionCancelExecute() {}
void TFormMain::FormCloseQuery(bool&) {}
void TFormMain::ActionListUpdate() {}
void TFormMain::Timer1Timer() {}
void TFormMain::ActionViewLogExecute() {}
