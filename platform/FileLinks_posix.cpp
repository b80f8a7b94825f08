// Linux backend of the symbolic-link queries: lstat and unlink.
#include "platform/FileLinks.h"

#include "platform/FileSystem.h"
#include "platform/SysError.h"
#include "platform/SysError_posix.h"
#include "platform/FileSystem_posix.h"

#include <sys/stat.h>
#include <unistd.h>

namespace platform
{

namespace
{

std::string LinkPath(const std::wstring& szPath)
{
    std::wstring szTrimmed = szPath;
    while (szTrimmed.size() > 1 && szTrimmed.back() == kPathSeparator)
        szTrimmed.pop_back();
    return NativePath(szTrimmed);
}

} // namespace

bool IsSymbolicLink(const std::wstring& szPath)
{
    struct stat st;
    return ::lstat(LinkPath(szPath).c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

bool DeleteSymbolicLink(const std::wstring& szPath)
{
    if (::unlink(LinkPath(szPath).c_str()) != 0)
    {
        SetLastErrorFromErrno();
        return false;
    }
    return true;
}

} // namespace platform
