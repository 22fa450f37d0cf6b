#pragma once
// Acts on the modal window a test has just opened (see PollModal); a window not handled within the
// bound fails the test.
#include "tests/support/modalpoll.h"

#include <gtest/gtest.h>

// act returns true when it has finished with the window.
inline void WhenModal(std::function<bool(QWidget*)> act, int boundMs = 10000) {
    PollModal(std::move(act), boundMs, [] { ADD_FAILURE() << "the modal window was not handled in time"; });
}
