#pragma once
// An XEmbed tray manager on the test's X display: it owns "_NET_SYSTEM_TRAY_S0", announces itself
// and counts the icons that ask to dock. It embeds them only while Embeds is set, so a test can be
// a working panel or a hung one that owns the selection and never takes an icon.
#include <QSocketNotifier>

#include <memory>

struct xcb_connection_t;

class TFakeXEmbedTray {
public:
    TFakeXEmbedTray(); // on $DISPLAY; Running() tells whether it got there
    ~TFakeXEmbedTray();
    bool Running() const { return FWindow != 0; }
    bool Embeds = true;
    int DockRequests = 0;

private:
    void ReadEvents();
    xcb_connection_t* FConnection = nullptr;
    unsigned FWindow = 0;
    unsigned FOpcode = 0;
    std::unique_ptr<QSocketNotifier> FNotifier;
};
