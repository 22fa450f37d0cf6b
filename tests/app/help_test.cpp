// The help loader with a viewer program in place of the help control, and the Help menu's items.
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

// Each test looks for viewers only in its own folder and restores the default search afterwards.
class HelpLoader : public ::testing::Test {
protected:
    void SetUp() override {
        SetHtmlHelpSearch(Bin.Path(), std::vector<std::string>{"xchm", "kchmviewer"});
        TScriptedServices::Current().Reset();
    }
    void TearDown() override { SetHtmlHelpSearch(std::nullopt, std::nullopt); }

    // A viewer that writes its arguments to a file beside it.
    std::string InstallViewer(const std::string& name, mode_t mode = 0755) {
        const std::string path = Bin.WriteFile(
            name, "#!/bin/sh\nprintf '%s\\n' \"$@\" > \"" + Bin.Path() + "viewer-args.tmp\"\n" + "mv \"" +
                      Bin.Path() + "viewer-args.tmp\" \"" + Bin.Path() + "viewer-args\"\n");
        ::chmod(path.c_str(), mode);
        return path;
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

TEST_F(HelpLoader, MissingViewerIsReportedAndTriedAgainNextTime) {
    const std::string help = Home.WriteFile("wavesmith.chm", "ITSF");
    EXPECT_EQ(ErrorOf([&] { CallHtmlHelp(nullptr, help + "::/Options.htm", HH_DISPLAY_TOC, 0); }),
              NotInstalled);
    EXPECT_EQ(HtmlHelpState(), THtmlHelpState::NotLoaded);
    EXPECT_EQ(ErrorOf([&] { CallHtmlHelp(nullptr, help, HH_DISPLAY_TOC, 0); }), NotInstalled);

    // A viewer installed meanwhile is found by the next request, and gets the help file.
    InstallViewer("kchmviewer");
    EXPECT_EQ(CallHtmlHelp(nullptr, help + "::/Options.htm", HH_DISPLAY_TOC, 0), 1);
    EXPECT_EQ(HtmlHelpState(), THtmlHelpState::Ready);
    ASSERT_TRUE(WaitFor([&] { return !Bin.ReadFile("viewer-args").empty(); }, 10000));
    EXPECT_EQ(Bin.ReadFile("viewer-args"), help + "\n");
}

TEST_F(HelpLoader, ViewerThatCannotRunStaysUnusable) {
    const std::string viewer = InstallViewer("xchm", 0644);
    const std::string help = Home.WriteFile("wavesmith.chm", "ITSF");
    EXPECT_EQ(ErrorOf([&] { CallHtmlHelp(nullptr, help, HH_DISPLAY_TOC, 0); }), NoEntry);
    EXPECT_EQ(HtmlHelpState(), THtmlHelpState::EntryMissing);
    // Loaded but without its entry point: no new look-up, the same error again.
    ::chmod(viewer.c_str(), 0755);
    EXPECT_EQ(ErrorOf([&] { CallHtmlHelp(nullptr, help, HH_DISPLAY_TOC, 0); }), NoEntry);
}

TEST_F(HelpLoader, MissingHelpFileShowsNothing) {
    InstallViewer("xchm");
    EXPECT_EQ(CallHtmlHelp(nullptr, HelpFilePath() + "::/Options.htm", HH_DISPLAY_TOC, 0), 0);
    EXPECT_EQ(HtmlHelpState(), THtmlHelpState::Ready);
}

TEST_F(HelpLoader, MenuItemsOpenTheirTargetsAndTheFaqFailsSilently) {
    TFormMain form;
    auto& services = TScriptedServices::Current();
    MenuItem(form, "Frequently Asked Questions (FAQ)")->trigger();
    EXPECT_TRUE(services.Calls.empty());
    EXPECT_EQ(HtmlHelpState(), THtmlHelpState::NotLoaded);

    MenuItem(form, "Contents...")->trigger();
    MenuItem(form, "Technical Support")->trigger();
    MenuItem(form, QString::fromLatin1(HomePageDomain) + " on the web")->trigger();
    const auto opened = services.CallsOf(TServiceCall::ShellOpen);
    ASSERT_EQ(opened.size(), 3u);
    EXPECT_EQ(opened[0]->Text, HelpFilePath());
    EXPECT_EQ(opened[1]->Text, SupportPageUrl);
    EXPECT_EQ(opened[2]->Text, HomePageUrl);
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

    // With a viewer, the button opens the help file beside the executable.
    InstallViewer("xchm");
    Home.WriteFile("wavesmith.chm", "ITSF");
    QTest::mouseClick(dialog.SpeedButton3, Qt::LeftButton);
    ASSERT_TRUE(WaitFor([&] { return !Bin.ReadFile("viewer-args").empty(); }, 10000));
    EXPECT_EQ(Bin.ReadFile("viewer-args"), Home.Path() + "wavesmith.chm\n");
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
