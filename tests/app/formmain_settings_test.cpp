// What the main window reads at start-up and writes when it closes: exit-when-done, stay on top and
// its placement, across runs of the program in one folder.
#include "app/errorreport.h"
#include "app/formmain.h"
#include "settings/globals.h"
#include "settings/ini.h"
#include "settings/paths.h"
#include "tests/support/scriptedservices.h"
#include "tests/support/tempdir.h"

#include <QAction>
#include <QCheckBox>
#include <QDir>

#include <gtest/gtest.h>

namespace {
class FormMainSettings : public ::testing::Test {
protected:
    void SetUp() override { TScriptedServices::Current().Reset(); }

    bool Stored(const char* key) { return Ini::ReadBool(SettingsFilePath(), "General", key, false); }
    bool HasKey(const char* section, const char* key) {
        return Ini::ReadString(SettingsFilePath(), section, key, "<none>") != "<none>";
    }

    TTempDir Dir;
    TExecutableIn Exe{Dir.Path()};
};
} // namespace

TEST_F(FormMainSettings, FirstStartWritesDefaultsAndCloseKeepsThemOff) {
    ASSERT_FALSE(FileExists(SettingsFilePath()));
    {
        TFormMain form;
        EXPECT_TRUE(FileExists(SettingsFilePath())) << "a missing settings file is created at start-up";
        EXPECT_FALSE(form.CheckBoxCloseApp->isChecked());
        EXPECT_FALSE(form.mnuStayontop->isChecked());
        EXPECT_FALSE(form.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
        EXPECT_EQ(GlobalVars.DecoderPath, Dir.Path() + "utils.exe");
        EXPECT_FALSE(GlobalVars.AcceptedTypes.empty());
        EXPECT_EQ(form.OpenDialog.Filter, BuildDialogFilter(GlobalVars.AcceptedTypes));
        // No stored placement: the design place and size.
        EXPECT_EQ(form.pos(), QPoint(194, 107));
        EXPECT_EQ(form.size(), QSize(452, 261));
        EXPECT_TRUE(form.close());
        EXPECT_TRUE(form.Closing);
    }
    ASSERT_TRUE(HasKey("General", "ExitWhenDone"));
    ASSERT_TRUE(HasKey("General", "Stayontop"));
    EXPECT_FALSE(Stored("ExitWhenDone"));
    EXPECT_FALSE(Stored("Stayontop"));
    EXPECT_TRUE(HasKey("Form", "width")) << "the placement is saved on close";
}

TEST_F(FormMainSettings, ExitWhenDoneAndStayOnTopAreKeptAcrossRuns) {
    Dir.WriteFile("wavesmith.ini", "[General]\r\nExitWhenDone=1\r\nStayontop=1\r\n");
    {
        TFormMain form;
        EXPECT_TRUE(form.CheckBoxCloseApp->isChecked());
        EXPECT_TRUE(form.mnuStayontop->isChecked());
        EXPECT_TRUE(form.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
        form.close(); // nothing touched
    }
    EXPECT_TRUE(Stored("ExitWhenDone"));
    EXPECT_TRUE(Stored("Stayontop"));
    {
        TFormMain form;
        form.show();
        form.CheckBoxCloseApp->click();
        EXPECT_FALSE(GlobalVars.ExitWhenDone);
        form.mnuStayontop->trigger(); // as the context menu does it
        EXPECT_FALSE(form.mnuStayontop->isChecked());
        EXPECT_FALSE(form.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
        EXPECT_TRUE(form.isVisible()) << "changing the topmost state keeps the window shown";
        form.close();
    }
    EXPECT_FALSE(Stored("ExitWhenDone"));
    EXPECT_FALSE(Stored("Stayontop"));
    {
        TFormMain form;
        EXPECT_FALSE(form.CheckBoxCloseApp->isChecked());
        form.CheckBoxCloseApp->click();
        form.mnuStayontopClick(); // the handler itself inverts the check mark
        EXPECT_TRUE(form.mnuStayontop->isChecked());
        EXPECT_TRUE(form.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
        form.close();
    }
    EXPECT_TRUE(Stored("ExitWhenDone"));
    EXPECT_TRUE(Stored("Stayontop"));
}

TEST_F(FormMainSettings, PlacementIsRestoredIncludingMaximized) {
    {
        TFormMain form;
        form.show();
        form.move(60, 70);
        form.resize(500, 320);
        ASSERT_TRUE(WaitFor([&] { return form.size() == QSize(500, 320); }, 5000));
        form.close();
    }
    {
        TFormMain form;
        EXPECT_EQ(form.pos(), QPoint(60, 70));
        EXPECT_EQ(form.size(), QSize(500, 320));
        EXPECT_FALSE(form.windowState().testFlag(Qt::WindowMaximized));
        form.show();
        form.showMaximized();
        ASSERT_TRUE(WaitFor([&] { return form.isMaximized(); }, 5000));
        form.close();
    }
    {
        TFormMain form;
        EXPECT_TRUE(form.windowState().testFlag(Qt::WindowMaximized));
        form.close();
    }
}

TEST_F(FormMainSettings, UnwritableSettingsAreReportedAndTheWindowStillCloses) {
    TFormMain form;
    // A folder where the settings file should be: every write to it fails.
    ASSERT_TRUE(QDir().remove(QString::fromStdString(SettingsFilePath())));
    ASSERT_TRUE(QDir().mkdir(QString::fromStdString(SettingsFilePath())));
    EXPECT_TRUE(form.close());
    EXPECT_TRUE(form.Closing);
    const auto boxes = TScriptedServices::Current().CallsOf(TServiceCall::MessageBox);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0]->Text, ErrorReportText("Unable to write to " + SettingsFilePath()));
}

TEST_F(FormMainSettings, UncreatableSettingsAreReportedAndTheWindowStillStarts) {
    ASSERT_TRUE(QDir().mkdir(QString::fromStdString(SettingsFilePath())));
    TFormMain form;
    const auto boxes = TScriptedServices::Current().CallsOf(TServiceCall::MessageBox);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0]->Text, ErrorReportText("Unable to write to " + SettingsFilePath()));
    EXPECT_FALSE(form.CheckBoxCloseApp->isChecked());
    EXPECT_TRUE(WaitFor([&] { return form.isVisible(); }, 5000));
}
