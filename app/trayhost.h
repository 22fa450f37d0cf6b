#pragma once
// Who provides the desktop's notification area right now. It changes when the tray's host is
// replaced, which the platform icon does not report: a restarted host may come up without it.
#include <string>

// Empty where it cannot be told; compare two answers, never read one.
std::string TrayHostIdentity();
