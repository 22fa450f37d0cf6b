// The options action end to end: the modal dialog over the main window, OK writing the settings
// file, Cancel and the close box changing nothing, a failed write reaching the error report.
#include "app/errorreport.h"
#include "app/formmain.h"
#include "settings/formoptions.h"
#include "settings/globals.h"
#include "settings/paths.h"
#include "tests/app/modaldriver.h"
#include "tests/support/scriptedservices.h"
#include "tests/support/tempdir.h"

#include <QCheckBox>
#include <QDir>
#include <QLineEdit>
#include <QRadioButton>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

namespace {

class OptionsAction : public ::testing::Test {
protected:
    void SetUp() override {
        Saved = GlobalVars;
        TScriptedServices::Current().Reset();
    }
    void TearDown() override { GlobalVars = Saved; }

    // Opens the dialog from the main window and lets act drive it.
    void RunOptions(TFormMain& form, const std::function<void(TFormOptions&)>& act) {
        bool seen = false;
        WhenModal([&](QWidget* modal) {
            auto* dialog = qobject_cast<TFormOptions*>(modal);
            if (!dialog) return false;
            seen = true;
            act(*dialog);
            return !dialog->isVisible(); // a dialog that stays open fails the test at the bound
        });
        form.ActionOptionsExecute();
        EXPECT_TRUE(seen);
    }

    TGlobalVars Saved;
    TTempDir Dir;
    TExecutableIn Exe{Dir.Path()};
};

void Click(QWidget* control) {
    QTest::mouseClick(control, Qt::LeftButton, {}, QPoint(6, 8));
}

} // namespace

TEST_F(OptionsAction, OkStoresTheTypedFolderInMemoryAndInTheFile) {
    TFormMain form;
    form.setGeometry(50, 60, 501, 300);
    GlobalVars.OutDir.clear();
    GlobalVars.tmpOutDir = "/old/";
    QPoint placed;
    RunOptions(form, [&](TFormOptions& dialog) {
        placed = dialog.pos();
        Click(dialog.RadioButtonNew);
        dialog.EditOutputDir->clear();
        QTest::keyClicks(dialog.EditOutputDir, " /wav");
        Click(dialog.SpeedButton1);
    });
    // Centred with divisions that drop the half pixel.
    const QRect main = form.frameGeometry();
    EXPECT_EQ(placed, QPoint(main.left() + (main.width() - 340) / 2, main.top() + (main.height() - 381) / 2));
    EXPECT_EQ(GlobalVars.OutDir, "/wav/");
    EXPECT_EQ(GlobalVars.tmpOutDir, "/wav/");
    const std::string file = Dir.ReadFile(ExtractFileName(SettingsFilePath()));
    EXPECT_NE(file.find("\nOutDir=/wav/\n"), std::string::npos) << file; // not tmpOutDir's line
    EXPECT_NE(file.find("\ntmpOutDir=/wav/\n"), std::string::npos) << file;
}

TEST_F(OptionsAction, SameFolderEmptiesOutDirAndKeepsTheBoxFolder) {
    TFormMain form;
    GlobalVars.OutDir = "/music/";
    GlobalVars.tmpOutDir = "/music/";
    RunOptions(form, [&](TFormOptions& dialog) {
        Click(dialog.RadioButtonSame);
        Click(dialog.SpeedButton1);
    });
    EXPECT_EQ(GlobalVars.OutDir, "");
    EXPECT_EQ(GlobalVars.tmpOutDir, "/music/");
    const std::string file = Dir.ReadFile(ExtractFileName(SettingsFilePath()));
    EXPECT_NE(file.find("OutDir=\n"), std::string::npos) << file;
    EXPECT_EQ(file.find("Decoders="), std::string::npos) << file; // never chosen: not written
    EXPECT_EQ(file.find("KeepTags="), std::string::npos) << file;
    EXPECT_EQ(file.find("WavFormat="), std::string::npos) << file;
}

TEST_F(OptionsAction, CancelAndTheCloseBoxChangeNothing) {
    TFormMain form;
    GlobalVars.OutDir = "/music/";
    GlobalVars.tmpOutDir = "/music/";
    GlobalVars.Delete = false;
    SaveSettings();
    const std::string before = Dir.ReadFile(ExtractFileName(SettingsFilePath()));
    ASSERT_FALSE(before.empty());

    TScriptedServices::Current().FolderChoices = {std::string("/elsewhere")};
    RunOptions(form, [&](TFormOptions& dialog) {
        Click(dialog.SpeedButtonOutputDir);
        EXPECT_EQ(dialog.EditOutputDir->text(), "/elsewhere/");
        Click(dialog.CheckBoxDeleteFileAfterProcessing);
        Click(dialog.SpeedButton2);
    });
    RunOptions(form, [&](TFormOptions& dialog) {
        Click(dialog.RadioButtonSame);
        dialog.close();
    });
    EXPECT_EQ(GlobalVars.OutDir, "/music/");
    EXPECT_EQ(GlobalVars.tmpOutDir, "/music/");
    EXPECT_FALSE(GlobalVars.Delete);
    EXPECT_EQ(Dir.ReadFile(ExtractFileName(SettingsFilePath())), before);
    // Each opening is a fresh dialog, released when it closes.
    EXPECT_TRUE(form.findChildren<TFormOptions*>().isEmpty());
}

TEST_F(OptionsAction, UnwritableSettingsReachTheErrorReportAndMemoryKeepsTheChoice) {
    TFormMain form;
    GlobalVars.OutDir.clear();
    GlobalVars.tmpOutDir = "/old/";
    const std::string ini = SettingsFilePath();
    // The folder becomes read-only; root writes anyway, so there the settings file becomes a folder.
    if (::geteuid() == 0) {
        ::unlink(ini.c_str());
        ASSERT_EQ(::mkdir(ini.c_str(), 0755), 0);
    } else {
        ASSERT_EQ(::chmod(Dir.Path().c_str(), 0555), 0);
    }
    TApplication::Deliver([&] {
        RunOptions(form, [&](TFormOptions& dialog) {
            Click(dialog.RadioButtonNew);
            dialog.EditOutputDir->setText("/new");
            Click(dialog.SpeedButton1);
        });
        return true;
    });
    ::chmod(Dir.Path().c_str(), 0755);

    const auto boxes = TScriptedServices::Current().CallsOf(TServiceCall::MessageBox);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0]->Caption, "Error Report");
    EXPECT_NE(boxes[0]->Text.find("\r\n\r\nUnable to write to " + ini + "\r\n\r\n"), std::string::npos)
        << boxes[0]->Text;
    EXPECT_EQ(GlobalVars.OutDir, "/new/");
    EXPECT_EQ(GlobalVars.tmpOutDir, "/new/");
}
