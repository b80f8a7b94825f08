// Windows backend of the symbolic-link queries: the link is opened as itself
// (FILE_FLAG_OPEN_REPARSE_POINT) and told by its reparse tag; a folder link goes with RemoveDirectoryW.
#include "platform/FileLinks.h"

#include "platform/FileSystem.h"
#include "platform/FileSystem_win.h"
#include "platform/SysError.h"

namespace platform
{

namespace
{

std::wstring LinkPath(const std::wstring& szPath)
{
    std::wstring szTrimmed = Win32Path(szPath);
    while (szTrimmed.size() > 1 && IsPathSeparator(szTrimmed.back()) &&
           szTrimmed[szTrimmed.size() - 2] != L':')
        szTrimmed.pop_back();
    return szTrimmed;
}

} // namespace

bool IsSymbolicLink(const std::wstring& szPath)
{
    CWinHandle hLink = OpenPath(LinkPath(szPath), FILE_READ_ATTRIBUTES, false);
    return hLink.IsValid() && KindOfHandle(hLink.Get()) == EFileKind::SymbolicLink;
}

bool DeleteSymbolicLink(const std::wstring& szPath)
{
    const std::wstring szLink = LinkPath(szPath);
    const DWORD nAttributes = ::GetFileAttributesW(szLink.c_str());
    if (nAttributes == INVALID_FILE_ATTRIBUTES)
        return FailWin32();
    // A link to a folder (or a junction) is a folder entry itself; removing it leaves the target alone.
    const BOOL bDone = (nAttributes & FILE_ATTRIBUTE_DIRECTORY) ? ::RemoveDirectoryW(szLink.c_str())
                                                                : ::DeleteFileW(szLink.c_str());
    return bDone ? true : FailWin32();
}

} // namespace platform
