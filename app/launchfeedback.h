#pragma once
// Ends the desktop's launch feedback for a start that handed its names to the running window. The
// desktop announced the launch (a busy cursor, a taskbar entry) with an id given to the new process;
// that process ends without a window, so the running window raises itself with the id and says that
// the launch is complete. Without an id nothing happens.
#include "app/startargs.h"

#include <cstdint>
#include <string>

class QWidget;

void CompleteLaunch(QWidget* window, const TLaunchId& launch);

// The X server time in a startup id's "_TIME<number>" ending, or 0 when it has none.
std::uint32_t StartupIdTime(const std::string& startupId);
// The startup-notification message that ends a launch: `remove: ID=<id>`, quoted where needed.
std::string StartupRemoveMessage(const std::string& startupId);

// The token a Wayland activation uses: the activation token, or the startup id where a launcher gave
// only that.
std::string WaylandActivationToken(const TLaunchId& launch);

// X11: raises the window at the launch's time and sends the remove message. Does nothing where the
// program was built without X11.
void CompleteX11Launch(QWidget* window, const std::string& startupId);
