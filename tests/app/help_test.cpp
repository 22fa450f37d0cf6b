// The help loader with the desktop's opener in place of the help control, and the Help menu's items.
#include "app/errorreport.h"
#include "app/formmain.h"
#include "app/htmlhelp.h"
#include "app/links.h"
#include "settings/errors.h"
#include "settings/formoptions.h"
#include "settings/paths.h"
#include "tests/app/modaldriver.h"
#include "tests/support/scriptedservices.h"
#include "tests/support/tempdir.h"

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

#include <sys/stat.h>

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

// Each test looks for the opener only in its own folder and restores the default search afterwards.
class HelpLoader : public ::testing::Test {
protected:
    void SetUp() override {
        SetHtmlHelpSearch(Bin.Path(), std::vector<std::string>{"xdg-open", "kde-open"});
        TScriptedServices::Current().Reset();
    }
    void TearDown() override { SetHtmlHelpSearch(std::nullopt, std::nullopt); }

    std::string InstallOpener(const std::string& name, mode_t mode = 0755) {
        const std::string path = Bin.WriteFile(name, "#!/bin/sh\n");
        ::chmod(path.c_str(), mode);
        return path;
    }
    // The pages the desktop was asked to open.
    std::vector<std::string> Opened() {
        std::vector<std::string> pages;
        for (const auto* call : TScriptedServices::Current().CallsOf(TServiceCall::ShellOpen))
            pages.push_back(call->Text);
        return pages;
    }

    TTempDir Bin;
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

TEST_F(HelpLoader, MissingOpenerIsReportedAndTriedAgainNextTime) {
    const std::string help = Home.WriteFile("help/index.htm", "<html>");
    const std::string options = Home.WriteFile("help/Options.htm", "<html>");
    EXPECT_EQ(ErrorOf([&] { CallHtmlHelp(nullptr, help + "::/Options.htm", HH_DISPLAY_TOC, 0); }),
              NotInstalled);
    EXPECT_EQ(HtmlHelpState(), THtmlHelpState::NotLoaded);
    EXPECT_EQ(ErrorOf([&] { CallHtmlHelp(nullptr, help, HH_DISPLAY_TOC, 0); }), NotInstalled);

    // An opener installed meanwhile is found by the next request; a topic is a page beside the index.
    InstallOpener("kde-open");
    EXPECT_EQ(CallHtmlHelp(nullptr, help + "::/Options.htm", HH_DISPLAY_TOC, 0), 1);
    EXPECT_EQ(HtmlHelpState(), THtmlHelpState::Ready);
    EXPECT_EQ(CallHtmlHelp(nullptr, help, HH_DISPLAY_TOC, 0), 1);
    EXPECT_EQ(Opened(), (std::vector<std::string>{options, help}));
}

TEST_F(HelpLoader, OpenerThatCannotRunStaysUnusable) {
    const std::string opener = InstallOpener("xdg-open", 0644);
    const std::string help = Home.WriteFile("help/index.htm", "<html>");
    EXPECT_EQ(ErrorOf([&] { CallHtmlHelp(nullptr, help, HH_DISPLAY_TOC, 0); }), NoEntry);
    EXPECT_EQ(HtmlHelpState(), THtmlHelpState::EntryMissing);
    // Loaded but without its entry point: no new look-up, the same error again.
    ::chmod(opener.c_str(), 0755);
    EXPECT_EQ(ErrorOf([&] { CallHtmlHelp(nullptr, help, HH_DISPLAY_TOC, 0); }), NoEntry);
    EXPECT_TRUE(Opened().empty());
}

TEST_F(HelpLoader, MissingHelpPageShowsNothing) {
    InstallOpener("xdg-open");
    Home.WriteFile("help/index.htm", "<html>");
    EXPECT_EQ(CallHtmlHelp(nullptr, HelpFilePath() + "::/Options.htm", HH_DISPLAY_TOC, 0), 0);
    EXPECT_EQ(HtmlHelpState(), THtmlHelpState::Ready);
    EXPECT_TRUE(Opened().empty());
}

TEST_F(HelpLoader, MenuItemsOpenTheirTargetsAndTheFaqFailsSilently) {
    TFormMain form;
    MenuItem(form, "Frequently Asked Questions (FAQ)")->trigger();
    EXPECT_TRUE(TScriptedServices::Current().Calls.empty());
    EXPECT_EQ(HtmlHelpState(), THtmlHelpState::NotLoaded);

    MenuItem(form, "Contents...")->trigger();
    MenuItem(form, "Technical Support")->trigger();
    MenuItem(form, QString::fromLatin1(HomePageDomain) + " on the web")->trigger();
    // With an opener, the FAQ item opens its page in the help folder.
    InstallOpener("xdg-open");
    const std::string faq = Home.WriteFile("help/Frequently Asked Questions.htm", "<html>");
    MenuItem(form, "Frequently Asked Questions (FAQ)")->trigger();
    EXPECT_EQ(Opened(), (std::vector<std::string>{HelpFilePath(), SupportPageUrl, HomePageUrl, faq}));
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

    // With an opener, the button opens the options page of the help beside the executable.
    InstallOpener("xdg-open");
    const std::string page = Home.WriteFile("help/Options.htm", "<html>");
    QTest::mouseClick(dialog.SpeedButton3, Qt::LeftButton);
    EXPECT_EQ(Opened(), std::vector<std::string>{page});
}

TEST(HelpLabel, HoverColoursAndTheMenuAtThePressPoint) {
    TTempDir dir;
    TExecutableIn exe(dir.Path());
    TFormMain form;
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    form.Label1MouseMove();
    EXPECT_EQ(form.Label1->palette().color(QPalette::WindowText), QColor(0, 0, 255));
    form.Image1MouseMove();
    EXPECT_EQ(form.Label1->palette().color(QPalette::WindowText), QColor(0, 0, 0));

    form.move(10, 10); // room on the screen for the whole menu, which is then not shifted
    form.Label1MouseDown(QPoint(3, 4));
    ASSERT_TRUE(WaitFor([&] { return form.PopupMenu2->isVisible(); }, 5000));
    EXPECT_EQ(form.PopupMenu2->pos(), form.Label1->mapToGlobal(QPoint(3, 4)));
    form.PopupMenu2->close();
}
