// The options dialog on its own: layout, the enabling rules, the folder browser and what OK stores.
#include "settings/formoptions.h"
#include "settings/globals.h"
#include "tests/support/scriptedservices.h"
#include "tests/support/tempdir.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QSpinBox>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

#include <string>
#include <tuple>

namespace {

// Keeps the global settings of one test away from the others.
class OptionsDialog : public ::testing::Test {
protected:
    void SetUp() override {
        Saved = GlobalVars;
        TScriptedServices::Current().Reset();
    }
    void TearDown() override { GlobalVars = Saved; }
    TGlobalVars Saved;
};

void TypeFolder(TFormOptions& dialog, const QString& text) {
    dialog.EditOutputDir->clear();
    QTest::keyClicks(dialog.EditOutputDir, text);
}

} // namespace

TEST_F(OptionsDialog, ControlsSitAtTheirBoundsWithTheirCaptions) {
    TFormOptions dialog;
    EXPECT_EQ(dialog.windowTitle(), "Options");
    EXPECT_EQ(dialog.size(), QSize(340, 381));
    EXPECT_EQ(dialog.minimumSize(), dialog.maximumSize());

    struct TExpected {
        QWidget* Control;
        QRect Bounds;
        QString Caption;
    };
    const TExpected expected[] = {
        {dialog.GroupBox1, {7, 5, 325, 156}, "Select out directory"},
        {dialog.RadioButtonSame, {8, 29, 313, 17}, "&Same as input file folder"},
        {dialog.RadioButtonNew, {8, 53, 313, 17}, "&Choose directory"},
        {dialog.EditOutputDir, {8, 77, 289, 21}, ""},
        {dialog.SpeedButtonOutputDir, {297, 77, 25, 23}, ""},
        {dialog.CheckBoxOpen, {8, 107, 305, 17}, "&Open out directory when done decoding"},
        {dialog.CheckBoxKeepTree, {8, 131, 184, 17}, "Keep the folder &tree below:"},
        {dialog.EditTreeBase, {194, 129, 103, 21}, ""},
        {dialog.SpeedButtonTreeBase, {297, 129, 25, 23}, ""},
        {dialog.CheckBoxDeleteFileAfterProcessing,
         {15, 170, 313, 17},
         "&Delete source file after processing"},
        {dialog.CheckBoxPlaySound, {15, 194, 313, 17}, "&Play a sound when done decodeing"},
        {dialog.SpinEditDecoders, {170, 218, 90, 21}, ""},
        {dialog.CheckBoxKeepTags, {15, 242, 313, 17}, "&Keep tags and cover art"},
        {dialog.ComboBoxWavFormat, {95, 266, 235, 21}, ""},
        {dialog.ComboBoxWavRate, {95, 290, 74, 21}, ""},
        {dialog.ComboBoxWavChannels, {171, 290, 68, 21}, ""},
        {dialog.ComboBoxWavSample, {241, 290, 89, 21}, ""},
        {dialog.ComboBoxExistingWav, {170, 314, 160, 21}, ""},
        {dialog.Bevel1, {7, 346, 324, 9}, ""},
        {dialog.SpeedButton1, {87, 354, 75, 23}, "OK"},
        {dialog.SpeedButton2, {172, 354, 75, 23}, "Cancel"},
        {dialog.SpeedButton3, {257, 354, 75, 23}, "&Help"},
    };
    for (const auto& item : expected) {
        EXPECT_EQ(item.Control->geometry(), item.Bounds) << item.Caption.toStdString();
        QString caption;
        if (auto* box = qobject_cast<QGroupBox*>(item.Control)) caption = box->title();
        if (auto* button = qobject_cast<QAbstractButton*>(item.Control)) caption = button->text();
        EXPECT_EQ(caption, item.Caption);
    }
    for (QWidget* inGroup :
         {static_cast<QWidget*>(dialog.RadioButtonSame), static_cast<QWidget*>(dialog.RadioButtonNew),
          static_cast<QWidget*>(dialog.EditOutputDir), static_cast<QWidget*>(dialog.SpeedButtonOutputDir),
          static_cast<QWidget*>(dialog.CheckBoxOpen), static_cast<QWidget*>(dialog.CheckBoxKeepTree),
          static_cast<QWidget*>(dialog.EditTreeBase), static_cast<QWidget*>(dialog.SpeedButtonTreeBase)})
        EXPECT_EQ(inGroup->parentWidget(), dialog.GroupBox1);

    // The browse button is a flat picture button, disabled until "Choose directory" is picked.
    EXPECT_TRUE(dialog.SpeedButtonOutputDir->autoRaise());
    EXPECT_FALSE(dialog.SpeedButtonOutputDir->icon().isNull());
    EXPECT_FALSE(dialog.SpeedButtonOutputDir->isEnabled());
    for (QToolButton* button : {dialog.SpeedButton1, dialog.SpeedButton2, dialog.SpeedButton3})
        EXPECT_TRUE(button->autoRaise());

    // The first control that takes the keyboard focus is "Same as input file folder".
    QWidget* first = dialog.nextInFocusChain();
    while (first != &dialog && !(first->focusPolicy() & Qt::TabFocus))
        first = first->nextInFocusChain();
    EXPECT_EQ(first, dialog.RadioButtonSame);
}

TEST_F(OptionsDialog, EveryChoiceIsDescribedOnItsHelpPage) {
    QFile page(QStringLiteral(WAVESMITH_FIXTURES "/../../data/help/Options.htm"));
    ASSERT_TRUE(page.open(QIODevice::ReadOnly));
    const QString help = QString::fromUtf8(page.readAll());
    TFormOptions dialog;
    QStringList captions;
    for (const QAbstractButton* choice : dialog.findChildren<QAbstractButton*>())
        if (qobject_cast<const QCheckBox*>(choice) || qobject_cast<const QRadioButton*>(choice))
            captions << choice->text();
    for (const QLabel* label : dialog.findChildren<QLabel*>())
        if (label->buddy()) captions << label->text();
    ASSERT_GE(captions.size(), 7);
    for (QString caption : captions) {
        caption.remove(QLatin1Char('&')).remove(QLatin1Char(':'));
        // The first four words: the help need not repeat a caption's slip of the pen.
        const QString named = caption.split(QLatin1Char(' ')).mid(0, 4).join(QLatin1Char(' '));
        EXPECT_TRUE(help.contains(named, Qt::CaseInsensitive)) << named.toStdString();
    }
}

TEST_F(OptionsDialog, ShownWithItsOwnBackgroundColour) {
    TFormOptions dialog;
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    const QImage picture = dialog.grab().toImage();
    EXPECT_EQ(picture.pixelColor(2, 2), QColor(239, 235, 231));
    EXPECT_EQ(picture.pixelColor(336, 195), QColor(239, 235, 231));
}

TEST_F(OptionsDialog, SameFolderGreysTheFolderControlsAndKeepsTheOpenBox) {
    GlobalVars.OutDir = "   ";
    GlobalVars.tmpOutDir = "/wav/";
    GlobalVars.AutoOpen = true;
    TFormOptions dialog;
    dialog.LoadFromSettings();
    dialog.show();
    EXPECT_TRUE(dialog.RadioButtonSame->isChecked());
    EXPECT_FALSE(dialog.RadioButtonNew->isChecked());
    EXPECT_FALSE(dialog.EditOutputDir->isEnabled());
    EXPECT_FALSE(dialog.SpeedButtonOutputDir->isEnabled());
    EXPECT_FALSE(dialog.CheckBoxOpen->isEnabled());
    EXPECT_FALSE(dialog.CheckBoxKeepTree->isEnabled());
    EXPECT_FALSE(dialog.EditTreeBase->isEnabled());
    EXPECT_EQ(dialog.EditOutputDir->text(), "/wav/");
    EXPECT_TRUE(dialog.CheckBoxOpen->isChecked());

    // A click on the greyed box changes nothing.
    QTest::mouseClick(dialog.CheckBoxOpen, Qt::LeftButton, {}, QPoint(6, 8));
    EXPECT_TRUE(dialog.CheckBoxOpen->isChecked());

    QTest::mouseClick(dialog.RadioButtonNew, Qt::LeftButton, {}, QPoint(6, 8));
    EXPECT_TRUE(dialog.EditOutputDir->isEnabled());
    EXPECT_TRUE(dialog.SpeedButtonOutputDir->isEnabled());
    EXPECT_TRUE(dialog.CheckBoxOpen->isEnabled());
    EXPECT_TRUE(dialog.CheckBoxKeepTree->isEnabled());
    EXPECT_FALSE(dialog.SpeedButtonTreeBase->isEnabled()); // until the tree is to be kept
    EXPECT_EQ(dialog.EditOutputDir->selectedText(), "/wav/");
    QTest::mouseClick(dialog.CheckBoxOpen, Qt::LeftButton, {}, QPoint(6, 8));
    EXPECT_FALSE(dialog.CheckBoxOpen->isChecked());

    // Back to the same folder: the box greys but its new state is still stored.
    QTest::mouseClick(dialog.RadioButtonSame, Qt::LeftButton, {}, QPoint(6, 8));
    EXPECT_FALSE(dialog.CheckBoxOpen->isEnabled());
    dialog.SaveToSettings();
    EXPECT_FALSE(GlobalVars.AutoOpen);
    EXPECT_EQ(GlobalVars.OutDir, "");
    EXPECT_EQ(GlobalVars.tmpOutDir, "/wav/");
}

TEST_F(OptionsDialog, AltCPutsTheCaretInTheFolderBoxAndEnterMeansOk) {
    GlobalVars.OutDir.clear();
    GlobalVars.tmpOutDir = "/wav/";
    TFormOptions dialog;
    dialog.LoadFromSettings();
    dialog.show();
    dialog.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
    QTest::keyClick(&dialog, Qt::Key_F, Qt::AltModifier);
    ASSERT_TRUE(WaitFor([&] { return dialog.ComboBoxWavFormat->hasFocus(); }, 5000));
    QTest::keyClick(&dialog, Qt::Key_C, Qt::AltModifier);
    ASSERT_TRUE(WaitFor([&] { return dialog.EditOutputDir->hasFocus(); }, 5000));
    EXPECT_TRUE(dialog.RadioButtonNew->isChecked());
    EXPECT_EQ(dialog.EditOutputDir->selectedText(), "/wav/");
    QTest::keyClick(dialog.EditOutputDir, Qt::Key_Return);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
}

TEST_F(OptionsDialog, ChosenFolderIsTrimmedAndEndsWithTheSeparator) {
    GlobalVars.OutDir = "/music/";
    GlobalVars.tmpOutDir = "/music/";
    GlobalVars.Delete = false;
    GlobalVars.PlaySound = true;
    GlobalVars.Decoders = 0;
    GlobalVars.DecodersStored = false;
    GlobalVars.KeepTags = true;
    GlobalVars.KeepTagsStored = false;
    GlobalVars.WavFormat = "mp3";
    GlobalVars.WavFormatStored = false;
    GlobalVars.KeepTree = false;
    GlobalVars.TreeBase = "/albums/";
    GlobalVars.TreeStored = false;
    GlobalVars.WavCustomStored = GlobalVars.ExistingWavStored = false;
    TFormOptions dialog;
    dialog.LoadFromSettings();
    dialog.show();
    EXPECT_EQ(dialog.SpinEditDecoders->text(), "One per core");
    EXPECT_TRUE(dialog.RadioButtonNew->isChecked());
    EXPECT_EQ(dialog.focusWidget(), dialog.RadioButtonNew) << "opens on the checked choice";
    EXPECT_TRUE(dialog.EditOutputDir->isEnabled());
    EXPECT_FALSE(dialog.CheckBoxDeleteFileAfterProcessing->isChecked());
    EXPECT_TRUE(dialog.CheckBoxPlaySound->isChecked());

    TypeFolder(dialog, " /wav ");
    QTest::mouseClick(dialog.CheckBoxDeleteFileAfterProcessing, Qt::LeftButton, {}, QPoint(6, 8));
    QTest::mouseClick(dialog.CheckBoxPlaySound, Qt::LeftButton, {}, QPoint(6, 8));
    dialog.SaveToSettings();
    EXPECT_FALSE(GlobalVars.DecodersStored); // untouched: the file keeps its keys
    EXPECT_FALSE(GlobalVars.KeepTagsStored);
    EXPECT_FALSE(GlobalVars.WavFormatStored);
    EXPECT_EQ(GlobalVars.WavFormat, "mp3");
    EXPECT_FALSE(GlobalVars.TreeStored);
    EXPECT_EQ(dialog.EditTreeBase->text(), "/albums/");
    EXPECT_TRUE(dialog.CheckBoxKeepTags->isChecked());
    // The WAV format's choice is stored from the first change on.
    EXPECT_EQ(dialog.ComboBoxWavFormat->currentText(), "As the MP3 (16-bit)");
    EXPECT_EQ(dialog.ComboBoxWavFormat->count(), 5);
    dialog.ComboBoxWavFormat->setCurrentIndex(1);
    dialog.SaveToSettings();
    EXPECT_EQ(GlobalVars.WavFormat, "cd");
    EXPECT_TRUE(GlobalVars.WavFormatStored);
    GlobalVars.WavFormat = "f32";
    dialog.LoadFromSettings();
    EXPECT_EQ(dialog.ComboBoxWavFormat->currentIndex(), 3);
    // The custom row follows "Custom..."; it and the existing-file choice are stored once changed.
    EXPECT_FALSE(dialog.ComboBoxWavRate->isEnabled());
    dialog.ComboBoxWavFormat->setCurrentIndex(4);
    EXPECT_TRUE(dialog.ComboBoxWavRate->isEnabled() && dialog.ComboBoxWavSample->isEnabled());
    dialog.SaveToSettings();
    EXPECT_FALSE(GlobalVars.WavCustomStored || GlobalVars.ExistingWavStored);
    dialog.ComboBoxWavChannels->setCurrentIndex(1);
    dialog.ComboBoxExistingWav->setCurrentIndex(1);
    dialog.SaveToSettings();
    EXPECT_EQ(std::tie(GlobalVars.WavFormat, GlobalVars.WavChannels, GlobalVars.ExistingWav),
              std::make_tuple(std::string("custom"), 1, std::string("skip")));
    EXPECT_TRUE(GlobalVars.WavCustomStored && GlobalVars.ExistingWavStored);
    QTest::mouseClick(dialog.CheckBoxKeepTree, Qt::LeftButton, {}, QPoint(6, 8));
    EXPECT_TRUE(dialog.EditTreeBase->isEnabled());
    dialog.EditTreeBase->setText(" /music ");
    dialog.SpinEditDecoders->setValue(2);
    QTest::mouseClick(dialog.CheckBoxKeepTags, Qt::LeftButton, {}, QPoint(6, 8));
    dialog.SaveToSettings();
    EXPECT_FALSE(GlobalVars.KeepTags);
    EXPECT_TRUE(GlobalVars.KeepTagsStored);
    EXPECT_TRUE(GlobalVars.KeepTree);
    EXPECT_EQ(GlobalVars.TreeBase, "/music/");
    EXPECT_TRUE(GlobalVars.TreeStored);
    EXPECT_EQ(GlobalVars.OutDir, "/wav/");
    EXPECT_EQ(GlobalVars.tmpOutDir, "/wav/");
    EXPECT_TRUE(GlobalVars.Delete);
    EXPECT_FALSE(GlobalVars.PlaySound);
    EXPECT_EQ(GlobalVars.Decoders, 2);
    EXPECT_TRUE(GlobalVars.DecodersStored);

    // An empty box is the root folder.
    TypeFolder(dialog, "  ");
    dialog.SaveToSettings();
    EXPECT_EQ(GlobalVars.OutDir, "/");
    EXPECT_EQ(GlobalVars.tmpOutDir, "/");

    // A folder whose name is not valid text is kept as it was while the box is left alone.
    GlobalVars.OutDir = GlobalVars.tmpOutDir = "/caf\xE9/";
    dialog.LoadFromSettings();
    dialog.SaveToSettings();
    EXPECT_EQ(GlobalVars.OutDir, "/caf\xE9/");
}

TEST_F(OptionsDialog, BrowserStartsFromTheBoxOrItsLastChoice) {
    auto& services = TScriptedServices::Current();
    GlobalVars.OutDir = "/a";
    GlobalVars.tmpOutDir = "/a";
    TFormOptions dialog;
    dialog.LoadFromSettings();
    dialog.show();

    services.FolderChoices = {std::string("/b"), std::string("/c/"), std::nullopt, std::nullopt};
    QTest::mouseClick(dialog.SpeedButtonOutputDir, Qt::LeftButton);
    EXPECT_EQ(dialog.EditOutputDir->text(), "/b/");

    // With an empty box the browser starts where it was last left.
    TypeFolder(dialog, " ");
    QTest::mouseClick(dialog.SpeedButtonOutputDir, Qt::LeftButton);
    EXPECT_EQ(dialog.EditOutputDir->text(), "/c/");

    // A cancelled browse changes nothing and forgets the last choice.
    TypeFolder(dialog, "");
    QTest::mouseClick(dialog.SpeedButtonOutputDir, Qt::LeftButton);
    EXPECT_EQ(dialog.EditOutputDir->text(), "");
    QTest::mouseClick(dialog.SpeedButtonOutputDir, Qt::LeftButton);

    const auto browses = services.CallsOf(TServiceCall::BrowseForFolder);
    ASSERT_EQ(browses.size(), 4u);
    EXPECT_EQ(browses[0]->Caption, "Browse for folder");
    EXPECT_EQ(browses[0]->Text, "Choose folder where decoded waves should be saved:");
    const char* const initial[] = {"/a", "/b", "/c/", ""};
    for (size_t i = 0; i < browses.size(); ++i) {
        ASSERT_EQ(browses[i]->Captions.size(), 1u);
        EXPECT_EQ(browses[i]->Captions[0], initial[i]) << "browse " << i;
    }
}
