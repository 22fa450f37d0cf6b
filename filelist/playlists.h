#pragma once
// Playlist readers: turn an .m3u or .pls file into the candidate paths it names, in playlist order.
// Entries are bytes; relative entries are joined to the playlist's folder, nothing is resolved.
// On POSIX a backslash in an entry reads as a folder separator, so lists written on Windows resolve.
#include <string>
#include <string_view>
#include <vector>

// Reads an .m3u file. Throws EInOutError with the system's code when it cannot be opened or read
// ("File not found" for a missing file).
std::vector<std::string> ReadM3uPlaylist(const std::string& path);
// Reads a .pls file; a missing file, section or count gives no entries.
std::vector<std::string> ReadPlsPlaylist(const std::string& path);

// The same, given the file's text and the playlist's full path (for the folder and drive).
std::vector<std::string> ParseM3uText(std::string_view text, const std::string& playlistPath);
std::vector<std::string> ParsePlsText(std::string_view text, const std::string& playlistPath);

// ---- Path rules of playlist entries
// Whether a trimmed entry names its own root: a leading "/" on POSIX; "X:" or "\\server" on Windows.
bool EntryNamesDrive(std::string_view trimmed);
// The root a drive-relative entry ("\Music\a.mp3") takes: "X:" or "\\server\share" on Windows,
// empty on POSIX (the entry then starts at "/").
std::string PlaylistDrive(const std::string& playlistPath);
// An entry in native separators: on POSIX every backslash becomes "/".
std::string EntryToNative(std::string_view entry);
// prefix + entry without a doubled separator where they meet.
std::string JoinEntry(const std::string& prefix, const std::string& entry);
