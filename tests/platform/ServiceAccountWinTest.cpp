// The service account on Windows: the check asks for the local system account, the account the
// service manager runs the service as; its user name reads SYSTEM.
#include "platform/Encoding.h"
#include "platform/ServiceAccount.h"
#include "platform/Windows_win.h"

#include <gtest/gtest.h>

TEST(ServiceAccountWinTest, OnlyTheLocalSystemAccountCounts)
{
    wchar_t szUser[256];
    DWORD nSize = 256;
    ASSERT_TRUE(::GetUserNameW(szUser, &nSize));
    EXPECT_EQ(platform::IsServiceAccountOrRoot(), platform::EqualsNoCase(szUser, L"SYSTEM")) << szUser;
}
