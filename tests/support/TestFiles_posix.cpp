// The Linux part of the tests' helpers: variables through setenv.
#include "tests/support/TestFiles.h"

#include <cstdlib>

namespace tests
{

void SetVariable(const char* szName, const char* szValue)
{
    if (szValue)
        ::setenv(szName, szValue, 1);
    else
        ::unsetenv(szName);
}

} // namespace tests
