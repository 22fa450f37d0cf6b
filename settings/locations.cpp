#include "settings/locations.h"

#include "settings/filesystem.h"
#include "settings/paths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cstdlib>
#include <filesystem>

namespace {

std::string& OverriddenExecutable() {
    static std::string path;
    return path;
}

// An XDG base folder: the variable when it holds an absolute path (a relative one is to be ignored),
// else the fallback under the home folder.
std::string XdgBaseDir(const char* variable, const char* fallback) {
    const char* value = std::getenv(variable);
    if (value && IsAbsolutePath(value)) return IncludeTrailingPathDelimiter(value);
    const char* home = std::getenv("HOME");
    const std::string base = home && *home ? std::string(home) : PathBytes(QDir::homePath());
    return IncludeTrailingPathDelimiter(base) + fallback;
}

// The program's folder inside an XDG base folder, made private to the user when it is created. A
// folder that cannot be made is reported by whoever writes there, with the file's path.
std::string UserDir(const char* variable, const char* fallback) {
    const std::string base = XdgBaseDir(variable, fallback);
    const std::string dir = base + "wavesmith";
    if (!DirectoryExists(dir)) {
        QDir().mkpath(PathText(base));
        QDir().mkdir(PathText(dir), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    return dir + PathDelim;
}

} // namespace

std::string ExecutablePath() {
    if (!OverriddenExecutable().empty()) return OverriddenExecutable();
    // Links resolved, so a copy started through bin/wavesmith sees its real folder; from the
    // system's bytes where it can say, since Qt's text loses a folder name that is not valid text.
    if (const std::string running = RunningProgramPath(); !running.empty()) return running;
    if (QCoreApplication::instance()) return PathBytes(QCoreApplication::applicationFilePath());
    return {};
}

void SetExecutablePath(const std::string& path) {
    const QString resolved = QFileInfo(PathText(path)).canonicalFilePath();
    OverriddenExecutable() = resolved.isEmpty() ? path : PathBytes(resolved);
}

std::string ExecutableDir() {
    return ExtractFilePath(ExecutablePath());
}

bool IsInstalledCopy() {
    return FileExists(ExecutableDir() + InstalledMarkerName);
}

std::string UserConfigDir() {
    return UserDir("XDG_CONFIG_HOME", ".config/");
}

std::string UserDataDir() {
    return UserDir("XDG_DATA_HOME", ".local/share/");
}

std::string SettingsFilePath() {
    if (IsInstalledCopy()) return UserConfigDir() + "wavesmith.ini";
    const std::string ini = ChangeFileExt(ExecutablePath(), ".ini");
#ifdef _WIN32
    return LowerCase(ini);
#else
    return ExtractFilePath(ini) + LowerCase(ExtractFileName(ini));
#endif
}

std::string SavedListPath() {
    if (IsInstalledCopy()) return UserDataDir() + "wavesmith.lst";
    return ChangeFileExt(ExecutablePath(), ".lst");
}

std::string LogFilePath() {
    return (IsInstalledCopy() ? UserDataDir() : ExecutableDir()) + "Wavesmith.log";
}

std::string DataDir() {
#ifndef _WIN32
    // An installed program sits in <prefix>/lib/wavesmith/; its shared data in <prefix>/share/wavesmith/.
    if (IsInstalledCopy()) {
        const std::string shared = ExecutableDir() + "../../share/wavesmith/";
        // Lexically, as bytes: the executable's folder has its links resolved already.
        if (DirectoryExists(shared)) return std::filesystem::path(shared).lexically_normal().string();
    }
#endif
    return ExecutableDir();
}

std::string HelpFilePath() {
#ifdef _WIN32
    return ChangeFileExt(ExecutablePath(), ".chm");
#else
    return DataDir() + "help" + PathDelim + "index.htm";
#endif
}

std::string CompletionSoundPath() {
    return DataDir() + "complete.wav";
}

std::string DecoderFileName() {
    return "utils.exe";
}
