// The application-wide error report: its text, its box, and errors escaping an event handler.
#include "app/errorreport.h"
#include "settings/errors.h"
#include "tests/support/scriptedservices.h"

#include <QEventLoop>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

TEST(ErrorReport, TextCarriesTheAddressAndTheMessage) {
    EXPECT_EQ(ErrorReportText("Disk full"),
              "We are sorry that a problem has encounted:\r\n"
              "Please tell me the Error to support@wavesmith.example.org:\r\n\r\n"
              "Disk full\r\n\r\nThank you.");
    // An empty message still gives the whole report: four line breaks in a row.
    EXPECT_EQ(ErrorReportText(""),
              "We are sorry that a problem has encounted:\r\n"
              "Please tell me the Error to support@wavesmith.example.org:\r\n\r\n\r\n\r\n"
              "Thank you.");
}

TEST(ErrorReport, ShownAsAnErrorBoxExceptForTheSilentAbort) {
    auto& services = TScriptedServices::Current();
    services.Reset();
    AppException(EAbort());
    EXPECT_TRUE(services.Calls.empty());

    AppException(EFCreateError("/x/y.lst"));
    ASSERT_EQ(services.Calls.size(), 1u);
    EXPECT_EQ(services.Calls[0].Kind, TServiceCall::MessageBox);
    EXPECT_EQ(services.Calls[0].Caption, "Error Report");
    EXPECT_EQ(services.Calls[0].Flags, MB_OK | MB_ICONHAND);
    EXPECT_EQ(services.Calls[0].Text, ErrorReportText("Cannot create file /x/y.lst"));
}

// A click whose handler throws, delivered inside a running event loop the way the application
// object delivers every event: the report appears and the loop keeps serving later events.
TEST(ErrorReport, ErrorFromAClickHandlerIsReportedAndTheLoopGoesOn) {
    auto& services = TScriptedServices::Current();
    services.Reset();
    QPushButton button("Throw");
    int clicks = 0;
    QObject::connect(&button, &QPushButton::clicked, [&] {
        if (++clicks == 1) throw EWavesmithError("first click failed");
        if (clicks == 2) throw std::string("not an error type");
    });
    button.show();

    QEventLoop loop;
    bool unhandled = false;
    QTimer::singleShot(0, [&] {
        unhandled = !TApplication::Deliver([&] {
            QTest::mouseClick(&button, Qt::LeftButton);
            return true;
        });
        TApplication::Deliver([&] {
            QTest::mouseClick(&button, Qt::LeftButton);
            return true;
        });
        QTimer::singleShot(0, [&] {
            QTest::mouseClick(&button, Qt::LeftButton); // handled normally after the failures
            loop.quit();
        });
    });
    QTimer::singleShot(10000, &loop, &QEventLoop::quit);
    loop.exec();

    EXPECT_TRUE(unhandled);
    EXPECT_EQ(clicks, 3);
    const auto boxes = services.CallsOf(TServiceCall::MessageBox);
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0]->Text, ErrorReportText("first click failed"));
    EXPECT_EQ(boxes[0]->Caption, "Error Report");
    EXPECT_EQ(boxes[1]->Text, ErrorReportText("Unknown error"));
}
