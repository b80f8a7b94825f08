// The socket's host name on Linux: the whole name that gethostname gives.
#include "platform/Socket.h"

#include <gtest/gtest.h>

#include <string>
#include <unistd.h>

namespace
{

TEST(LocalHostName, IsTheWholeSystemName)
{
    char szName[256] = {};
    ASSERT_EQ(gethostname(szName, sizeof szName - 1), 0);
    EXPECT_EQ(platform::LocalHostName(), std::string(szName));
    EXPECT_FALSE(platform::LocalHostName().empty());
}

} // namespace
