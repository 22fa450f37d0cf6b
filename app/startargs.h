#pragma once
// What one start of the program asks for: the clipboard switch and the files, playlists and folders
// named on its command line (what a file manager's "Open with" passes).
#include <string>
#include <vector>

struct TStartArgs {
    std::string FirstArgument;      // "-C" or "-c" when it came first, else empty
    std::vector<std::string> Paths; // full paths, in the command line's order
};

// Reads argv as bytes, so a name that is not valid text stays whole. Relative paths are taken from
// currentDir; "." and ".." steps are resolved the way a shell's "cd" resolves them.
TStartArgs ParseStartArgs(int argc, const char* const* argv, const std::string& currentDir);

// The process's working folder, or empty when it is gone.
std::string CurrentDir();
