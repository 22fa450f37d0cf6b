// The about window: its shape, the version line, the link's hover style, and what closes it.
#include "app/about.h"
#include "app/formmain.h"
#include "app/links.h"
#include "tests/app/modaldriver.h"
#include "tests/support/scriptedservices.h"
#include "tests/support/tempdir.h"

#include <QApplication>
#include <QImage>
#include <QLabel>
#include <QTest>

#include <gtest/gtest.h>

namespace {

// Underlined in the palette's link colour at rest as when hot, and bold when hot.
bool LinkIsHot(const QLabel* link) {
    return link->font().bold() && link->font().underline() && link->foregroundRole() == QPalette::Link;
}

bool LinkIsPlain(const QLabel* link) {
    return !link->font().bold() && link->font().underline() && link->foregroundRole() == QPalette::Link;
}

} // namespace

TEST(AboutWindow, BorderlessPictureWithTheTextsInPlace) {
    TfrmAbout about;
    about.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&about));
    EXPECT_EQ(about.size(), QSize(400, 234));
    EXPECT_TRUE(about.windowFlags() & Qt::FramelessWindowHint);
    EXPECT_EQ(about.windowTitle(), "About...");
    EXPECT_EQ(about.Image1->geometry(), QRect(0, 0, 400, 234));
    EXPECT_EQ(about.Image1->pixmap().size(), QSize(400, 234));
    EXPECT_EQ(about.Label3->text(), "Version 2.6");
    EXPECT_EQ(about.Label4->text(), HomePageDomain);
    EXPECT_EQ(about.Label4->cursor().shape(), Qt::PointingHandCursor);
    const std::pair<QLabel*, int> tops[] = {
        {about.Label3, 66}, {about.Label1, 82}, {about.Label4, 98}, {about.Label2, 114}};
    for (const auto& [label, top] : tops) {
        EXPECT_EQ(label->pos(), QPoint(8, top)) << label->text().toStdString();
        EXPECT_FALSE(label->autoFillBackground());
        EXPECT_FALSE(label->text().isEmpty());
    }
}

TEST(AboutWindow, LinkTogglesWithThePointerAndOpensTheHomePage) {
    auto& services = TScriptedServices::Current();
    services.Reset();
    TfrmAbout about;
    about.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&about));
    EXPECT_TRUE(LinkIsPlain(about.Label4));
    QTest::mouseMove(about.Label4, QPoint(4, 4));
    ASSERT_TRUE(WaitFor([&] { return LinkIsHot(about.Label4); }, 5000));
    QTest::mouseMove(about.Image1, QPoint(300, 200));
    ASSERT_TRUE(WaitFor([&] { return LinkIsPlain(about.Label4); }, 5000));
    QTest::mouseMove(about.Label4, QPoint(5, 5));
    ASSERT_TRUE(WaitFor([&] { return LinkIsHot(about.Label4); }, 5000));

    // The focus that the link takes by itself shows.
    ASSERT_TRUE(about.Label4->hasFocus());
    const QImage focused = about.Label4->grab().toImage();
    about.Label4->clearFocus();
    EXPECT_NE(about.Label4->grab().toImage(), focused);
    about.Label4->setFocus();

    QTest::mouseClick(about.Label4, Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_TRUE(about.isVisible());
    const auto opened = services.CallsOf(TServiceCall::ShellOpen);
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0]->Text, HomePageUrl);

    // Other keys do nothing; a click on the picture closes the window.
    QTest::keyClick(&about, Qt::Key_A);
    EXPECT_TRUE(about.isVisible());
    QTest::mouseClick(about.Image1, Qt::LeftButton, {}, QPoint(300, 200));
    EXPECT_FALSE(about.isVisible());
}

TEST(AboutWindow, EachOpeningIsAFreshModalWindowWhoseLinkTheKeyboardFollows) {
    TTempDir dir;
    TExecutableIn exe(dir.Path());
    TFormMain form;
    form.setGeometry(100, 80, 500, 300);
    std::vector<QPointer<TfrmAbout>> seen;
    std::vector<QString> versions;
    std::vector<QPoint> places;
    auto& services = TScriptedServices::Current();
    services.Reset();
    for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Space, Qt::Key_Escape}) {
        WhenModal([&](QWidget* modal) {
            auto* about = qobject_cast<TfrmAbout*>(modal);
            if (!about) return false;
            seen.push_back(about);
            versions.push_back(about->Label3->text());
            places.push_back(about->pos());
            // The link has the focus: Enter and Space follow it, Esc closes the window.
            EXPECT_EQ(about->focusWidget(), about->Label4);
            QTest::keyClick(about->Label4, key);
            if (key == Qt::Key_Escape) return !about->isVisible();
            EXPECT_TRUE(about->isVisible());
            about->close();
            return true;
        });
        form.About1Click();
    }
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(versions, (std::vector<QString>(3, "Version 2.6")));
    EXPECT_EQ(services.CallsOf(TServiceCall::ShellOpen).size(), 2u) << "Enter and Space open the home page";
    // Both windows were released when they closed.
    EXPECT_TRUE(seen[0].isNull());
    EXPECT_TRUE(seen[1].isNull());
    const QRect main = form.frameGeometry();
    EXPECT_EQ(places[0],
              QPoint(main.left() + (main.width() - 400) / 2, main.top() + (main.height() - 234) / 2));
}
