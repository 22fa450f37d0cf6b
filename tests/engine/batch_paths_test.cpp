// The decoder's command line and the output folder rules.
#include "engine/batchpaths.h"
#include "engine/commandline.h"
#include "settings/errors.h"
#include "settings/fileinfo.h"
#include "settings/paths.h"
#include "tests/support/tempdir.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

TEST(BatchPaths, CommandLineQuotesSourceAndOutput) {
    EXPECT_EQ(DecoderCommandLine("/opt/ws/utils.exe", "/m/a b.mp3", "/o/a b.wav"),
              "/opt/ws/utils.exe --decode \"/m/a b.mp3\" \"/o/a b.wav\"");
    // A blank in the decoder's own folder would split its path.
    EXPECT_EQ(DecoderCommandLine("/opt/my ws/utils.exe", "/a.mp3", "/a.wav"),
              "\"/opt/my ws/utils.exe\" --decode \"/a.mp3\" \"/a.wav\"");
}

TEST(BatchPaths, ThreadsGoAfterThePathsOnlyWhenGiven) {
    EXPECT_EQ(DecoderCommandLine("/opt/ws/utils.exe", "/a.mp3", "/a.wav", 3),
              "/opt/ws/utils.exe --decode \"/a.mp3\" \"/a.wav\" --threads 3");
    // One thread is given too, or the decoder would take every processor.
    EXPECT_EQ(DecoderCommandLine("/opt/ws/utils.exe", "/a.mp3", "/a.wav", 1),
              "/opt/ws/utils.exe --decode \"/a.mp3\" \"/a.wav\" --threads 1");
    EXPECT_EQ(DecoderCommandLine("/opt/ws/utils.exe", "/a.mp3", "/a.wav", 0),
              DecoderCommandLine("/opt/ws/utils.exe", "/a.mp3", "/a.wav"));
    EXPECT_EQ(DecoderCommandLine("/opt/ws/utils.exe", "/a.mp3", "/a.wav", 2, false),
              "/opt/ws/utils.exe --decode \"/a.mp3\" \"/a.wav\" --threads 2 --no-tags");
    // The WAV format's options follow the rest; the default and unknown values add none.
    for (const auto& [format, options] :
         std::vector<std::pair<std::string, std::string>>{{"mp3", ""},
                                                          {"cd", " --cd"},
                                                          {"s24", " --format s24"},
                                                          {"f32", " --format f32"},
                                                          {"custom", " --format s16"},
                                                          {"s16", ""},
                                                          {"", ""}})
        EXPECT_EQ(DecoderFormatOptions(format), options) << format;
    EXPECT_EQ(DecoderCommandLine("/opt/ws/utils.exe", "/a.mp3", "/a.wav", 2, false, true),
              "/opt/ws/utils.exe --decode \"/a.mp3\" \"/a.wav\" --threads 2 --no-tags --overwrite");
}

TEST(BatchPaths, DecodersShareTheProcessorsTheOthersDoNotHold) {
    struct TCase {
        int Cores, InUse, Starting, Expected;
    };
    for (const TCase& c :
         {TCase{8, 0, 4, 2}, // four decoders start at once
          TCase{8, 6, 1, 2}, // one follows an ended one
          TCase{8, 0, 2, 4}, // two files left for four decoders
          TCase{8, 2, 1, 6}, // the last file while one more runs
          TCase{2, 0, 2, 1}, TCase{2, 1, 1, 1}, TCase{4, 0, 3, 1}, TCase{2, 4, 1, 1}}) // never less than one
        EXPECT_EQ(ThreadsForDecoder(c.Cores, c.InUse, c.Starting), c.Expected)
            << c.Cores << " cores, " << c.InUse << " in use, " << c.Starting << " starting";
}

TEST(BatchPaths, CommandLineSplitsBackIntoThePaths) {
    const std::string source = "/m/say \"hi\" -x \xC3\xA9\\.mp3";
    const std::string output = "/o/dir with blanks/say.wav";
    const auto args = SplitCommandLine(DecoderCommandLine("/opt/my ws/utils.exe", source, output));
    EXPECT_EQ(args, (std::vector<std::string>{"/opt/my ws/utils.exe", "--decode", source, output}));
}

TEST(BatchPaths, OutputNameReplacesFromLastDot) {
    EXPECT_EQ(OutputFileName("song.mp3", ".wav"), "song.wav");
    EXPECT_EQ(OutputFileName("a.b.MP3", ".wav"), "a.b.wav");
    EXPECT_EQ(OutputFileName("noext", ".wav"), "noext.wav");
    EXPECT_EQ(OutputFileName("song.wav", ".wav"), "song.wav");
    EXPECT_EQ(NumberedFileName("01 Intro.wav", 2), "01 Intro (2).wav");
    EXPECT_EQ(NumberedFileName("a.b.wav", 12), "a.b (12).wav");
    EXPECT_EQ(NumberedFileName("noext", 3), "noext (3)");
}

// The kept tree: the source's folder below the base, ending in the separator; nothing outside it.
TEST(BatchPaths, TreeSubfolderIsTheSourcesFolderBelowTheBase) {
    EXPECT_EQ(TreeSubfolder("/home/u/Music/Band/Album/", "/home/u/Music/"), "Band/Album/");
    EXPECT_EQ(TreeSubfolder("/home/u/Music/Band/Album", "/home/u/Music"), "Band/Album/");
    EXPECT_EQ(TreeSubfolder("/home/u/Music/", "/home/u/Music/"), "");
    EXPECT_EQ(TreeSubfolder("/home/u/Musical/Album/", "/home/u/Music/"), "");
    EXPECT_EQ(TreeSubfolder("/srv/Album/", "/home/u/Music/"), "");
    EXPECT_EQ(TreeSubfolder("/srv/Album/", "  "), "");
    TTempDir dir;
    ForceFolders(dir.Path() + "out/A/B/");
    EXPECT_TRUE(DirectoryExists(dir.Path() + "out/A/B/"));
    dir.WriteFile("file", "x");
    EXPECT_THROW(ForceFolders(dir.Path() + "file/A/"), EInOutError);
}

TEST(BatchPaths, StartRuleCreatesMissingFolderOneLevel) {
    TTempDir dir;
    const std::string out = dir.Path() + "out/";
    EXPECT_EQ(StartOutputFolder("", "/src/"), "/src/");
    EXPECT_EQ(StartOutputFolder(" \t", "/src/"), "/src/");
    EXPECT_FALSE(DirectoryExists(out));
    EXPECT_EQ(StartOutputFolder(out, "/src/"), out);
    EXPECT_TRUE(DirectoryExists(out));
    EXPECT_EQ(StartOutputFolder(out, "/src/"), out); // existing: fine
    // A stored folder without its separator still names the folder.
    EXPECT_EQ(StartOutputFolder(dir.Path() + "out", "/src/"), out);
    try {
        StartOutputFolder(dir.Path() + "a/b/c/", "/src/");
        FAIL() << "two missing levels must not be created";
    } catch (const EInOutError& e) {
        EXPECT_EQ(e.ErrorCode(), 2);
        EXPECT_STREQ(e.what(), "File not found");
    }
    EXPECT_FALSE(DirectoryExists(dir.Path() + "a"));
}

TEST(BatchPaths, StartRuleReportsRefusedFolder) {
    if (::geteuid() == 0) GTEST_SKIP() << "root ignores folder permissions";
    TTempDir dir;
    const std::string locked = dir.MakeDir("locked");
    ::chmod(locked.c_str(), 0555);
    EXPECT_THROW(StartOutputFolder(locked + "out/", "/src/"), EInOutError);
    ::chmod(locked.c_str(), 0755);
}

TEST(BatchPaths, CheckRuleUsesOutDirOnlyWhenItExists) {
    TTempDir dir;
    const std::string src = dir.WriteFile("music/a.mp3", "x");
    EXPECT_EQ(CheckOutputPath(src, "", ".wav"), dir.Path() + "music/a.wav");
    EXPECT_EQ(CheckOutputPath(src, dir.Path() + "later/", ".wav"), dir.Path() + "music/a.wav");
    const std::string out = dir.MakeDir("out");
    EXPECT_EQ(CheckOutputPath(src, out, ".wav"), out + "a.wav");
}
