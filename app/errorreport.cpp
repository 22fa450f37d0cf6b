#include "app/errorreport.h"

#include "app/links.h"
#include "settings/errors.h"
#include "settings/services.h"

std::string ErrorReportText(const std::string& message) {
    return std::string("We are sorry that a problem has encounted:") + "\r\n" +
           "Please tell me the Error to " + SupportEmail + ":" + "\r\n\r\n" + message + "\r\n\r\n" +
           "Thank you.";
}

void AppException(const std::exception& error) {
    if (dynamic_cast<const EAbort*>(&error)) return;
    ShowMessageBox(ErrorReportText(error.what()), "Error Report", MB_OK | MB_ICONHAND);
}

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool TApplication::notify(QObject* receiver, QEvent* event) {
    return Deliver([&] { return QApplication::notify(receiver, event); });
}

void TApplication::ReportUnknownError() {
    AppException(EWavesmithError("Unknown error"));
}
