// The service account (the contract): a data folder that is not the account's keeps the process as
// it is.
#include "platform/ServiceAccount.h"

#include "platform/FileSystem.h"
#include "tests/support/CTempDir.h"

#include <gtest/gtest.h>

#include <string>

using namespace platform;

TEST(ServiceAccountTest, AFolderThatIsNotTheAccountsKeepsTheProcessAsItIs)
{
    CTempDir folder("account");
    std::wstring szError;
    EXPECT_EQ(SwitchToServiceAccount(folder.Wide(), szError), EAccountSwitch::Kept);
    EXPECT_TRUE(szError.empty());
    EXPECT_EQ(SwitchToServiceAccount(folder.Wide("missing"), szError), EAccountSwitch::Kept);
}
