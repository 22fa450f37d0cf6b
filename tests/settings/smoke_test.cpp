#include "tests/support/scriptedservices.h"

#include <gtest/gtest.h>

TEST(ScriptedServices, RecordsAnOkOnlyBox) {
    auto& services = TScriptedServices::Current();
    services.Reset();
    EXPECT_EQ(services.MessageBox("text", "caption", MB_OK), IDOK);
    ASSERT_EQ(services.Calls.size(), 1u);
    EXPECT_EQ(services.Calls[0].Caption, "caption");
}
