// Where the notification area's host cannot be told apart from its successor.
#include "app/trayhost.h"

std::string TrayHostIdentity() {
    return {};
}
