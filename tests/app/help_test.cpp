// The help loader with the desktop's opener in place of the help control, and the Help menu's items.
#include "app/errorreport.h"
#include "app/formmain.h"
#include "app/helpviewer.h"
#include "app/htmlhelp.h"
#include "app/links.h"
#include "settings/errors.h"
#include "settings/formoptions.h"
#include "settings/paths.h"
#include "tests/app/modaldriver.h"
#include "tests/support/scriptedservices.h"
#include "tests/support/tempdir.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QTest>
#include <QTextBrowser>
#include <QToolButton>

#include <gtest/gtest.h>

namespace {

const std::string NotInstalled = "HHCtrl.OCX not installed!\r HTMLHELP cannot displayed!";
const std::string NoEntry = "Function HTMLHELP cannot loaded!";

std::string ErrorOf(const std::function<void()>& call) {
    try {
        call();
    } catch (const EWavesmithError& error) {
        return error.what();
    }
    return {};
}

// Each test starts the loader over with its own folder beside the executable.
class HelpLoader : public ::testing::Test {
protected:
    void SetUp() override {
        ResetHtmlHelp();
        TScriptedServices::Current().Reset();
    }
    void TearDown() override {
        ResetHtmlHelp();
        delete THelpViewer::Current();
    }

    // The page the help viewer shows, or empty while there is none.
    static std::string Shown() {
        const THelpViewer* viewer = THelpViewer::Current();
        return viewer && viewer->isVisible() ? PathBytes(viewer->Browser->source().toLocalFile())
                                             : std::string();
    }

    // The addresses the desktop was asked to open.
    static std::vector<std::string> Opened() {
        std::vector<std::string> targets;
        for (const auto* call : TScriptedServices::Current().CallsOf(TServiceCall::ShellOpen))
            targets.push_back(call->Text);
        return targets;
    }

    TTempDir Home;
    TExecutableIn Exe{Home.Path()};
};

QAction* MenuItem(TFormMain& form, const QString& caption) {
    for (QAction* action : form.PopupMenu2->actions())
        if (action->text() == caption) return action;
    ADD_FAILURE() << "no menu item " << caption.toStdString();
    return nullptr;
}

} // namespace

TEST_F(HelpLoader, MissingHelpIsReportedAndTriedAgainNextTime) {
    const std::string help = HelpFilePath();
    EXPECT_EQ(ErrorOf([&] { CallHtmlHelp(nullptr, help + "::/Options.htm", HH_DISPLAY_TOC, 0); }),
              NotInstalled);
    EXPECT_EQ(HtmlHelpState(), THtmlHelpState::NotLoaded);
    EXPECT_EQ(ErrorOf([&] { CallHtmlHelp(nullptr, help, HH_DISPLAY_TOC, 0); }), NotInstalled);

    // Pages installed meanwhile are found by the next request; a topic is a page beside the index.
    Home.WriteFile("help/index.htm", "<html><a href='Options.htm'>Options</a>");
    const std::string options = Home.WriteFile("help/Options.htm", "<html>");
    EXPECT_EQ(CallHtmlHelp(nullptr, help + "::/Options.htm", HH_DISPLAY_TOC, 0), 1);
    EXPECT_EQ(HtmlHelpState(), THtmlHelpState::Ready);
    EXPECT_EQ(Shown(), options);
    EXPECT_EQ(CallHtmlHelp(nullptr, help, HH_DISPLAY_TOC, 0), 1);
    EXPECT_EQ(Shown(), help);
    EXPECT_TRUE(TScriptedServices::Current().Calls.empty()) << "no browser is asked";
}

TEST_F(HelpLoader, IndexThatCannotBeReadStaysUnusable) {
    Home.WriteFile("help/index.htm/x", ""); // a folder where the index page should be
    EXPECT_EQ(ErrorOf([&] { CallHtmlHelp(nullptr, HelpFilePath(), HH_DISPLAY_TOC, 0); }), NoEntry);
    EXPECT_EQ(HtmlHelpState(), THtmlHelpState::EntryMissing);
    EXPECT_EQ(ErrorOf([&] { CallHtmlHelp(nullptr, HelpFilePath(), HH_DISPLAY_TOC, 0); }), NoEntry);
    EXPECT_EQ(Shown(), "");
}

TEST_F(HelpLoader, MissingHelpPageShowsNothing) {
    Home.WriteFile("help/index.htm", "<html>");
    EXPECT_EQ(CallHtmlHelp(nullptr, HelpFilePath() + "::/Options.htm", HH_DISPLAY_TOC, 0), 0);
    EXPECT_EQ(HtmlHelpState(), THtmlHelpState::Ready);
    EXPECT_EQ(Shown(), "");
}

TEST_F(HelpLoader, ViewerFollowsLinksAndHandsAddressesToTheDesktop) {
    const std::string index = Home.WriteFile("help/index.htm", "<html>");
    const std::string faq = Home.WriteFile("help/Frequently Asked Questions.htm", "<html>");
    TFormMain form;
    ASSERT_TRUE(WaitFor([&] { return form.isVisible(); }, 5000));
    QApplication::setActiveWindow(&form);
    QTest::keyClick(&form, Qt::Key_F1);
    ASSERT_EQ(Shown(), index);
    THelpViewer* viewer = THelpViewer::Current();
    viewer->LinkClicked(QUrl(QStringLiteral("Frequently%20Asked%20Questions.htm")));
    EXPECT_EQ(Shown(), faq);
    QTest::mouseClick(viewer->ButtonBack, Qt::LeftButton);
    EXPECT_EQ(Shown(), index);
    QTest::mouseClick(viewer->ButtonForward, Qt::LeftButton);
    EXPECT_EQ(Shown(), faq);

    // Nothing on the desktop opens the address: it is shown where it can be copied from.
    auto& services = TScriptedServices::Current();
    viewer->LinkClicked(QUrl(QString::fromLatin1(SupportPageUrl)));
    services.ShellOpenWorks = false;
    viewer->LinkClicked(QUrl(QStringLiteral("mailto:") + QString::fromLatin1(SupportEmail)));
    EXPECT_EQ(Opened(), (std::vector<std::string>{SupportPageUrl, std::string("mailto:") + SupportEmail}));
    const auto boxes = services.CallsOf(TServiceCall::MessageBox);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_NE(boxes[0]->Text.find(std::string("mailto:") + SupportEmail), std::string::npos);
    EXPECT_EQ(Shown(), faq);
}

TEST_F(HelpLoader, MenuItemsOpenTheirTargetsAndTheFaqFailsSilently) {
    TFormMain form;
    MenuItem(form, "Frequently Asked Questions (FAQ)")->trigger();
    EXPECT_TRUE(TScriptedServices::Current().Calls.empty());
    EXPECT_EQ(HtmlHelpState(), THtmlHelpState::NotLoaded);

    MenuItem(form, "Contents...")->trigger();
    EXPECT_EQ(Shown(), "");
    MenuItem(form, "Technical Support")->trigger();
    MenuItem(form, QString::fromLatin1(HomePageDomain) + " on the web")->trigger();
    EXPECT_EQ(Opened(), (std::vector<std::string>{SupportPageUrl, HomePageUrl}));
    EXPECT_TRUE(TScriptedServices::Current().CallsOf(TServiceCall::MessageBox).empty());
    // Nothing on the desktop takes the address: it is shown for copying.
    TScriptedServices::Current().ShellOpenWorks = false;
    MenuItem(form, "Technical Support")->trigger();
    const auto boxes = TScriptedServices::Current().CallsOf(TServiceCall::MessageBox);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_NE(boxes[0]->Text.find(SupportPageUrl), std::string::npos);
    TScriptedServices::Current().ShellOpenWorks = true;
    // With the pages installed, the FAQ item opens its page in the help viewer.
    Home.WriteFile("help/index.htm", "<html>");
    const std::string faq = Home.WriteFile("help/Frequently Asked Questions.htm", "<html>");
    MenuItem(form, "Frequently Asked Questions (FAQ)")->trigger();
    EXPECT_EQ(Shown(), faq);
    EXPECT_EQ(HelpFilePath(), Home.Path() + "help/index.htm");
}

TEST_F(HelpLoader, OptionsHelpButtonReachesTheErrorReport) {
    TFormOptions dialog;
    dialog.show();
    TApplication::Deliver([&] {
        QTest::mouseClick(dialog.SpeedButton3, Qt::LeftButton);
        return true;
    });
    EXPECT_TRUE(dialog.isVisible());
    const auto boxes = TScriptedServices::Current().CallsOf(TServiceCall::MessageBox);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0]->Caption, "Error Report");
    EXPECT_EQ(boxes[0]->Text, "We are sorry that a problem has encounted:\r\n"
                              "Please tell me the Error to support@wavesmith.example.org:\r\n\r\n"
                              "HHCtrl.OCX not installed!\r HTMLHELP cannot displayed!\r\n\r\nThank you.");

    // With the pages installed, the button and F1 open the options page above the dialog.
    Home.WriteFile("help/index.htm", "<html>");
    const std::string page = Home.WriteFile("help/Options.htm", "<html>");
    QTest::mouseClick(dialog.SpeedButton3, Qt::LeftButton);
    EXPECT_EQ(Shown(), page);
    EXPECT_EQ(THelpViewer::Current()->parentWidget(), &dialog);
    delete THelpViewer::Current();
    QApplication::setActiveWindow(&dialog);
    QTest::keyClick(&dialog, Qt::Key_F1);
    EXPECT_EQ(Shown(), page);
}

TEST(HelpLabel, HoverColoursAndTheMenuAtThePressPoint) {
    TTempDir dir;
    TExecutableIn exe(dir.Path());
    TFormMain form;
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    // The palette's link colour under the pointer, its text colour at rest.
    form.Label1MouseMove();
    EXPECT_EQ(form.Label1->foregroundRole(), QPalette::Link);
    form.Image1MouseMove();
    EXPECT_EQ(form.Label1->foregroundRole(), QPalette::WindowText);

    form.move(10, 10); // room on the screen for the whole menu, which is then not shifted
    form.Label1MouseDown(QPoint(3, 4));
    ASSERT_TRUE(WaitFor([&] { return form.PopupMenu2->isVisible(); }, 5000));
    EXPECT_EQ(form.PopupMenu2->pos(), form.Label1->mapToGlobal(QPoint(3, 4)));
    form.PopupMenu2->close();

    // From the keyboard: its mnemonic, and the Menu key once it has the focus; the first item is
    // ready for Enter.
    QApplication::setActiveWindow(&form);
    for (const auto& [key, modifiers] :
         {std::pair{Qt::Key_H, Qt::AltModifier}, {Qt::Key_Menu, Qt::NoModifier}}) {
        ASSERT_FALSE(form.PopupMenu2->isVisible());
        QTest::keyClick(key == Qt::Key_Menu ? static_cast<QWidget*>(form.Label1) : &form, key, modifiers);
        ASSERT_TRUE(WaitFor([&] { return form.PopupMenu2->isVisible(); }, 5000)) << key;
        EXPECT_EQ(form.PopupMenu2->activeAction(), form.PopupMenu2->actions().first());
        EXPECT_TRUE(form.Label1->hasFocus());
        form.PopupMenu2->close();
    }
}
