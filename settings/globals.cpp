#include "settings/globals.h"

#include "settings/atomicfile.h"
#include "settings/ini.h"
#include "settings/paths.h"

#include <QDir>
#include <QStandardPaths>
#include <QThread>

#include <algorithm>

TGlobalVars GlobalVars;

namespace {

const std::string General = "General";
const std::string System = "System";

// The part of a "description=patterns" row after the first '='.
std::string PatternsOf(const std::string& row) {
    const size_t equals = row.find('=');
    return equals == std::string::npos ? std::string() : row.substr(equals + 1);
}

std::string DescriptionOf(const std::string& row) {
    return row.substr(0, row.find('='));
}

// A stored choice among `known`; an unknown one (a later version's, a typo) gives the first, the default.
template <size_t N> std::string OneOf(const char* const (&known)[N], const std::string& value) {
    return std::find(std::begin(known), std::end(known), value) != std::end(known) ? value : known[0];
}

} // namespace

bool LoadSettings() {
    const std::string file = SettingsFilePath();
    RemoveLeftTemporaries(file); // what a rewrite cut short left beside the file
    if (!FileExists(file)) {
        SaveSettings();
        return false;
    }
    // Each key falls back on the value already in memory.
    auto& g = GlobalVars;
    g.OutDir = Ini::ReadString(file, General, "OutDir", g.OutDir);
    g.Delete = Ini::ReadBool(file, General, "Delete", g.Delete);
    g.tmpOutDir = Ini::ReadString(file, General, "tmpOutDir", g.tmpOutDir);
    g.ExitWhenDone = Ini::ReadBool(file, General, "ExitWhenDone", g.ExitWhenDone);
    g.PlaySound = Ini::ReadBool(file, General, "PlaySound", g.PlaySound);
    g.Stayontop = Ini::ReadBool(file, General, "Stayontop", g.Stayontop);
    g.AutoOpen = Ini::ReadBool(file, General, "AutoOpen", g.AutoOpen);
    g.LastOpenDir = Ini::ReadString(file, System, "LastOpenDir", {});
    const std::string decoders = Ini::ReadString(file, General, "Decoders", {});
    if (!decoders.empty()) {
        g.DecodersStored = true;
        const long long value = Ini::ReadInteger(file, General, "Decoders", g.Decoders);
        g.Decoders = static_cast<int32_t>(std::clamp<long long>(value, 0, MaxDecoders));
    }
    if (!Ini::ReadString(file, General, "KeepTags", {}).empty()) {
        g.KeepTagsStored = true;
        g.KeepTags = Ini::ReadBool(file, General, "KeepTags", g.KeepTags);
    }
    if (const std::string format = Ini::ReadString(file, General, "WavFormat", {}); !format.empty()) {
        g.WavFormatStored = true;
        // An unknown value (a later version's, a typo) gives the default, as an unreadable number does.
        g.WavFormat = OneOf(WavFormats, format);
    }
    if (const std::string choice = Ini::ReadString(file, General, "ExistingWav", {}); !choice.empty()) {
        g.ExistingWavStored = true;
        g.ExistingWav = OneOf(ExistingWavChoices, choice);
    }
    if (!Ini::ReadString(file, General, "WavRate", {}).empty() ||
        !Ini::ReadString(file, General, "WavChannels", {}).empty() ||
        !Ini::ReadString(file, General, "WavSample", {}).empty()) {
        g.WavCustomStored = true;
        const long long rate = Ini::ReadInteger(file, General, "WavRate", 0);
        const bool offered = std::find(std::begin(WavRates), std::end(WavRates), rate) != std::end(WavRates);
        g.WavRate = offered ? static_cast<int32_t>(rate) : 0;
        const long long channels = Ini::ReadInteger(file, General, "WavChannels", 0);
        g.WavChannels = channels == 1 || channels == 2 ? static_cast<int32_t>(channels) : 0;
        g.WavSample = OneOf(WavSamples, Ini::ReadString(file, General, "WavSample", {}));
    }
    if (!Ini::ReadString(file, General, "KeepTree", {}).empty() ||
        !Ini::ReadString(file, General, "TreeBase", {}).empty()) {
        g.TreeStored = true;
        g.KeepTree = Ini::ReadBool(file, General, "KeepTree", g.KeepTree);
        g.TreeBase = Ini::ReadString(file, General, "TreeBase", g.TreeBase);
    }
    return true;
}

void SaveSettings() {
    const std::string file = SettingsFilePath();
    const auto& g = GlobalVars;
    const auto flag = [](bool on) { return std::string(on ? "1" : "0"); };
    // One rewrite of the file for all keys.
    std::vector<Ini::TValue> values = {{General, "OutDir", g.OutDir},
                                       {General, "tmpOutDir", g.tmpOutDir},
                                       {General, "ExitWhenDone", flag(g.ExitWhenDone)},
                                       {General, "PlaySound", flag(g.PlaySound)},
                                       {General, "Stayontop", flag(g.Stayontop)},
                                       {General, "AutoOpen", flag(g.AutoOpen)},
                                       {General, "Delete", flag(g.Delete)}};
    if (g.DecodersStored) values.push_back({General, "Decoders", std::to_string(g.Decoders)});
    if (g.KeepTagsStored) values.push_back({General, "KeepTags", flag(g.KeepTags)});
    if (g.WavFormatStored) values.push_back({General, "WavFormat", g.WavFormat});
    if (g.ExistingWavStored) values.push_back({General, "ExistingWav", g.ExistingWav});
    if (g.WavCustomStored) {
        values.push_back({General, "WavRate", std::to_string(g.WavRate)});
        values.push_back({General, "WavChannels", std::to_string(g.WavChannels)});
        values.push_back({General, "WavSample", g.WavSample});
    }
    if (g.TreeStored) {
        values.push_back({General, "KeepTree", flag(g.KeepTree)});
        values.push_back({General, "TreeBase", g.TreeBase});
    }
    values.push_back({System, "LastOpenDir", g.LastOpenDir});
    Ini::WriteValues(file, values);
}

void WriteSetting(const std::string& section, const std::string& key, const std::string& value) {
    Ini::WriteString(SettingsFilePath(), section, key, value);
}

void BuildAcceptedTypes() {
    GlobalVars.AcceptedTypes.clear();
    GlobalVars.AcceptedTypes.push_back("MP3 Files (*.mp3)=*.mp3");
    GlobalVars.AcceptedTypes.push_back("Playlists (*.m3u;*.pls)=*.m3u;*.pls");
}

std::string BuildDialogFilter(const std::vector<std::string>& rows) {
    std::string filter;
    for (const auto& row : rows)
        filter += DescriptionOf(row) + "|" + PatternsOf(row) + "|";
    return filter + "All Files|*.*";
}

bool IsAcceptedFileType(const std::string& ext) {
    if (ext.empty()) return false;
    const std::string wanted = LowerCase(ext);
    return std::any_of(
        GlobalVars.AcceptedTypes.begin(), GlobalVars.AcceptedTypes.end(),
        [&](const std::string& row) { return LowerCase(PatternsOf(row)).find(wanted) != std::string::npos; });
}

std::string TreeBaseFolder() {
    if (!Trim(GlobalVars.TreeBase).empty()) return IncludeTrailingPathDelimiter(GlobalVars.TreeBase);
    // Looked up once: the output path of every entry asks for it.
    static const std::string music = [] {
        const QString found = QStandardPaths::writableLocation(QStandardPaths::MusicLocation);
        return IncludeTrailingPathDelimiter((QDir(found).exists() ? found : QDir::homePath()).toStdString());
    }();
    return music;
}

bool BatchRunning() {
    return GlobalVars.BatchState == bsRunning || GlobalVars.BatchState == bsStopWhenDone;
}

int32_t DecodersAtOnce(int32_t setting) {
    if (setting > 0) return std::min(setting, MaxDecoders);
    return std::clamp(QThread::idealThreadCount(), 1, static_cast<int>(MaxDecoders));
}
