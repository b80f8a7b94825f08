// Command-line splitting by the CommandLineToArgvW rules. Portable: every backend passes these.
#include "platform/Process.h"

#include <gtest/gtest.h>

using namespace platform;

namespace
{

using Args = std::vector<std::wstring>;

TEST(CommandLineTest, SplitsLikeCommandLineToArgvW)
{
    EXPECT_EQ(SplitCommandLine(L""), Args{});
    EXPECT_EQ(SplitCommandLine(L"   "), Args{});
    EXPECT_EQ(SplitCommandLine(L"prog a  b\tc"), (Args{L"prog", L"a", L"b", L"c"}));
    // The program name: quotes group, backslashes stay.
    EXPECT_EQ(SplitCommandLine(L"\"/opt/my apps/logvista\" /path x"),
              (Args{L"/opt/my apps/logvista", L"/path", L"x"}));
    EXPECT_EQ(SplitCommandLine(L"C:\\dir\\\"x y"), (Args{L"C:\\dir\\\"x", L"y"}));
    // The arguments, after the examples of the Windows documentation.
    EXPECT_EQ(SplitCommandLine(L"p \"abc\" d e"), (Args{L"p", L"abc", L"d", L"e"}));
    EXPECT_EQ(SplitCommandLine(L"p a\\\\b d\"e f\"g h"), (Args{L"p", L"a\\\\b", L"de fg", L"h"}));
    EXPECT_EQ(SplitCommandLine(L"p a\\\\\\\"b c d"), (Args{L"p", L"a\\\"b", L"c", L"d"}));
    EXPECT_EQ(SplitCommandLine(L"p a\\\\\\\\\"b c\" d e"), (Args{L"p", L"a\\\\b c", L"d", L"e"}));
    EXPECT_EQ(SplitCommandLine(L"p a\"b\"\" c d"), (Args{L"p", L"ab\"", L"c", L"d"}));
    EXPECT_EQ(SplitCommandLine(L"p \"\" x"), (Args{L"p", L"", L"x"}));
    EXPECT_EQ(SplitCommandLine(L"p \"a b"), (Args{L"p", L"a b"}));
    EXPECT_EQ(SplitCommandLine(L"tarvik -autostart "), (Args{L"tarvik", L"-autostart"}));
}

} // namespace
