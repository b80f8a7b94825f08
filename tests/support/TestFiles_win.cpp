// The Windows part of the tests' helpers: variables through the C runtime, whose _putenv_s also
// sets the process environment that GetEnvironmentVariableW and children see.
#include "tests/support/TestFiles.h"

#include "platform/Windows_win.h"

#include <cstdlib>

namespace tests
{

void SetVariable(const char* szName, const char* szValue)
{
    // An empty value removes the variable for _putenv_s; set the system's copy explicitly so that
    // both agree whatever the runtime does.
    ::_putenv_s(szName, szValue ? szValue : "");
    std::wstring szWideName(szName, szName + std::char_traits<char>::length(szName));
    if (szValue)
    {
        const int nLength = ::MultiByteToWideChar(CP_UTF8, 0, szValue, -1, nullptr, 0);
        std::wstring szWide(static_cast<size_t>(nLength > 0 ? nLength : 1), L'\0');
        ::MultiByteToWideChar(CP_UTF8, 0, szValue, -1, szWide.data(), nLength);
        ::SetEnvironmentVariableW(szWideName.c_str(), szWide.c_str());
    }
    else
        ::SetEnvironmentVariableW(szWideName.c_str(), nullptr);
}

} // namespace tests
