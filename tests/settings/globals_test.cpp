#include "settings/globals.h"

#include "settings/errors.h"
#include "settings/paths.h"
#include "tests/settings/refusedwrite.h"
#include "tests/support/tempdir.h"

#include <QDateTime>

#include <gtest/gtest.h>

#include <memory>
#include <tuple>
#include <unistd.h>
#include <utime.h>

namespace {

// The defaults the main window sets before loading.
void SetDefaults() {
    GlobalVars.OutDir.clear();
    GlobalVars.tmpOutDir.clear();
    GlobalVars.LastOpenDir.clear();
    GlobalVars.Delete = GlobalVars.ExitWhenDone = GlobalVars.Stayontop = GlobalVars.AutoOpen = false;
    GlobalVars.PlaySound = true;
    GlobalVars.Decoders = 1;
    GlobalVars.DecodersStored = false;
    GlobalVars.KeepTags = true;
    GlobalVars.KeepTagsStored = false;
    GlobalVars.WavFormat = "mp3";
    GlobalVars.WavFormatStored = false;
    GlobalVars.WavRate = GlobalVars.WavChannels = 0;
    GlobalVars.WavSample = "s16";
    GlobalVars.ExistingWav = "ask";
    GlobalVars.WavCustomStored = GlobalVars.ExistingWavStored = false;
    GlobalVars.KeepTree = GlobalVars.TreeStored = false;
    GlobalVars.TreeBase.clear();
}

class Settings : public ::testing::Test {
protected:
    TTempDir Dir;
    TExecutableIn Exe{Dir.Path(), "WaveSmith"};
    void SetUp() override { SetDefaults(); }
};

} // namespace

TEST_F(Settings, FirstStartCreatesTheEightKeysWithDefaults) {
    // What a rewrite cut short between write and rename left; a backup is the user's own.
    const std::string left = Dir.WriteFile(".wavesmith.ini.123.tmp", "half");
    const std::string backup = Dir.WriteFile(".wavesmith.ini.old.tmp", "");
    EXPECT_FALSE(LoadSettings());
    EXPECT_FALSE(FileExists(left));
    EXPECT_TRUE(FileExists(backup));
    EXPECT_EQ(SettingsFilePath(), Dir.Path() + "wavesmith.ini");
    EXPECT_EQ(Dir.ReadFile("wavesmith.ini"), "[General]\nOutDir=\ntmpOutDir=\nExitWhenDone=0\nPlaySound=1\n"
                                             "Stayontop=0\nAutoOpen=0\nDelete=0\n[System]\nLastOpenDir=\n");
    EXPECT_TRUE(LoadSettings());
    EXPECT_TRUE(GlobalVars.PlaySound);
    // A first start's record, which no file has set yet: the WAV files keep the source's tags.
    const auto fresh = std::make_unique<TGlobalVars>();
    EXPECT_TRUE(fresh->KeepTags);
    EXPECT_FALSE(fresh->KeepTagsStored);
}

TEST_F(Settings, PlaySoundMissingZeroHexAndWord) {
    const std::pair<const char*, bool> cases[] = {
        {"", true}, {"PlaySound=0x0\n", false}, {"PlaySound=yes\n", true}, {"playsound = 0\n", false}};
    for (const auto& [line, expected] : cases) {
        SetDefaults();
        Dir.WriteFile("wavesmith.ini", std::string("[General]\nDelete=1\n") + line);
        EXPECT_TRUE(LoadSettings());
        EXPECT_EQ(GlobalVars.PlaySound, expected) << line;
        EXPECT_TRUE(GlobalVars.Delete);
    }
}

TEST_F(Settings, SaveAndLoadRoundTripAndLastOpenDirDefaultsToEmpty) {
    TExecutableIn exe(Dir.MakeDir("caf\xE9"), "wavesmith"); // a folder name that is not valid text
    GlobalVars.OutDir = "/out dir/";
    GlobalVars.tmpOutDir = "/tmp out/";
    GlobalVars.Delete = GlobalVars.ExitWhenDone = GlobalVars.Stayontop = GlobalVars.AutoOpen = true;
    GlobalVars.PlaySound = false;
    GlobalVars.LastOpenDir = "/music/";
    GlobalVars.Decoders = 0;
    GlobalVars.DecodersStored = true;
    GlobalVars.KeepTags = false;
    GlobalVars.KeepTagsStored = true;
    GlobalVars.WavFormat = "s24";
    GlobalVars.WavFormatStored = true;
    GlobalVars.KeepTree = GlobalVars.TreeStored = true;
    GlobalVars.TreeBase = "/tree base/";
    SaveSettings();
    SetDefaults();
    GlobalVars.OutDir = "stale";
    ASSERT_TRUE(LoadSettings());
    EXPECT_EQ(GlobalVars.OutDir, "/out dir/");
    EXPECT_EQ(GlobalVars.tmpOutDir, "/tmp out/");
    EXPECT_TRUE(GlobalVars.Delete && GlobalVars.ExitWhenDone && GlobalVars.Stayontop && GlobalVars.AutoOpen);
    EXPECT_FALSE(GlobalVars.PlaySound);
    EXPECT_EQ(GlobalVars.LastOpenDir, "/music/");
    EXPECT_EQ(GlobalVars.Decoders, 0); // one per core
    EXPECT_TRUE(GlobalVars.DecodersStored);
    EXPECT_FALSE(GlobalVars.KeepTags);
    EXPECT_TRUE(GlobalVars.KeepTagsStored);
    EXPECT_EQ(GlobalVars.WavFormat, "s24");
    EXPECT_TRUE(GlobalVars.WavFormatStored);
    EXPECT_TRUE(GlobalVars.KeepTree && GlobalVars.TreeStored);
    EXPECT_EQ(GlobalVars.TreeBase, "/tree base/");
    // A value this version does not know gives the default, and is written back as one it does.
    for (const auto& [value, format] : std::vector<std::pair<std::string, std::string>>{
             {"cd", "cd"}, {"f32", "f32"}, {"F32", "mp3"}, {"wav64", "mp3"}}) {
        GlobalVars.WavFormat = "s24";
        Dir.WriteFile("caf\xE9/wavesmith.ini", "[General]\nWavFormat=" + value + "\n");
        ASSERT_TRUE(LoadSettings());
        EXPECT_EQ(GlobalVars.WavFormat, format) << value;
    }
    // The custom format's keys and the existing-file choice: what this version does not offer is the default.
    for (const auto& [keys, rate, channels, sample, existing] :
         std::vector<std::tuple<std::string, int, int, std::string, std::string>>{
             {"WavRate=22050\nWavChannels=1\nWavSample=s24\nExistingWav=skip\n", 22050, 1, "s24", "skip"},
             {"WavRate=22051\nWavChannels=3\nWavSample=u8\nExistingWav=Skip\n", 0, 0, "s16", "ask"},
             {"WavChannels=2\nExistingWav=replace\n", 0, 2, "s16", "replace"}}) {
        Dir.WriteFile("caf\xE9/wavesmith.ini", "[General]\n" + keys);
        ASSERT_TRUE(LoadSettings());
        EXPECT_EQ(std::tie(GlobalVars.WavRate, GlobalVars.WavChannels, GlobalVars.WavSample,
                           GlobalVars.ExistingWav),
                  std::tie(rate, channels, sample, existing))
            << keys;
        EXPECT_TRUE(GlobalVars.WavCustomStored && GlobalVars.ExistingWavStored);
    }

    Dir.WriteFile("caf\xE9/wavesmith.ini", "[General]\n");
    GlobalVars.LastOpenDir = "/kept?/";
    ASSERT_TRUE(LoadSettings());
    EXPECT_EQ(GlobalVars.LastOpenDir, "");
    EXPECT_EQ(GlobalVars.OutDir, "/out dir/"); // a missing key keeps the value in memory
}

TEST_F(Settings, WriteSettingChangesOnlyItsKey) {
    SaveSettings();
    const std::string before = Dir.ReadFile("wavesmith.ini");
    WriteSetting("System", "LastOpenDir", "/new/");
    std::string expected = before;
    expected.replace(expected.find("LastOpenDir=") + 12, 0, "/new/");
    EXPECT_EQ(Dir.ReadFile("wavesmith.ini"), expected);
}

TEST_F(Settings, ReadOnlyFolderGivesUnableToWriteWithThePath) {
    const auto folder = Dir.MakeDir("ro");
    TExecutableIn exe(folder, "wavesmith");
    GlobalVars.OutDir = "/wanted/";
    const std::string message = RefusedWriteMessage(Dir.Path(), folder, [] { SaveSettings(); });
    EXPECT_EQ(message, "Unable to write to " + folder + "wavesmith.ini");
    EXPECT_EQ(GlobalVars.OutDir, "/wanted/");
    EXPECT_FALSE(FileExists(folder + "wavesmith.ini"));
}

TEST(AcceptedTypes, FilterAndExtensionTest) {
    BuildAcceptedTypes();
    BuildAcceptedTypes();
    EXPECT_EQ(GlobalVars.AcceptedTypes,
              (std::vector<std::string>{"MP3 Files (*.mp3)=*.mp3", "Playlists (*.m3u;*.pls)=*.m3u;*.pls"}));
    EXPECT_EQ(BuildDialogFilter(GlobalVars.AcceptedTypes),
              "MP3 Files (*.mp3)|*.mp3|Playlists (*.m3u;*.pls)|*.m3u;*.pls|All Files|*.*");
    EXPECT_EQ(BuildDialogFilter({}), "All Files|*.*");
    for (const char* ext : {".MP3", ".Pls", ".m3u", ".mp"})
        EXPECT_TRUE(IsAcceptedFileType(ext)) << ext;
    for (const char* ext : {".wav", "", ".mp4", "mp3x"})
        EXPECT_FALSE(IsAcceptedFileType(ext)) << ext;
}

TEST(FileFunctions, SizesAboveTwoGigabytesAndWhatIsNotFound) {
    TTempDir dir;
    const auto big = dir.WriteFile("big.wav", "");
    const int64_t size = 3LL * 1024 * 1024 * 1024 + 5;
    ASSERT_EQ(::truncate(big.c_str(), size), 0); // sparse: costs no disk
    EXPECT_EQ(FileSizeOf(big), size);
    ASSERT_EQ(::symlink(big.c_str(), (dir.Path() + "link.wav").c_str()), 0);
    EXPECT_EQ(FileSizeOf(dir.Path() + "link.wav"), size);
    EXPECT_EQ(FileSizeOf(dir.Path() + "missing.wav"), -1);
    EXPECT_EQ(FileSizeOf(""), -1);
    EXPECT_EQ(FileSizeOf(dir.MakeDir("sub")), 0);
}

TEST(FileFunctions, FileDateKeepsTwoSecondsInLocalTime) {
    TTempDir dir;
    const auto file = dir.WriteFile("caf\xE9.mp3", "x"); // not valid text: found by its bytes
    const QDateTime local(QDate(2021, 6, 15), QTime(10, 20, 31));
    const utimbuf times{local.toSecsSinceEpoch(), local.toSecsSinceEpoch()};
    ASSERT_EQ(::utime(file.c_str(), &times), 0);
    const double expected = 44362.0 + (10 * 3600 + 20 * 60 + 30) / 86400.0; // 15 June 2021, 10:20:30
    EXPECT_NEAR(FileDateOf(file), expected, 1e-9);
    EXPECT_EQ(FileSizeOf(file), 1);
    // The one-look-up form gives the same pair, and what the two give for a missing file.
    int64_t size = 0;
    TDateTime date = 0;
    FileSizeAndDateOf(file, size, date);
    EXPECT_EQ(size, 1);
    EXPECT_NEAR(date, expected, 1e-9);
    FileSizeAndDateOf(dir.Path() + "missing.mp3", size, date);
    EXPECT_EQ(size, -1);
    EXPECT_EQ(date, 0);

    // Across two years of a zone with summer time, at odd and even seconds, the date a file gets
    // is its local time's, as the date-time conversion gives it.
    const QByteArray zone = qgetenv("TZ");
    qputenv("TZ", "Europe/Berlin");
    tzset();
    for (qint64 at = QDateTime(QDate(2021, 1, 1), QTime(0, 0)).toSecsSinceEpoch(); at < 1672531200;
         at += 5 * 3600 + 17) {
        const utimbuf stamp{at, at};
        ASSERT_EQ(::utime(file.c_str(), &stamp), 0);
        const qint64 even = at - QDateTime::fromSecsSinceEpoch(at).time().second() % 2;
        ASSERT_EQ(FileDateOf(file), UnixTimeToDateTime(even)) << at;
    }
    if (zone.isNull())
        qunsetenv("TZ");
    else
        qputenv("TZ", zone);
    tzset();
}

TEST(FileFunctions, DeleteIfEmptyRemovesOnlyAnEmptyFile) {
    TTempDir dir;
    const auto empty = dir.WriteFile("empty.wav", "");
    const auto full = dir.WriteFile("full.wav", "RIFF");
    const auto folder = dir.MakeDir("folder.wav");
    EXPECT_TRUE(DeleteIfEmpty(empty));
    EXPECT_FALSE(FileExists(empty));
    EXPECT_FALSE(DeleteIfEmpty(full));
    EXPECT_TRUE(FileExists(full));
    EXPECT_FALSE(DeleteIfEmpty(folder.substr(0, folder.size() - 1)));
    EXPECT_TRUE(DirectoryExists(folder));
    EXPECT_FALSE(DeleteIfEmpty(empty));
}

TEST(Errors, TextsByCode) {
    const std::pair<int, const char*> texts[] = {{2, "File not found"},
                                                 {3, "Invalid filename"},
                                                 {4, "Too many open files"},
                                                 {5, "File access denied"},
                                                 {100, "Read beyond end of file"},
                                                 {101, "Disk full"},
                                                 {106, "Invalid numeric input"},
                                                 {32, "I/O error 32"}};
    for (const auto& [code, text] : texts) {
        EXPECT_STREQ(EInOutError(code).what(), text);
        EXPECT_EQ(EInOutError(code).ErrorCode(), code);
    }
    EXPECT_EQ(InOutCodeFromErrno(ENOENT), 2);
    EXPECT_EQ(InOutCodeFromErrno(EACCES), 5);
    EXPECT_EQ(InOutCodeFromErrno(ENOSPC), 101);
    EXPECT_STREQ(EFCreateError("/x/a.lst").what(), "Cannot create file /x/a.lst");
    EXPECT_STREQ(EIniWriteError("/x/a.ini").what(), "Unable to write to /x/a.ini");
}
