// The checks before a batch: decoder present, list not empty, input and output different,
// and the overwrite question with Yes to All and for two entries writing one output.
#include "tests/engine/batchfixture.h"

#include "engine/namecheck.h"
#include "settings/errors.h"
#include "settings/paths.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace {

class BatchChecks : public TBatchTest {
protected:
    void ExpectNothingStarted() {
        EXPECT_EQ(GlobalVars.BatchState, bsIdle);
        EXPECT_FALSE(LogFileExists());
    }
};

} // namespace

TEST_F(BatchChecks, MissingDecoderIsNamedAndNothingStarts) {
    AddSource("a.mp3");
    GlobalVars.DecoderPath = Dir.Path() + "gone/utils.exe";
    Decode();
    const auto boxes = Dialogs.CallsOf(TServiceCall::MessageBox);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0]->Text, "The file \"" + Dir.Path() + "gone/utils.exe\" couldn't be found.");
    EXPECT_EQ(boxes[0]->Caption, "Hint");
    EXPECT_EQ(boxes[0]->Flags, MB_OK | MB_ICONEXCLAMATION);
    ExpectNothingStarted();
}

TEST_F(BatchChecks, EmptyListIsRefused) {
    Decode();
    const auto boxes = Dialogs.CallsOf(TServiceCall::MessageBox);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0]->Text, "There are no files to decode!");
    EXPECT_EQ(boxes[0]->Caption, "Hint");
    ExpectNothingStarted();
}

TEST_F(BatchChecks, OutputThatIsTheInputBlocksTheWholeBatch) {
    AddSource("a.mp3");
    AddSource("b.wav");
    Decode();
    const auto dialogs = Dialogs.CallsOf(TServiceCall::MessageDialog);
    ASSERT_EQ(dialogs.size(), 1u);
    EXPECT_EQ(dialogs[0]->Text, "Input file and output file must be different!");
    EXPECT_EQ(dialogs[0]->Caption, "Information");
    EXPECT_EQ(dialogs[0]->Type, TMsgDlgType::mtInformation);
    EXPECT_EQ(dialogs[0]->Buttons, mbOK);
    ExpectNothingStarted();
    EXPECT_FALSE(FileExists(Music("a.wav")));
}

TEST_F(BatchChecks, YesToAllAtTheFirstQuestionStartsWithoutMore) {
    AddSource("a.mp3");
    AddSource("b.mp3");
    Dir.WriteFile("music/a.wav", "old a");
    Dir.WriteFile("music/b.wav", "old b");
    Scripts = {Decoder::Good()};
    Dialogs.Answers = {mrYesToAll};
    Decode();
    const auto dialogs = Dialogs.CallsOf(TServiceCall::MessageDialog);
    ASSERT_EQ(dialogs.size(), 1u);
    EXPECT_EQ(dialogs[0]->Text,
              "File \"" + Music("a.wav") + "\" already exists.\r\n\r\nAre you sure overwrite it?");
    EXPECT_EQ(dialogs[0]->Caption, "Overwrite file?");
    EXPECT_EQ(dialogs[0]->Type, TMsgDlgType::mtConfirmation);
    EXPECT_EQ(dialogs[0]->Buttons, mbYes | mbNo | mbCancel | mbYesToAll);
    EXPECT_EQ(GlobalVars.FilesDecoded, 2);
    EXPECT_EQ(Dir.ReadFile("music/b.wav"), Decoder::WavBytes(""));
}

TEST_F(BatchChecks, YesAsksAgainAndNoStartsNothing) {
    AddSource("a.mp3");
    AddSource("b.mp3");
    Dir.WriteFile("music/a.wav", "old a");
    Dir.WriteFile("music/b.wav", "old b");
    Dialogs.Answers = {mrYes, mrNo};
    Decode();
    EXPECT_EQ(Dialogs.CallsOf(TServiceCall::MessageDialog).size(), 2u);
    ExpectNothingStarted();
    EXPECT_EQ(Dir.ReadFile("music/a.wav"), "old a");
}

TEST_F(BatchChecks, EntriesWritingOneOutputAreAskedAboutOnceForTheWholeList) {
    const std::string out = Dir.MakeDir("out");
    GlobalVars.OutDir = out;
    for (const char* folder : {"one/", "two/", "three/"})
        AddSource("a.mp3", "x", folder);
    for (int i = 0; i < 7; ++i)
        AddSource("b" + std::to_string(i) + ".mp3", "x", i % 2 ? "one/" : "two/");
    AddSource("b0.mp3", "x", "one/");
    // Made from the first "a.mp3" in an earlier batch: it names that source.
    const std::string source = Dir.Path() + "one/a.mp3";
    const std::string before = Decoder::Marked(Decoder::WavBytes(""), source);
    Dir.WriteFile("out/a.wav", before);
    Dialogs.Answers = {mrYes, mrCancel};
    Decode();
    const auto dialogs = Dialogs.CallsOf(TServiceCall::MessageDialog);
    ASSERT_EQ(dialogs.size(), 2u) << dialogs[0]->Text;
    // The count of the later entries and their names, the first ones only.
    EXPECT_EQ(dialogs[0]->Text.rfind("3 files ", 0), 0u) << dialogs[0]->Text;
    EXPECT_NE(dialogs[0]->Text.find(out + "b0.wav"), std::string::npos);
    EXPECT_EQ(dialogs[0]->Type, TMsgDlgType::mtConfirmation);
    // Then the file that existed before the batch, under its own name.
    EXPECT_EQ(dialogs[1]->Text,
              "File \"" + out + "a.wav\" already exists.\r\n\r\nAre you sure overwrite it?");
    ExpectNothingStarted();
    EXPECT_EQ(Dir.ReadFile("out/a.wav"), before);
}

TEST_F(BatchChecks, MissingOutputFolderIsCreatedAndChecksLookBesideTheSources) {
    const std::string out = Dir.Path() + "new/";
    GlobalVars.OutDir = out;
    AddSource("a.mp3");
    Dir.WriteFile("music/a.wav", "beside");
    Scripts = {Decoder::Good()};
    Dialogs.Answers = {mrYes};
    Decode();
    const auto dialogs = Dialogs.CallsOf(TServiceCall::MessageDialog);
    ASSERT_EQ(dialogs.size(), 1u);
    EXPECT_NE(dialogs[0]->Text.find(Music("a.wav")), std::string::npos);
    EXPECT_EQ(Dir.ReadFile("new/a.wav"), Decoder::WavBytes(""));
    EXPECT_EQ(Dir.ReadFile("music/a.wav"), "beside");
}

// A chosen folder, or a subfolder of the kept tree, that cannot be made: the file fails with the
// folder and the system's reason in the log and in a plain box, and the batch stops there.
TEST_F(BatchChecks, OutputFolderThatCannotBeCreatedFailsItsFileNamingTheFolder) {
    Dir.WriteFile("out/sub", "a file where the tree's folder should be");
    for (const bool tree : {false, true}) {
        Form->FileList->Clear();
        Dialogs.Reset();
        GlobalVars.OutDir = Dir.Path() + (tree ? "out/" : "no/such/");
        GlobalVars.KeepTree = tree;
        GlobalVars.TreeBase = Dir.Path() + "music/";
        GlobalVars.TreeStored = tree;
        const std::string a = AddSource("a.mp3", "a", tree ? "music/sub/" : "music/");
        AddSource("b.mp3");
        Scripts = {Decoder::Good()};
        Dialogs.Answers = {IDNO, IDNO};
        Decode();
        const std::string folder = tree ? Dir.Path() + "out/sub/" : GlobalVars.OutDir;
        const std::string why = std::strerror(tree ? EEXIST : ENOENT);
        EXPECT_EQ(GlobalVars.RunLog.at(1), "Reason: cannot create the output folder " + folder + ": " + why);
        EXPECT_EQ(GlobalVars.FilesDecoded, 0) << "the batch stops at the folder";
        EXPECT_EQ(ListedNames(), (TLines{"b.mp3", "a.mp3"}));
        ASSERT_TRUE(WaitFor([this] { return Dialogs.CallsOf(TServiceCall::MessageBox).size() == 2; }, 5000));
        const auto boxes = Dialogs.CallsOf(TServiceCall::MessageBox);
        const std::string told = "Cannot create the output folder " + folder + ": " + why;
        EXPECT_TRUE(boxes[0]->Text == told || boxes[1]->Text == told);
    }
}

// A name longer than the output's drive allows fails before any decode, its entry kept; the other
// files are decoded. On a FAT drive (where the test is given one) its characters are checked too.
TEST_F(BatchChecks, NamesTheDriveCannotHoldFailBeforeAnyDecode) {
    const std::string longName(252, 'x'); // 256 bytes with ".wav"
    const std::string a = AddSource(longName);
    AddSource("b.mp3");
    Scripts = {Decoder::Good()};
    Dialogs.Answers = {IDNO};
    Decode();
    EXPECT_EQ(GlobalVars.FilesDecoded, 1);
    EXPECT_EQ(ListedNames(), TLines{longName});
    EXPECT_EQ(GlobalVars.RunLog.at(0), "An error occurred while trying to decode \"" + a + "\"!");
    EXPECT_NE(GlobalVars.RunLog.at(1).find("256 bytes"), std::string::npos) << GlobalVars.RunLog.at(1);
    const char* fat = std::getenv("WAVESMITH_FAT_DIR");
    if (!fat || !*fat)
        GTEST_SKIP() << "no FAT drive given (WAVESMITH_FAT_DIR): its characters are not checked";
    EXPECT_NE(NameProblem("a:b.wav", NameRulesOf(fat)).find("\":\""), std::string::npos);
}
