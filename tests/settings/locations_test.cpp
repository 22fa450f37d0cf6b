#include "settings/locations.h"

#include "settings/globals.h"
#include "settings/paths.h"
#include "tests/support/tempdir.h"

#include <QFile>

#include <gtest/gtest.h>
#include <unistd.h>

namespace {

// Sets or clears an environment variable for one scope.
class TEnvironment {
public:
    TEnvironment(const char* name, const std::string& value) : FName(name), FOld(qgetenv(name)) {
        FHad = qEnvironmentVariableIsSet(name);
        if (value.empty())
            qunsetenv(name);
        else
            qputenv(name, QByteArray::fromStdString(value));
    }
    ~TEnvironment() {
        if (FHad)
            qputenv(FName, FOld);
        else
            qunsetenv(FName);
    }

private:
    const char* FName;
    QByteArray FOld;
    bool FHad = false;
};

} // namespace

// The program is laid out as installed (lib/wavesmith/ with bin/wavesmith linking to it) and started
// through the link; only the marker beside the real executable decides where the user's files go.
TEST(Locations, UserFilesBesideAPortableCopyAndInTheUsersFoldersWhenInstalled) {
    struct TRow {
        const char* Name;
        bool Marker;
        std::string ConfigHome, DataHome; // "" unset; a leading '@' stands for the temporary folder
        std::string ConfigDir, DataDir;   // where the files must land, relative to the temporary folder
        bool SharedData;                  // share/wavesmith/ exists beside lib/
        std::string HelpDir;              // where the help and the sound are found
    };
    const TRow rows[] = {
        {"portable", false, "@xdg/config", "@xdg/data", "lib/wavesmith/", "lib/wavesmith/", true,
         "lib/wavesmith/"},
        {"installed, defaults", true, "", "", "home/.config/wavesmith/", "home/.local/share/wavesmith/", true,
         "share/wavesmith/"},
        {"installed, variables", true, "@xdg/config", "@xdg/data", "xdg/config/wavesmith/",
         "xdg/data/wavesmith/", false, "lib/wavesmith/"},
        {"installed, relative variables ignored", true, "xdg/config", "xdg/data", "home/.config/wavesmith/",
         "home/.local/share/wavesmith/", true, "share/wavesmith/"},
    };
    for (const TRow& row : rows) {
        SCOPED_TRACE(row.Name);
        TTempDir dir;
        const auto expand = [&](const std::string& v) {
            return v.rfind('@', 0) == 0 ? dir.Path() + v.substr(1) : v;
        };
        const std::string program = dir.WriteFile("lib/wavesmith/wavesmith", "");
        if (row.Marker) dir.WriteFile(std::string("lib/wavesmith/") + InstalledMarkerName, "");
        if (row.SharedData) dir.MakeDir("share/wavesmith");
        dir.MakeDir("bin");
        ASSERT_EQ(::symlink("../lib/wavesmith/wavesmith", (dir.Path() + "bin/wavesmith").c_str()), 0);
        TEnvironment home("HOME", dir.MakeDir("home"));
        TEnvironment config("XDG_CONFIG_HOME", expand(row.ConfigHome));
        TEnvironment data("XDG_DATA_HOME", expand(row.DataHome));
        TExecutableIn exe(dir.Path(), "bin/wavesmith");

        const std::string programDir = dir.Path() + "lib/wavesmith/";
        EXPECT_EQ(ExecutableDir(), programDir);
        EXPECT_EQ(IsInstalledCopy(), row.Marker);
        EXPECT_EQ(SettingsFilePath(), dir.Path() + row.ConfigDir + "wavesmith.ini");
        EXPECT_EQ(SavedListPath(), dir.Path() + row.DataDir + "wavesmith.lst");
        EXPECT_EQ(LogFilePath(), dir.Path() + row.DataDir + "Wavesmith.log");
        EXPECT_EQ(HelpFilePath(), dir.Path() + row.HelpDir + "help/index.htm");
        EXPECT_EQ(CompletionSoundPath(), dir.Path() + row.HelpDir + "complete.wav");
        // The user's folders exist once asked for, so the first save succeeds; a portable copy
        // creates none.
        EXPECT_FALSE(LoadSettings());
        EXPECT_TRUE(FileExists(dir.Path() + row.ConfigDir + "wavesmith.ini"));
        EXPECT_TRUE(DirectoryExists(dir.Path() + row.DataDir));
        EXPECT_EQ(DirectoryExists(dir.Path() + "xdg/config/wavesmith"), row.ConfigDir.rfind("xdg", 0) == 0);
        EXPECT_EQ(DirectoryExists(dir.Path() + "home/.config"), row.ConfigDir.rfind("home", 0) == 0);
    }
}
