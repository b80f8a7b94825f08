// The Linux part of the tests' helpers: symbolic links, variables through setenv.
#include "tests/support/TestFiles.h"

#include <cstdlib>
#include <system_error>

namespace tests
{

bool MakeSymbolicLink(const std::filesystem::path& target, const std::filesystem::path& link, bool)
{
    std::error_code error;
    std::filesystem::create_symlink(target, link, error);
    return !error;
}

void SetVariable(const char* szName, const char* szValue)
{
    if (szValue)
        ::setenv(szName, szValue, 1);
    else
        ::unsetenv(szName);
}

} // namespace tests
