#pragma once
// The saved list as the next start restores it: the list file's lines, then the changes its journal
// holds, applied the plain way (a linear search per change), to check the window's own replay against.
#include <string>

// One full path per line, each ended by CR LF, as the list file holds them once written whole.
std::string RestoredSavedList(const std::string& listPath);
