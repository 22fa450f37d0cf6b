// The playlist readers on real files: path rules, line ends, the .pls key rules, hostile input.
#include "filelist/playlists.h"
#include "settings/errors.h"
#include "tests/support/tempdir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

using Strings = std::vector<std::string>;

TEST(M3uPlaylist, ResolvesEntriesByThePathRules) {
    TTempDir dir;
    const std::string list = dir.WriteFile("Lists/list.m3u", "#EXTM3U\r\n"
                                                             "#EXTINF:123,Artist - Title\r\n"
                                                             "song.mp3\r\n"
                                                             "\\Music\\song.mp3\r\n"
                                                             "..\\Music\\song.mp3\r\n"
                                                             "../Music/song.mp3\r\n"
                                                             "/abs/x.mp3\r\n"
                                                             "   # indented comment\r\n"
                                                             "\r\n"
                                                             " \t \r\n"
                                                             "  /abs/y.mp3\r\n"
                                                             "sub\\dir\\z.mp3 \r\n");
    const std::string folder = dir.Path() + "Lists/";
    EXPECT_EQ(ReadM3uPlaylist(list), (Strings{folder + "song.mp3", "/Music/song.mp3",
                                              folder + "../Music/song.mp3", folder + "../Music/song.mp3",
                                              "/abs/x.mp3", "  /abs/y.mp3", folder + "sub/dir/z.mp3 "}));
}

TEST(M3uPlaylist, SplitsEveryKindOfLineEndAndSkipsTheByteOrderMark) {
    TTempDir dir;
    const std::string list = dir.WriteFile("l.m3u", "\xEF\xBB\xBF"
                                                    "a.mp3\rb.mp3\nc.mp3\r\nd.mp3\n\re.mp3\r\r\n\xEF\xBB\xBF"
                                                    "f.mp3");
    const std::string f = dir.Path();
    EXPECT_EQ(ReadM3uPlaylist(list), (Strings{f + "a.mp3", f + "b.mp3", f + "c.mp3", f + "d.mp3", f + "e.mp3",
                                              f + "\xEF\xBB\xBF"
                                                  "f.mp3"}));
    EXPECT_EQ(ReadM3uPlaylist(dir.WriteFile("empty.m3u", "")), Strings{});
}

TEST(M3uPlaylist, UnreadableFileRaisesInOutError) {
    TTempDir dir;
    try {
        ReadM3uPlaylist(dir.Path() + "missing.m3u");
        FAIL() << "no error for a missing playlist";
    } catch (const EInOutError& e) {
        EXPECT_EQ(e.ErrorCode(), 2);
        EXPECT_STREQ(e.what(), "File not found");
    }
    EXPECT_THROW(ReadM3uPlaylist(dir.MakeDir("folder.m3u")), EInOutError);
}

TEST(M3uPlaylist, HostileTextGivesOnlyWholeLinesInTheFolder) {
    TTempDir dir;
    std::string text;
    for (int i = 0; i < 65536; ++i)
        text += static_cast<char>((i * 7919 + i / 256) % 256);
    const std::string longName(100000, 'x');
    text += "\n" + longName + "\r/ok.mp3\r" + std::string("bad\0name.mp3", 12) + "\n";
    const Strings entries = ReadM3uPlaylist(dir.WriteFile("junk.m3u", text));
    ASSERT_GE(entries.size(), 2u);
    EXPECT_EQ(entries[entries.size() - 2], dir.Path() + longName);
    EXPECT_EQ(entries.back(), "/ok.mp3");
    for (const std::string& entry : entries) {
        EXPECT_EQ(entry.find_first_of(std::string("\r\n\0", 3)), std::string::npos);
        // Relative lines land in the folder; the rest name their own root or keep their leading blanks.
        EXPECT_TRUE(entry.rfind(dir.Path(), 0) == 0 || entry[0] == '/' ||
                    static_cast<unsigned char>(entry[0]) <= ' ')
            << entry.substr(0, 40);
    }
}

TEST(PlsPlaylist, ReadsTheCountedFileKeysInKeyOrder) {
    TTempDir dir;
    const std::string list = dir.WriteFile("Lists/list.pls", "[other]\nFile2=/other.mp3\n"
                                                             "[PlayList]\r\n"
                                                             "file3=\\Music\\song.mp3\r\n"
                                                             " FILE1 = /abs/one.mp3 \r\n"
                                                             "File1=/abs/second-one.mp3\r\n"
                                                             "File01=/abs/leading-zero.mp3\r\n"
                                                             "File4=four.mp3\r\n"
                                                             "numberofentries=3\r\n"
                                                             "[playlist]\r\nFile2=/later-section.mp3\r\n");
    EXPECT_EQ(ReadPlsPlaylist(list), (Strings{"/abs/one.mp3", dir.Path() + "Lists/Music/song.mp3"}));
}

TEST(PlsPlaylist, CountDecidesHowFarToRead) {
    TTempDir dir;
    const std::string files = "File1=a.mp3\nFile2=  \nFile3=c.mp3\n";
    const auto read = [&](const std::string& count) {
        return ReadPlsPlaylist(dir.WriteFile("p.pls", "[playlist]\n" + count + files));
    };
    const std::string f = dir.Path();
    EXPECT_EQ(read(""), Strings{});
    EXPECT_EQ(read("NumberOfEntries=0\n"), Strings{});
    EXPECT_EQ(read("NumberOfEntries=-3\n"), Strings{});
    EXPECT_EQ(read("NumberOfEntries=three\n"), Strings{});
    EXPECT_EQ(read("NumberOfEntries=99999999999\n"), Strings{});
    EXPECT_EQ(read("NumberOfEntries=2\n"), Strings{f + "a.mp3"});
    EXPECT_EQ(read("NumberOfEntries=$3\n"), (Strings{f + "a.mp3", f + "c.mp3"}));
    EXPECT_EQ(read("NumberOfEntries=0x3\n"), (Strings{f + "a.mp3", f + "c.mp3"}));
    EXPECT_EQ(ReadPlsPlaylist(f + "missing.pls"), Strings{});
}

TEST(PlsPlaylist, HugeCountStopsAtTheKeysTheFileHolds) {
    TTempDir dir;
    const std::string list = dir.WriteFile(
        "big.pls", "[playlist]\nNumberOfEntries=2000000000\nFile1999999999=/last.mp3\nFile2=/two.mp3\n");
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(ReadPlsPlaylist(list), (Strings{"/two.mp3", "/last.mp3"}));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
}

TEST(PlsPlaylist, HostileTextNeverListsUnusableEntries) {
    TTempDir dir;
    std::string text = "[playlist]\nNumberOfEntries=9\n";
    for (int i = 0; i < 20000; ++i)
        text += static_cast<char>((i * 31 + 7) % 256);
    text += "\rFile1=" + std::string(100000, 'y') + "\rFile2=" + std::string("a\0b.mp3", 7) +
            "\nFile3=\x01\x02\n";
    const Strings entries = ReadPlsPlaylist(dir.WriteFile("junk.pls", text));
    ASSERT_FALSE(entries.empty());
    EXPECT_EQ(entries.front(), dir.Path() + std::string(2047, 'y')); // values are read up to 2047 characters
    for (const std::string& entry : entries) {
        EXPECT_EQ(entry.find_first_of(std::string("\r\n\0", 3)), std::string::npos);
        EXPECT_EQ(entry[0], '/');
    }
}
