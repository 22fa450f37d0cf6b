#pragma once
// Who provides the desktop's notification area right now. It changes when the tray's host is
// replaced, which the platform icon does not report: a restarted host may come up without it.
#include <optional>
#include <string>

// Empty where it cannot be told; compare two answers, never read one.
std::string TrayHostIdentity();
// Whether a notification area takes icons at this moment: a StatusNotifierItem host behind the
// watcher on the session bus, or an XEmbed tray owning its selection on the X display.
bool TrayHostPresent();
// Whether that host is a StatusNotifierItem host, which sends "Activate" for a click.
bool StatusNotifierHostPresent();
// Looks for the tray on the bus at this address instead of the session bus; empty: the session bus.
void UseTrayBus(const std::string& address);
// Whether an XEmbed tray has taken this process's platform icon: the icon's window was moved from
// the root window into the tray's. A tray may own its selection and never embed (a hung panel).
// Empty where the platform icon does not speak XEmbed.
std::optional<bool> XEmbedIconEmbedded();
