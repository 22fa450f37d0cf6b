// End to end with the real decoder: Decode on a list of real MP3 files makes the WAV files that
// utils.exe makes by hand, empties the list and its saved form file by file, and writes the log.
#include "tests/engine/batchfixture.h"

#include "engine/outputcheck.h"
#include "settings/paths.h"
#include "tests/support/restoredlist.h"

#include <QProcess>

#include <chrono>
#include <optional>

namespace {

class BatchDecode : public TBatchTest {
protected:
    void SetUp() override {
        TBatchTest::SetUp();
        const QString decoder = QString::fromStdString(GlobalVars.DecoderPath);
        QFile::remove(decoder);
        ASSERT_TRUE(QFile::copy(QString::fromStdString(BinaryPath("utils.exe")), decoder));
        BuildAcceptedTypes();
    }
    // A fixture copied into the list, under another name when one is given.
    std::string AddFixture(const std::string& name, std::string as = {}) {
        if (as.empty()) as = name;
        const std::string target = Dir.Path() + "music/" + as;
        QFile source(QString::fromStdString(std::string(WAVESMITH_FIXTURES) + "/" + name));
        EXPECT_TRUE(source.open(QIODevice::ReadOnly));
        Dir.WriteFile("music/" + as, source.readAll().toStdString());
        Form->AddFile(target);
        return target;
    }
    // What utils.exe writes when run by hand.
    std::string ByHand(const std::string& source, const QStringList& options = {}) {
        const std::string output = Dir.MakeDir("byhand") + ExtractFileName(ChangeFileExt(source, ".wav"));
        QProcess::execute(QString::fromStdString(BinaryPath("utils.exe")),
                          QStringList{"--decode", QString::fromStdString(source),
                                      QString::fromStdString(output), "--overwrite"} +
                              options);
        return Dir.ReadFile("byhand/" + ExtractFileName(output));
    }
};

} // namespace

TEST_F(BatchDecode, RealFilesBecomeTheSameWavFilesAndADamagedOneStays) {
    const std::vector<std::string> names = {"cbr_stereo_44k.mp3", "vbr_stereo_44k.mp3", "mono_44k.mp3",
                                            "layer2_48k.mp3"};
    std::vector<std::string> sources;
    for (const std::string& name : names)
        sources.push_back(AddFixture(name));
    const std::string damaged = Dir.WriteFile("music/notes.mp3", "these are not MPEG frames\n");
    Form->AddFile(damaged);
    Form->SaveFileList();
    ASSERT_EQ(Form->FileList->Count(), 5);

    // The saved list follows the batch: after each file it holds exactly the files not yet done.
    std::vector<std::string> savedLists;
    OnNextFile = [&] { savedLists.push_back(RestoredSavedList(SavedListPath())); };
    Dialogs.Answers = {IDNO};
    Decode(120000);

    EXPECT_EQ(GlobalVars.FilesDecoded, 4);
    EXPECT_EQ(GlobalVars.FilesFailed, 1);
    for (const std::string& source : sources) {
        const std::string wav = Dir.ReadFile("music/" + ExtractFileName(ChangeFileExt(source, ".wav")));
        EXPECT_GT(wav.size(), 44u) << source;
        EXPECT_TRUE(wav == ByHand(source)) << source;
    }
    EXPECT_EQ(ListedNames(), TLines{"notes.mp3"});
    EXPECT_TRUE(FileExists(damaged));
    EXPECT_FALSE(FileExists(Music("notes.wav")));
    ASSERT_EQ(savedLists.size(), 4u);
    EXPECT_EQ(savedLists[0].find(sources[0]), std::string::npos);
    EXPECT_NE(savedLists[0].find(sources[1]), std::string::npos);
    const std::string finalList = RestoredSavedList(SavedListPath());
    EXPECT_NE(finalList.find(damaged), std::string::npos);
    for (const std::string& source : sources)
        EXPECT_EQ(finalList.find(source), std::string::npos);
    const TLines expected = {
        "",
        "",
        "",
        "",
        "An error occurred while trying to decode \"" + damaged + "\"!",
        "Reason: no MPEG audio found in input file \"" + damaged + "\"", // the decoder's own line
        "",
        "Decoded 4 files in ",
        "One file couldn't be decoded,probably wrong format or using with other application."};
    ASSERT_EQ(GlobalVars.RunLog.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i)
        EXPECT_EQ(WithoutTime(GlobalVars.RunLog[i]), WithoutTime(expected[i])) << i;
}

TEST_F(BatchDecode, TagsGoIntoTheWavFilesUnlessSwitchedOff) {
    for (const bool keep : {true, false}) {
        GlobalVars.KeepTags = keep;
        const std::string source = AddFixture("id3v2_large.mp3", keep ? "kept.mp3" : "plain.mp3");
        Decode(120000);
        const std::string wav = Dir.ReadFile(keep ? "music/kept.wav" : "music/plain.wav");
        const std::string tagged = ByHand(source), plain = ByHand(source, {"--no-tags"});
        EXPECT_NE(tagged, plain);
        EXPECT_TRUE(wav == (keep ? tagged : plain)) << keep;
    }
}

// Each choice but the default adds its options; the default's file is the plain command line's.
TEST_F(BatchDecode, TheChosenWavFormatReachesTheDecoder) {
    for (const auto& [format, options] : std::vector<std::pair<std::string, QStringList>>{
             {"cd", {"--cd"}},
             {"f32", {"--format", "f32"}},
             {"mp3", {}},
             {"custom", {"--format", "s16", "--rate", "22050", "--channels", "1"}}}) {
        GlobalVars.WavFormat = format;
        GlobalVars.WavRate = 22050;
        GlobalVars.WavChannels = 1;
        const std::string source = AddFixture("layer2_48k.mp3", format + ".mp3");
        Decode(120000);
        const std::string wav = Dir.ReadFile("music/" + format + ".wav");
        EXPECT_TRUE(wav == ByHand(source, options)) << format;
        EXPECT_EQ(wav == ByHand(source), format == "mp3") << format;
    }
}

TEST_F(BatchDecode, DeleteRemovesOnlyDecodedSources) {
    GlobalVars.Delete = true;
    const std::string good = AddFixture("mono_44k.mp3");
    // A name that is not valid text (Latin-1) is decoded, counted and deleted like any other.
    const std::string latin = AddFixture("mono_44k.mp3", "caf\xE9.mp3");
    ASSERT_EQ(Form->FileList->Item(1).Size, FileSizeOf(good));
    const std::string damaged = Dir.WriteFile("music/short.mp3", std::string("\xFF\xFB\x90\x64", 4) + "junk");
    Form->AddFile(damaged);
    Dialogs.Answers = {IDNO};
    Decode(60000);
    EXPECT_EQ(GlobalVars.FilesDecoded, 2);
    EXPECT_FALSE(FileExists(good));
    EXPECT_FALSE(FileExists(latin));
    EXPECT_TRUE(FileExists(Music("mono_44k.wav")));
    EXPECT_EQ(FileSizeOf(Music("caf\xE9.wav")), FileSizeOf(Music("mono_44k.wav")));
    EXPECT_TRUE(FileExists(damaged));
}

// Only the output that existed before the batch, and that the user agreed to replace, is replaced:
// one that appears meanwhile (another run's on the same folder) stays, and so does its source.
TEST_F(BatchDecode, OnlyAnOutputTheUserAgreedToReplaceIsReplaced) {
    GlobalVars.Delete = true;
    const std::string agreed = AddFixture("mono_44k.mp3", "agreed.mp3");
    const std::string raced = AddFixture("mono_44k.mp3", "raced.mp3");
    const std::string decoded = ByHand(agreed);
    Dir.WriteFile("music/agreed.wav", "before the batch");
    OnNextFile = [this] { Dir.WriteFile("music/raced.wav", "another run's"); };
    Dialogs.Answers = {mrYes, IDNO};
    Decode(60000);
    EXPECT_TRUE(Dir.ReadFile("music/agreed.wav") == decoded);
    EXPECT_FALSE(FileExists(agreed));
    EXPECT_EQ(Dir.ReadFile("music/raced.wav"), "another run's");
    EXPECT_TRUE(FileExists(raced));
    EXPECT_EQ(GlobalVars.FilesFailed, 1);
    const auto failed = std::find(GlobalVars.RunLog.begin(), GlobalVars.RunLog.end(),
                                  "An error occurred while trying to decode \"" + raced + "\"!");
    ASSERT_NE(failed, GlobalVars.RunLog.end());
    ASSERT_NE(failed + 1, GlobalVars.RunLog.end());
    EXPECT_EQ(failed[1],
              "Reason: output file \"" + Music("raced.wav") + "\" already exists and was not replaced");
}

// Albums whose tracks share names, into one folder with Delete on and Enter at every question: a
// batch stopped as the second album starts and resumed by a new window, then later batches meeting
// those WAV files (numbered, or in the folder tree), give every source a WAV file of its own.
TEST_F(BatchDecode, ReRunsIntoOneFolderGiveEverySourceItsOwnWav) {
    const std::string out = Dir.MakeDir("out");
    const auto settings = [&] {
        GlobalVars.DecoderPath = Dir.Path() + "utils.exe";
        GlobalVars.OutDir = out;
        GlobalVars.Delete = true;
        GlobalVars.TreeBase = Dir.Path() + "music/";
    };
    settings();
    Dialogs.OnQuestion = [](const TServiceCall& call) {
        return call.Kind == TServiceCall::MessageDialog ? std::optional<int>(mrYes) : std::nullopt;
    };
    const std::string a = AddFixture("mono_44k.mp3", "A/01.mp3"),
                      b = AddFixture("layer2_48k.mp3", "B/01.mp3");
    OnNextFile = [] { GlobalVars.BatchState = bsStopNow; };
    Decode(120000);
    OnNextFile = nullptr;
    Form->removeEventFilter(&Hook);
    Form = std::make_unique<TFormMain>();
    QCoreApplication::sendPostedEvents(Form.get(), WM_STARTUP);
    Form->installEventFilter(&Hook);
    settings();
    ASSERT_EQ(ListedNames(), TLines{"01.mp3"});
    Decode(120000);
    const std::string c = AddFixture("cbr_stereo_44k.mp3", "C/01.mp3");
    Decode(120000);
    Dialogs.OnQuestion = [](const TServiceCall& call) {
        return std::optional<int>(call.Kind == TServiceCall::MessageDialog ? mrNo : IDNO);
    };
    const std::string d = AddFixture("mono_44k.mp3", "D/01.mp3");
    Decode(120000);
    for (const auto& [source, wav] : std::vector<std::pair<std::string, std::string>>{
             {a, "01.wav"}, {b, "01 (2).wav"}, {c, "01 (3).wav"}, {d, "D/01.wav"}}) {
        EXPECT_EQ(CheckWavFile(out + wav).Source, source) << wav;
        EXPECT_TRUE(CheckWavFile(out + wav).Whole && !FileExists(source)) << wav;
    }
    for (const TServiceCall& call : Dialogs.Calls)
        EXPECT_NE(call.Caption, "Overwrite file?");
}

// "Skip it": a whole WAV file not older than its source starts no decoder and keeps its source;
// one cut short, or older than its source, is asked about as with "Ask".
TEST_F(BatchDecode, SkipLeavesFinishedWavFilesAndAsksAboutTheRest) {
    GlobalVars.ExistingWav = "skip";
    GlobalVars.Delete = true;
    std::vector<std::string> sources;
    for (const char* name : {"done.mp3", "cut.mp3", "old.mp3", "new.mp3"})
        sources.push_back(AddFixture("mono_44k.mp3", name));
    const std::string wav = ByHand(sources[0]);
    Dir.WriteFile("music/done.wav", wav);
    Dir.WriteFile("music/cut.wav", wav.substr(0, wav.size() - 100));
    const auto old =
        std::filesystem::last_write_time(Dir.WriteFile("music/old.wav", wav)) - std::chrono::hours(1);
    std::filesystem::last_write_time(sources[2], old + std::chrono::minutes(1));
    std::filesystem::last_write_time(Music("old.wav"), old);
    Dialogs.Answers = {mrYes, mrYes};
    Decode(120000);
    const auto asked = Dialogs.CallsOf(TServiceCall::MessageDialog);
    ASSERT_EQ(asked.size(), 2u);
    EXPECT_NE(asked[0]->Text.find(Music("cut.wav")), std::string::npos);
    EXPECT_NE(asked[1]->Text.find(Music("old.wav")), std::string::npos);
    EXPECT_EQ(GlobalVars.FilesDecoded, 3);
    EXPECT_TRUE(FileExists(sources[0]) && !FileExists(sources[1]) && !FileExists(sources[3]));
    EXPECT_TRUE(ListedNames().empty());
    EXPECT_TRUE(Dir.ReadFile("music/cut.wav") == wav);
    EXPECT_EQ(GlobalVars.RunLog.front(), "Skipped \"" + sources[0] + "\": its WAV file is made already.");
    EXPECT_EQ(GlobalVars.RunLog.back(), "Skipped one file whose WAV file was made already.");
}
