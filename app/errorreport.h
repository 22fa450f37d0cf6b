#pragma once
// The application-wide error report: every error that no handler caught is shown here, after which
// the event loop goes on.
#include <QApplication>

#include <exception>
#include <string>

// The text of the report for an error message.
std::string ErrorReportText(const std::string& message);
// Shows the report for an error (EAbort is dropped silently).
void AppException(const std::exception& error);

// The program's application object: catches what escapes an event handler and reports it.
class TApplication : public QApplication {
public:
    TApplication(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;
    // Runs one delivery; an error escaping it is reported and the delivery counts as unhandled.
    // A template, so that wrapping every event costs no allocation.
    template <typename Delivery> static bool Deliver(Delivery&& delivery) {
        try {
            return delivery();
        } catch (const std::exception& error) {
            AppException(error);
        } catch (...) {
            ReportUnknownError();
        }
        return false;
    }

private:
    static void ReportUnknownError();
};
