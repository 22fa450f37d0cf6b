#pragma once
// Where the program's files live. A portable copy (run from its build or unpacked folder) keeps
// everything beside its executable. An installed copy, marked by a file the install step puts beside
// the executable, keeps each user's settings, saved list and log in the user's own folders, since the
// program folder is not theirs to write; the decoder, the help and the sound stay beside the program.
// Paths are bytes; folders end with the native separator.
#include <string>

// The running executable's full path, links resolved. Tests point it into a temporary folder.
std::string ExecutablePath();
void SetExecutablePath(const std::string& path);
std::string ExecutableDir(); // with trailing separator

// The file whose presence beside the executable marks an installed copy.
inline constexpr const char* InstalledMarkerName = "installed";
bool IsInstalledCopy();

// Where an installed copy keeps the user's files, created on first use:
// $XDG_CONFIG_HOME/wavesmith/ and $XDG_DATA_HOME/wavesmith/ (~/.config and ~/.local/share when unset).
std::string UserConfigDir();
std::string UserDataDir();

// Portable: the executable's path with ".ini", file name lower-cased (whole path on Windows).
// Installed: UserConfigDir() + "wavesmith.ini".
std::string SettingsFilePath();
// Portable: the executable's path with ".lst", in its own case. Installed: UserDataDir() + "wavesmith.lst".
std::string SavedListPath();
// Portable: ExecutableDir() + "Wavesmith.log". Installed: UserDataDir() + "Wavesmith.log".
std::string LogFilePath();
// Where the help and the completion sound are: an installed copy's <prefix>/share/wavesmith/ when
// it is there, else the executable's folder (a portable copy keeps them beside itself).
std::string DataDir();
// The help's entry page: the executable's path with ".chm" on Windows; elsewhere the index page of
// the folder of HTML pages in DataDir(). Topics ("::/Options.htm") are pages beside it.
std::string HelpFilePath();
std::string CompletionSoundPath(); // DataDir() + "complete.wav"
std::string DecoderFileName();     // "utils.exe"
