// The run log file: written with CR LF, replaced whole, read back at start-up.
#include "engine/runlog.h"
#include "settings/errors.h"
#include "settings/globals.h"
#include "settings/paths.h"
#include "tests/support/tempdir.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

namespace {

class RunLogFile : public ::testing::Test {
protected:
    TTempDir Dir;
    TExecutableIn Exe{Dir.Path()};
    void TearDown() override { GlobalVars.RunLog.clear(); }
};

} // namespace

TEST_F(RunLogFile, WritesEveryLineWithCrLf) {
    GlobalVars.RunLog = {"", "An error occurred while trying to decode \"/m/a.mp3\"!", "",
                         "Decoded 2 files in 0:00:03"};
    WriteRunLog();
    EXPECT_EQ(
        Dir.ReadFile("Wavesmith.log"),
        "\r\nAn error occurred while trying to decode \"/m/a.mp3\"!\r\n\r\nDecoded 2 files in 0:00:03\r\n");
}

TEST_F(RunLogFile, ReplacesAnOlderLogAndEmptyLogGivesEmptyFile) {
    Dir.WriteFile("Wavesmith.log", "old old old old old\r\n");
    GlobalVars.RunLog.clear();
    WriteRunLog();
    EXPECT_EQ(Dir.ReadFile("Wavesmith.log"), "");
    EXPECT_TRUE(FileExists(Dir.Path() + "Wavesmith.log"));
}

TEST_F(RunLogFile, UncreatableFileRaisesAndKeepsLines) {
    if (::geteuid() == 0) GTEST_SKIP() << "root ignores folder permissions";
    Dir.WriteFile("Wavesmith.log", "kept\r\n");
    GlobalVars.RunLog = {"", "Decoded one file in 0:00:01"};
    ::chmod(Dir.Path().c_str(), 0555);
    try {
        WriteRunLog();
        ADD_FAILURE() << "no error raised";
    } catch (const EFCreateError& e) {
        EXPECT_EQ(std::string(e.what()), "Cannot create file " + Dir.Path() + "Wavesmith.log");
    }
    ::chmod(Dir.Path().c_str(), 0755);
    EXPECT_EQ(GlobalVars.RunLog.size(), 2u);
    EXPECT_EQ(Dir.ReadFile("Wavesmith.log"), "kept\r\n");
}

TEST_F(RunLogFile, ReadsPreviousLogBack) {
    GlobalVars.RunLog = {"", "x", "", "Decoded 3 files in 0:01:00"};
    WriteRunLog();
    GlobalVars.RunLog = {"stale"};
    ReadRunLog();
    EXPECT_EQ(GlobalVars.RunLog, (std::vector<std::string>{"", "x", "", "Decoded 3 files in 0:01:00"}));
    // A hand-edited log with LF endings and no final line end reads the same way.
    Dir.WriteFile("Wavesmith.log", "a\nb");
    ReadRunLog();
    EXPECT_EQ(GlobalVars.RunLog, (std::vector<std::string>{"a", "b"}));
}

TEST_F(RunLogFile, MissingLogLeavesRunLogEmpty) {
    GlobalVars.RunLog = {"stale"};
    ReadRunLog();
    EXPECT_TRUE(GlobalVars.RunLog.empty());
}
