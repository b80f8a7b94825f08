// The portable part of held-open folders: opening a folder, made first when it is missing.
#include "platform/OpenDirectory.h"

#include "platform/FileSystem.h"
#include "platform/SysError.h"

namespace platform
{

bool COpenDirectory::OpenOrCreate(const std::wstring& szPath)
{
    if (Open(szPath))
        return true;
    if (GetLastError() != kErrorPathNotFound)
        return false;
    if (!CreateDirectoryTree(szPath) && GetLastError() != kErrorAlreadyExists)
        return false;
    return Open(szPath);
}

} // namespace platform
