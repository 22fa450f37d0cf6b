#pragma once
// Path helpers shared by the modules. Paths are bytes (std::string); folders end with the native
// separator. Where each of the program's files lives is answered by settings/locations.h, included
// here so that every user of the helpers has it, as is settings/fileinfo.h (FileExists and friends).
#include "settings/fileinfo.h"
#include "settings/locations.h"

#include <string>
#include <string_view>

class QString;

#ifdef _WIN32
inline constexpr char PathDelim = '\\';
#else
inline constexpr char PathDelim = '/';
#endif

// A path's bytes as Qt's file functions take them, and back.
QString PathText(const std::string& path);
std::string PathBytes(const QString& path);
// Names and other 8-bit text as people read them: UTF-8 where the bytes are valid UTF-8, each
// other byte as the Windows-1252 letter it stands for (older names, made on Windows or in a
// Latin-1 locale). For the eye only: a file is always opened by its bytes.
QString DisplayText(std::string_view text);

// Small path helpers shared by the modules.
std::string ExtractFileName(const std::string& path); // after the last separator
std::string ExtractFilePath(const std::string& path); // up to and including the last separator
std::string
ExtractFileExt(const std::string& path); // from the last '.' of the name, with the dot; may be empty
std::string ChangeFileExt(const std::string& path, const std::string& ext);
std::string IncludeTrailingPathDelimiter(const std::string& folder);
bool IsPathDelimiter(char c);
// ASCII letters lower-cased; other bytes stay, whatever the process's locale.
std::string LowerCase(std::string text);
// Equal but for the case of ASCII letters, as names in the settings file and playlists match.
bool SameText(std::string_view a, std::string_view b);
// Trims blanks and control characters (bytes <= ' ') at both ends.
std::string Trim(const std::string& text);
std::string_view TrimView(std::string_view text);

// A full path: from the root on POSIX; with a drive or a network share on Windows.
bool IsAbsolutePath(const std::string& path);
// Names compare as the platform's file system does: exactly on POSIX, without case on Windows.
bool SameFileName(const std::string& a, const std::string& b);
