#pragma once
// What one start of the program asks for: the clipboard switch and the files, playlists and folders
// named on its command line (what a file manager's "Open with" passes), and the desktop's launch id.
#include <string>
#include <vector>

// The desktop's id of one launch: with it the running window may come to the front, and the desktop
// ends its busy cursor once the window says the launch is complete.
struct TLaunchId {
    std::string StartupId;       // X11 startup notification: DESKTOP_STARTUP_ID
    std::string ActivationToken; // Wayland activation: XDG_ACTIVATION_TOKEN
    bool Empty() const { return StartupId.empty() && ActivationToken.empty(); }
};

struct TStartArgs {
    std::string FirstArgument;      // "-C" or "-c" when it came first, else empty
    std::vector<std::string> Paths; // full paths, in the command line's order
    TLaunchId Launch;
};

// Reads argv as bytes, so a name that is not valid text stays whole. Relative paths are taken from
// currentDir; "." and ".." steps are resolved the way a shell's "cd" resolves them. The first "--"
// ends the switches: every argument after it is a name, "-C" and "--" included.
TStartArgs ParseStartArgs(int argc, const char* const* argv, const std::string& currentDir);

// The process's working folder, or empty when it is gone.
std::string CurrentDir();

// Options answered before any window or display exists. Names that start with "--" are options up to
// the first "--"; Qt's own options keep their one-dash form.
enum class TStartRequest { Run, Help, Version, UnknownOption };
struct TCommandLineCheck {
    TStartRequest Request = TStartRequest::Run;
    std::string Option; // the unknown option
};
TCommandLineCheck CheckCommandLine(int argc, const char* const* argv);
// Index of the "--" that ends the options, or argc.
int OptionsEnd(int argc, const char* const* argv);
std::string UsageText();   // ends with a newline
std::string VersionText(); // ends with a newline

// The launch id the desktop gave this process, from its environment.
TLaunchId LaunchIdFromEnvironment();
