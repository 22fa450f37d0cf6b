#include "settings/ini.h"

#include "settings/errors.h"
#include "tests/settings/refusedwrite.h"
#include "tests/support/tempdir.h"

#include <QDir>

#include <csignal>
#include <ctime>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

namespace {

std::vector<std::string> FilesIn(const std::string& folder) {
    std::vector<std::string> names;
    for (const QString& name : QDir(QString::fromStdString(folder)).entryList(QDir::Files | QDir::Hidden))
        names.push_back(name.toStdString());
    return names;
}

} // namespace

TEST(Ini, MatchesWithoutCaseAndTrimsBlanks) {
    TTempDir dir;
    const auto file = dir.WriteFile(
        "a.ini", "key=outside\n[ GENERAL ]\n\t OutDir  =  /music/ \t\n;Delete=1\nnoequals\n[other]\nx=2\n");
    EXPECT_EQ(Ini::ReadString(file, "general", "OUTDIR", "def"), "/music/");
    EXPECT_EQ(Ini::ReadString(file, "General", "key", "def"), "def");     // before any section
    EXPECT_EQ(Ini::ReadString(file, "General", ";Delete", "def"), "def"); // a comment is no key
    EXPECT_EQ(Ini::ReadString(file, "General", "noequals", "def"), "def");
    EXPECT_EQ(Ini::ReadString(file, "General", "x", "def"), "def"); // belongs to [other]
    EXPECT_EQ(Ini::ReadString(file, "Missing", "x", "def"), "def");
    EXPECT_EQ(Ini::ReadString(dir.Path() + "none.ini", "other", "x", "def"), "def");
}

TEST(Ini, ReadsNumbersAsThePlatformDoes) {
    TTempDir dir;
    const auto file =
        dir.WriteFile("n.ini", "[s]\nd=-42\nh=$1F\nx=0x1f\nshort=0x\nword=yes\nzero=0x0\ntail=12abc\nempty=\n"
                               "huge=99999999999999999999\n");
    EXPECT_EQ(Ini::ReadInteger(file, "s", "d", 7), -42);
    EXPECT_EQ(Ini::ReadInteger(file, "s", "h", 7), 31);
    EXPECT_EQ(Ini::ReadInteger(file, "s", "x", 7), 31);
    for (const char* unreadable : {"short", "word", "tail", "empty", "huge", "missing"})
        EXPECT_EQ(Ini::ReadInteger(file, "s", unreadable, 7), 7) << unreadable;
    EXPECT_FALSE(Ini::ReadBool(file, "s", "zero", true));
    EXPECT_TRUE(Ini::ReadBool(file, "s", "word", true));
    EXPECT_TRUE(Ini::ReadBool(file, "s", "d", false));
}

TEST(Ini, WriteChangesOneKeyAndKeepsTheRestInPlace) {
    TTempDir dir;
    const std::string original = "; settings\r\n[General]\r\nOutDir=/a/\r\n  ; note\r\nDelete=1\r\n\r\n"
                                 "[Form]\r\nx=1\r\n";
    const auto file = dir.WriteFile("w.ini", original);
    Ini::WriteString(file, "general", "outdir", "/b c/"); // the file keeps its own spelling
    Ini::WriteString(file, "General", "tmpOutDir", "");   // new key: after the section's last key
    Ini::WriteInteger(file, "System", "LastOpenDir", 5);  // new section: at the end
    EXPECT_EQ(dir.ReadFile("w.ini"), "; settings\r\n[General]\r\nOutDir=/b c/\r\n  ; note\r\nDelete=1\r\n"
                                     "tmpOutDir=\r\n\r\n[Form]\r\nx=1\r\n[System]\r\nLastOpenDir=5\r\n");
    EXPECT_EQ(Ini::ReadString(file, "General", "tmpOutDir", "def"), "");
}

TEST(Ini, SeveralValuesInOneRewriteGiveWhatOneWriteEachGives) {
    TTempDir dir;
    const std::string original = "[General]\r\nOutDir=/a/\r\n  ; note\r\n[Form]\r\nx=1";
    const auto one = dir.WriteFile("one.ini", original);
    const auto all = dir.WriteFile("all.ini", original);
    const std::vector<Ini::TValue> values = {
        {"general", "outdir", "/b/"}, {"General", "Delete", "1"},    {"Form", "x", "2"},
        {"Form", "y", "3"},           {"System", "LastOpenDir", ""}, {"System", "LastOpenDir", "/c/"}};
    for (const Ini::TValue& value : values)
        Ini::WriteString(one, value.Section, value.Key, value.Value);
    Ini::WriteValues(all, values);
    EXPECT_EQ(dir.ReadFile("all.ini"), dir.ReadFile("one.ini"));
    EXPECT_EQ(Ini::ReadString(all, "System", "LastOpenDir", "def"), "/c/");

    Ini::WriteValues(dir.Path() + "new.ini", {{"General", "OutDir", "/d/"}, {"General", "Delete", "0"}});
    EXPECT_EQ(dir.ReadFile("new.ini"), "[General]\nOutDir=/d/\nDelete=0\n");
}

TEST(Ini, KeepsEachFilesLineEnds) {
    TTempDir dir;
    const auto lf = dir.WriteFile("lf.ini", "[s]\na=1\n");
    const auto cr = dir.WriteFile("cr.ini", "[s]\ra=1\r[t]\rb=2");
    const auto open = dir.WriteFile("open.ini", "[s]\na=1");
    const auto fresh = dir.Path() + "fresh.ini";
    for (const auto& file : {lf, cr, open, fresh})
        Ini::WriteString(file, "s", "new", "v");
    EXPECT_EQ(dir.ReadFile("lf.ini"), "[s]\na=1\nnew=v\n");
    EXPECT_EQ(dir.ReadFile("cr.ini"), "[s]\ra=1\rnew=v\r[t]\rb=2");
    EXPECT_EQ(dir.ReadFile("open.ini"), "[s]\na=1\nnew=v\n");
#ifdef _WIN32
    EXPECT_EQ(dir.ReadFile("fresh.ini"), "[s]\r\nnew=v\r\n");
#else
    EXPECT_EQ(dir.ReadFile("fresh.ini"), "[s]\nnew=v\n");
#endif
    EXPECT_EQ(Ini::ReadString(cr, "T", "B", ""), "2");
}

TEST(Ini, ValuesAreWrittenUnchangedAndReadBackUpTo2047Characters) {
    TTempDir dir;
    const auto file = dir.Path() + "v.ini";
    const std::string longValue = std::string(2047, 'a') + "bcd";
    Ini::WriteString(file, "s", "long", longValue);
    Ini::WriteString(file, "s", "quoted", "\"x\" = y;z");
    EXPECT_EQ(Ini::ReadString(file, "s", "long", ""), std::string(2047, 'a'));
    EXPECT_NE(dir.ReadFile("v.ini").find("long=" + longValue + "\n"), std::string::npos);
    EXPECT_EQ(Ini::ReadString(file, "s", "quoted", ""), "\"x\" = y;z");
    // A line break cannot smuggle a section or key into the file.
    Ini::WriteString(file, "s", "folder", "/tmp/a\n[s]\nevil=1");
    EXPECT_EQ(Ini::ReadString(file, "s", "folder", ""), "/tmp/a");
    EXPECT_EQ(Ini::ReadString(file, "s", "evil", "none"), "none");
}

TEST(Ini, SurvivesFilesThatAreNotText) {
    TTempDir dir;
    using namespace std::string_literals;
    std::string junk = "\xEF\xBB\xBF[s]\nk=v\0w\n"s;
    junk.push_back('\0');
    for (int i = 0; i < 4096; ++i)
        junk.push_back(static_cast<char>((i * 131) & 0xFF));
    const auto binary = dir.WriteFile("junk.ini", junk + "\n[t]\nk=found");
    EXPECT_EQ(Ini::ReadString(binary, "s", "k", "def"), "v");
    EXPECT_EQ(Ini::ReadString(binary, "t", "k", "def"), "found");
    Ini::WriteString(binary, "t", "k", "again");
    EXPECT_EQ(dir.ReadFile("junk.ini"), junk + "\n[t]\nk=again");

    const std::string hugeLine(50 * 1024 * 1024, 'x');
    const auto huge = dir.WriteFile("huge.ini", "[s]\n" + hugeLine + "\nk=after");
    // Processor time, which a machine busy with other work does not stretch as it does the wall time.
    const std::clock_t start = std::clock();
    EXPECT_EQ(Ini::ReadString(huge, "s", "k", "def"), "after");
    Ini::WriteString(huge, "s", "k", "changed");
    EXPECT_LT(std::clock() - start, 10 * CLOCKS_PER_SEC);
    EXPECT_EQ(dir.ReadFile("huge.ini"), "[s]\n" + hugeLine + "\nk=changed");

    const auto folder = dir.MakeDir("folder.ini");
    EXPECT_EQ(Ini::ReadString(folder.substr(0, folder.size() - 1), "s", "k", "def"), "def");

    // A link that leads nowhere is not replaced by a file of its own.
    const std::string dangling = dir.Path() + "dangling.ini";
    ASSERT_EQ(::symlink("missing.ini", dangling.c_str()), 0);
    EXPECT_THROW(Ini::WriteString(dangling, "s", "k", "v"), EIniWriteError);
}

TEST(Ini, ReadSectionAndEraseSection) {
    TTempDir dir;
    std::string text = "[Files]\nf0=/a.mp3\nF0=/dup.mp3\n;c=1\n[Keep]\nk=1\n[files]\nlater=1\n";
    const auto file = dir.WriteFile("f.ini", text);
    const auto entries = Ini::ReadSection(file, "FILES");
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0], std::make_pair(std::string("f0"), std::string("/a.mp3")));

    Ini::EraseSection(file, "Files");
    EXPECT_EQ(dir.ReadFile("f.ini"), "[Keep]\nk=1\n");
    Ini::EraseSection(dir.Path() + "absent.ini", "Files");
    EXPECT_EQ(FilesIn(dir.Path()), std::vector<std::string>{"f.ini"});

    // 20,000 keys, with either kind of single line end, read in linear time.
    for (const std::string end : {"\n", "\r"}) {
        std::string big = "[Files]" + end;
        for (int i = 0; i < 20000; ++i)
            big += "File" + std::to_string(i) + "=/music/" + std::to_string(i) + ".mp3" + end;
        const auto bigFile = dir.WriteFile("big.ini", big);
        const std::clock_t start = std::clock();
        const auto all = Ini::ReadSection(bigFile, "Files");
        EXPECT_LT(std::clock() - start, CLOCKS_PER_SEC);
        ASSERT_EQ(all.size(), 20000u);
        EXPECT_EQ(all.back().second, "/music/19999.mp3");
    }
}

TEST(Ini, EveryRewriteReplacesTheFileInOneStep) {
    TTempDir dir;
    const auto file = dir.WriteFile("a.ini", "[s]\nold=1\n");
    ::chmod(file.c_str(), 0640);
    struct stat before {};
    ::stat(file.c_str(), &before);
    Ini::WriteString(file, "s", "new", "2");
    struct stat after {};
    ::stat(file.c_str(), &after);
    EXPECT_NE(before.st_ino, after.st_ino);
    EXPECT_EQ(after.st_mode & 0777, 0640u);
    EXPECT_EQ(FilesIn(dir.Path()), std::vector<std::string>{"a.ini"});

    // A write that fails half-way (the file size limit stops it) leaves the old file whole.
    const std::string content = dir.ReadFile("a.ini");
    rlimit saved{};
    ::getrlimit(RLIMIT_FSIZE, &saved);
    rlimit tight = saved;
    tight.rlim_cur = 16;
    const auto previous = std::signal(SIGXFSZ, SIG_IGN);
    ::setrlimit(RLIMIT_FSIZE, &tight);
    const std::string message = MessageOf([&] { Ini::WriteString(file, "s", "big", std::string(100, 'z')); });
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previous);
    EXPECT_EQ(message, "Unable to write to " + file);
    EXPECT_EQ(dir.ReadFile("a.ini"), content);
    EXPECT_EQ(FilesIn(dir.Path()), std::vector<std::string>{"a.ini"});
}

TEST(Ini, ReadOnlyFolderIsReportedWithThePathAndLosesNothing) {
    TTempDir dir;
    const auto folder = dir.MakeDir("ro");
    const auto file = dir.WriteFile("ro/s.ini", "[s]\na=1\n");
    const std::string message =
        RefusedWriteMessage(dir.Path(), folder, [&] { Ini::WriteString(file, "s", "a", "2"); });
    EXPECT_EQ(message, "Unable to write to " + file);
    EXPECT_EQ(dir.ReadFile("ro/s.ini"), "[s]\na=1\n");
    EXPECT_EQ(FilesIn(folder), std::vector<std::string>{"s.ini"});
    EXPECT_THROW(Ini::WriteString(dir.Path() + "no/such/folder.ini", "s", "a", "1"), EIniWriteError);
}
