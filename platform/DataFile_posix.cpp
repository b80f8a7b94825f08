// Files of the data folder on Linux: O_NOFOLLOW opens checked with fstat.
#include "platform/DataFile.h"

#include "platform/FileSystem_posix.h"
#include "platform/SysError.h"
#include "platform/SysError_posix.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform
{

namespace
{

// Opens szPath for reading without following a link or waiting on a FIFO; -1 with the last error set.
int OpenNoFollow(const std::wstring& szPath)
{
    int fd;
    do
        fd = ::open(NativePath(szPath).c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    while (fd < 0 && errno == EINTR);
    if (fd < 0)
    {
        // ELOOP: the name is a symbolic link.
        SetLastError(errno == ELOOP ? kErrorAccessDenied : ErrorFromErrno(errno));
    }
    return fd;
}

bool ReadAll(int fd, std::string& szBytes)
{
    szBytes.clear();
    char buf[65536];
    for (;;)
    {
        const ssize_t n = ::read(fd, buf, sizeof(buf));
        if (n > 0)
        {
            szBytes.append(buf, static_cast<size_t>(n));
            continue;
        }
        if (n < 0 && errno == EINTR)
        {
            continue;
        }
        if (n < 0)
        {
            SetLastErrorFromErrno();
            return false;
        }
        return true;
    }
}

bool Refuse(int fd)
{
    ::close(fd);
    SetLastError(kErrorAccessDenied);
    return false;
}

} // namespace

bool ReadDataFile(const std::wstring& szPath, std::string& szBytes)
{
    szBytes.clear();
    const int fd = OpenNoFollow(szPath);
    if (fd < 0)
    {
        return false;
    }
    struct stat st
    {
    };
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_nlink != 1)
    {
        return Refuse(fd);
    }
    const bool bRead = ReadAll(fd, szBytes);
    ::close(fd);
    return bRead;
}

bool IsAcceptableDataFile(const std::wstring& szPath)
{
    struct stat st
    {
    };
    if (::lstat(NativePath(szPath).c_str(), &st) != 0)
    {
        return errno == ENOENT;
    }
    if (!S_ISREG(st.st_mode) || st.st_nlink != 1)
    {
        SetLastError(kErrorAccessDenied);
        return false;
    }
    return true;
}

bool ReadTrustedFile(const std::wstring& szPath, const std::wstring& szOwnerReference, std::string& szBytes)
{
    szBytes.clear();
    const int fd = OpenNoFollow(szPath);
    if (fd < 0)
    {
        return false;
    }
    struct stat st
    {
    };
    struct stat stReference
    {
    };
    const bool bReference = ::stat(NativePath(szOwnerReference).c_str(), &stReference) == 0;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || (st.st_mode & (S_IWGRP | S_IWOTH)) != 0 ||
        !(st.st_uid == 0 || (bReference && st.st_uid == stReference.st_uid)))
    {
        return Refuse(fd);
    }
    const bool bRead = ReadAll(fd, szBytes);
    ::close(fd);
    return bRead;
}

} // namespace platform
