// Other processes (the contract): this process's own arguments. The bounded wait for the end of
// another process is shown by each system's suite with a program of that system.
#include "platform/Process.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

namespace fs = std::filesystem;
using namespace platform;

namespace
{

TEST(OtherProcessesTest, OwnArguments)
{
    std::vector<std::wstring> args;
    ASSERT_TRUE(GetOwnArguments(args));
    ASSERT_FALSE(args.empty());
    EXPECT_EQ(fs::path(args[0]).stem(), "test_platform_other_processes");
}

} // namespace
