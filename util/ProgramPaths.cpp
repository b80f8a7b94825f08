// The program's own location and the computer and user running it.
#include "util/ProgramPaths.h"

#include "platform/DataFile.h"
#include "platform/FileSystem.h"
#include "platform/SysError.h"
#include "util/utf8_conversion.h"

#include <cstdio>

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

// The data folder named by the file beside the executable; empty when there is none to trust.
std::wstring ReadDataDirectory()
{
    const std::wstring szPointer = ExecutableDirectory() + kDataDirectoryFileName;
    std::string szBytes;
    if (!platform::ReadTrustedFile(szPointer, ExecutablePath(), szBytes))
    {
        if (platform::GetLastError() != platform::kErrorFileNotFound)
            std::fprintf(stderr,
                         "%s is not trusted (it must be a regular file of root's, writable by its owner "
                         "alone); the data folder is the executable's.\n",
                         utf8_conversion::Encode(szPointer).c_str());
        return std::wstring();
    }
    std::string szLine = szBytes.substr(0, szBytes.find('\n'));
    while (!szLine.empty() && (szLine.back() == '\r' || szLine.back() == ' ' || szLine.back() == '\t'))
        szLine.pop_back();
    std::wstring szFolder = platform::WidePath(szLine);
    const bool bAbsolute =
        (!szFolder.empty() && szFolder[0] == platform::kPathSeparator) ||
        (szFolder.size() > 2 && szFolder[1] == L':' && szFolder[2] == platform::kPathSeparator);
    if (!bAbsolute)
    {
        std::fprintf(stderr, "%s does not name an absolute folder; the data folder is the executable's.\n",
                     utf8_conversion::Encode(szPointer).c_str());
        return std::wstring();
    }
    if (szFolder.back() != platform::kPathSeparator)
        szFolder += platform::kPathSeparator;
    return szFolder;
}

} // namespace

std::wstring DataDirectory()
{
    static const std::wstring s_szDirectory = []
    {
        std::wstring szFolder = ReadDataDirectory();
        return szFolder.empty() ? ExecutableDirectory() : szFolder;
    }();
    return s_szDirectory;
}

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
