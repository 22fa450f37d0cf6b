#pragma once
// The seam between the help loader's states and the operating system: finding the help component,
// resolving its entry point and showing a page. One backend per platform (htmlhelp_posix.cpp,
// htmlhelp_win.cpp) implements it; the loader keeps the states and the error texts.
#include <cstdint>
#include <string>

class QWidget;

// The component's handle (a path); empty when it cannot be loaded.
std::string LoadHelpComponent();
// Whether the loaded component can be called.
bool ResolveHelpEntry(const std::string& component);
// Shows the help text (a help file, optionally followed by "::/" and a topic) and returns the
// component's result: non-zero when something was shown.
int ShowHelp(const std::string& component, QWidget* caller, const std::string& text, int command,
             intptr_t data);
