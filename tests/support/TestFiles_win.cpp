// The Windows part of the tests' helpers: no file-size limit, symbolic links by CreateSymbolicLinkW (the C++
// library makes none on Windows), variables through the C runtime, whose _putenv_s also sets the process
// environment that GetEnvironmentVariableW and children see.
#include "tests/support/TestFiles.h"

#include "platform/Windows_win.h"
#include "tests/support/Wine.h"

#include <cstdlib>

namespace tests
{

std::string PythonProgram()
{
    return RunningUnderWine() ? "/usr/bin/python3" : "python";
}

std::filesystem::path NullDevice()
{
    return L"NUL";
}

bool LimitFileSize(uint64_t)
{
    return false;
}

bool MakeSymbolicLink(const std::filesystem::path& target, const std::filesystem::path& link, bool bDirectory)
{
    const DWORD nFlags =
        SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE | (bDirectory ? SYMBOLIC_LINK_FLAG_DIRECTORY : 0);
    if (!::CreateSymbolicLinkW(link.c_str(), target.c_str(), nFlags))
        return false;
    // Count only a link that is really there (Wine reports success and makes nothing).
    const DWORD nAttributes = ::GetFileAttributesW(link.c_str());
    return nAttributes != INVALID_FILE_ATTRIBUTES && (nAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

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
