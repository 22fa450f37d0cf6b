#pragma once
// The main window's position, size and maximized state in the settings file.
#include <string>

class QWidget;

// An empty path means the settings file.
void RestoreWindowPlacement(const std::string& section, QWidget* window, const std::string& path = {});
void SaveWindowPlacement(const std::string& section, QWidget* window, const std::string& path = {});
