// Placeholder bodies until the error report is built.
#include "app/errorreport.h"

std::string ErrorReportText(const std::string& message) { return message; }
void AppException(const std::exception&) {}
TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv) {}
bool TApplication::notify(QObject* receiver, QEvent* event) { return QApplication::notify(receiver, event); }
