// The program's own location and the computer and user running it.
#include "util/ProgramPaths.h"

#include "platform/FileSystem.h"

namespace
{

// Buffer limits of the system calls the service was designed around.
constexpr size_t kMaxPathChars = 4095;
constexpr size_t kMaxNameChars = 259;

std::wstring Cut(std::wstring szText, size_t nMax)
{
    if (szText.size() > nMax)
        szText.resize(nMax);
    return szText;
}

} // namespace

std::wstring ExecutablePath()
{
    return Cut(platform::GetExecutablePath(), kMaxPathChars);
}

std::wstring ExecutableDirectory()
{
    std::wstring szPath = ExecutablePath();
    size_t nSeparator = szPath.rfind(platform::kPathSeparator);
    return nSeparator == std::wstring::npos ? std::wstring() : szPath.substr(0, nSeparator + 1);
}

std::wstring ExecutableFileName()
{
    std::wstring szPath = ExecutablePath();
    size_t nSeparator = szPath.rfind(platform::kPathSeparator);
    return nSeparator == std::wstring::npos ? szPath : szPath.substr(nSeparator + 1);
}

std::wstring ComputerUserName()
{
    // Account notation (computer\user), not a path: the backslash stays on every platform.
    return Cut(platform::GetComputerName(), kMaxNameChars) + L"\\" +
           Cut(platform::GetUserName(), kMaxNameChars);
}
