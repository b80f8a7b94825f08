// File-system calls with Windows semantics on Linux: attributes from the mode bits and the
// user.DOSATTRIB extended attribute, moves that never replace unless asked (renameat2), copies that
// appear complete or not at all.
#include "platform/FileSystem.h"

#include "platform/Encoding.h"
#include "platform/FileSystem_posix.h"
#include "platform/SysError.h"
#include "platform/SysError_posix.h"

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>
#include <utility>
#include <vector>

#ifndef RENAME_NOREPLACE
#define RENAME_NOREPLACE (1 << 0)
#endif

namespace platform
{

namespace
{

constexpr const char* kDosAttribName = "user.DOSATTRIB";
constexpr uint32_t kDosAttribMask = kAttributeHidden | kAttributeSystem;

// The directory part of a native path ("." when it has none).
std::string ParentOf(const std::string& szPath)
{
    std::string s(szPath);
    while (s.size() > 1 && s.back() == '/')
    {
        s.pop_back();
    }
    const size_t nSlash = s.rfind('/');
    if (nSlash == std::string::npos)
    {
        return ".";
    }
    if (nSlash == 0)
    {
        return "/";
    }
    return s.substr(0, nSlash);
}

std::string NameOf(const std::string& szPath)
{
    std::string s(szPath);
    while (s.size() > 1 && s.back() == '/')
    {
        s.pop_back();
    }
    const size_t nSlash = s.rfind('/');
    return nSlash == std::string::npos ? s : s.substr(nSlash + 1);
}

bool IsDirectory(const std::string& szPath)
{
    struct stat st
    {
    };
    return ::stat(szPath.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Windows tells a missing file in an existing directory (2) from a missing directory on the way (3).
uint32_t PathError(int nErrno, const std::string& szPath)
{
    if (nErrno == ENOENT)
    {
        return IsDirectory(ParentOf(szPath)) ? kErrorFileNotFound : kErrorPathNotFound;
    }
    return ErrorFromErrno(nErrno);
}

bool FailPath(int nErrno, const std::string& szPath)
{
    SetLastError(PathError(nErrno, szPath));
    return false;
}

uint32_t ReadDosAttributes(const std::string& szPath)
{
    char buf[64];
    const ssize_t n = ::getxattr(szPath.c_str(), kDosAttribName, buf, sizeof(buf) - 1);
    if (n <= 0)
    {
        return 0;
    }
    buf[n] = '\0';
    unsigned long nValue = 0;
    if (n > 2 && buf[0] == '0' && (buf[1] == 'x' || buf[1] == 'X'))
    {
        nValue = std::strtoul(buf + 2, nullptr, 16);
    }
    else
    {
        nValue = std::strtoul(buf, nullptr, 0);
    }
    return static_cast<uint32_t>(nValue) & kDosAttribMask;
}

uint32_t AttributesFromStat(const struct stat& st, const std::string& szPath)
{
    uint32_t nAttributes = S_ISDIR(st.st_mode) ? kAttributeDirectory : kAttributeArchive;
    if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0)
    {
        nAttributes |= kAttributeReadOnly;
    }
    nAttributes |= ReadDosAttributes(szPath);
    return nAttributes;
}

SFileTime ToFileTime(const struct statx_timestamp& ts)
{
    return FileTimeFromUnix(ts.tv_sec, ts.tv_nsec);
}

// Fills the attributes, size and times of one path (symbolic links followed; a dangling link
// describes itself).
bool DescribePath(const std::string& szPath, SFindData& data)
{
    struct statx stx
    {
    };
    const unsigned nMask = STATX_BASIC_STATS | STATX_BTIME;
    if (::statx(AT_FDCWD, szPath.c_str(), 0, nMask, &stx) != 0 &&
        ::statx(AT_FDCWD, szPath.c_str(), AT_SYMLINK_NOFOLLOW, nMask, &stx) != 0)
    {
        return false;
    }
    struct stat st
    {
    };
    st.st_mode = stx.stx_mode;
    data.nAttributes = AttributesFromStat(st, szPath);
    data.nSize = S_ISDIR(stx.stx_mode) ? 0 : stx.stx_size;
    data.ftLastWrite = ToFileTime(stx.stx_mtime);
    data.ftLastAccess = ToFileTime(stx.stx_atime);
    data.ftCreation = (stx.stx_mask & STATX_BTIME) ? ToFileTime(stx.stx_btime) : ToFileTime(stx.stx_ctime);
    return true;
}

void SyncDirectory(const std::string& szDir)
{
    const int fd = ::open(szDir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0)
    {
        ::fsync(fd);
        ::close(fd);
    }
}

// Renames without ever replacing an existing target: renameat2 with RENAME_NOREPLACE, or where the
// file system lacks it, link and unlink for files. Returns 0 or an errno value.
int RenameNoReplace(const std::string& szSource, const std::string& szTarget)
{
    if (::renameat2(AT_FDCWD, szSource.c_str(), AT_FDCWD, szTarget.c_str(), RENAME_NOREPLACE) == 0)
    {
        return 0;
    }
    const int nErr = errno;
    if (nErr != EINVAL && nErr != ENOSYS && nErr != EOPNOTSUPP)
    {
        return nErr;
    }
    struct stat st
    {
    };
    if (::lstat(szSource.c_str(), &st) != 0)
    {
        return errno;
    }
    if (!S_ISDIR(st.st_mode))
    {
        if (::link(szSource.c_str(), szTarget.c_str()) == 0)
        {
            ::unlink(szSource.c_str());
            return 0;
        }
        if (errno == EEXIST || errno == ENOENT || errno == EXDEV)
        {
            return errno;
        }
    }
    // A directory, or a file system without hard links: the test and the rename are not atomic here.
    struct stat stTarget
    {
    };
    if (::lstat(szTarget.c_str(), &stTarget) == 0)
    {
        return EEXIST;
    }
    return ::rename(szSource.c_str(), szTarget.c_str()) == 0 ? 0 : errno;
}

} // namespace

// Copies everything from fdIn's current offset into fdOut; 0 or an errno value.
int CopyFileContent(int fdIn, int fdOut)
{
    int nErr = 0;
    for (;;)
    {
        ssize_t n = ::copy_file_range(fdIn, nullptr, fdOut, nullptr, 1 << 30, 0);
        if (n < 0 && (errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP))
        {
            // Plain reads and writes where the kernel cannot copy between these files.
            char buf[65536];
            n = ::read(fdIn, buf, sizeof(buf));
            if (n > 0)
            {
                ssize_t nDone = 0;
                while (nDone < n)
                {
                    const ssize_t w = ::write(fdOut, buf + nDone, static_cast<size_t>(n - nDone));
                    if (w < 0)
                    {
                        if (errno == EINTR)
                        {
                            continue;
                        }
                        nErr = errno;
                        break;
                    }
                    nDone += w;
                }
                if (nErr != 0)
                {
                    break;
                }
                continue;
            }
        }
        if (n == 0)
        {
            break;
        }
        if (n < 0)
        {
            if (errno == EINTR)
            {
                continue;
            }
            nErr = errno;
            break;
        }
    }
    return nErr;
}

namespace
{

// Copies the content, permission bits and times of a regular file into a new temporary file in the
// target's directory and flushes it. Returns the temporary path, or empty with errno set.
std::string CopyToTemporary(const std::string& szSource, const std::string& szTarget)
{
    const int fdIn = ::open(szSource.c_str(), O_RDONLY | O_CLOEXEC);
    if (fdIn < 0)
    {
        return std::string();
    }
    struct stat st
    {
    };
    if (::fstat(fdIn, &st) != 0)
    {
        const int nErr = errno;
        ::close(fdIn);
        errno = nErr;
        return std::string();
    }
    if (S_ISDIR(st.st_mode))
    {
        ::close(fdIn);
        errno = EISDIR;
        return std::string();
    }
    std::string szTemp = ParentOf(szTarget) + "/." + NameOf(szTarget) + ".tarvik-XXXXXX";
    std::vector<char> tmpl(szTemp.begin(), szTemp.end());
    tmpl.push_back('\0');
    const int fdOut = ::mkostemp(tmpl.data(), O_CLOEXEC);
    if (fdOut < 0)
    {
        const int nErr = errno;
        ::close(fdIn);
        errno = nErr;
        return std::string();
    }
    szTemp.assign(tmpl.data());

    int nErr = CopyFileContent(fdIn, fdOut);
    if (nErr == 0 && ::fchmod(fdOut, st.st_mode & 07777) != 0)
    {
        nErr = errno;
    }
    if (nErr == 0)
    {
        const timespec times[2] = {st.st_atim, st.st_mtim};
        ::futimens(fdOut, times);
        if (::fsync(fdOut) != 0)
        {
            nErr = errno;
        }
    }
    if (::close(fdOut) != 0 && nErr == 0)
    {
        nErr = errno;
    }
    ::close(fdIn);
    if (nErr != 0)
    {
        ::unlink(szTemp.c_str());
        errno = nErr;
        return std::string();
    }
    return szTemp;
}

// Puts a complete temporary file in place (replacing or not) and flushes the directory. Returns 0
// or an errno value; the temporary file is gone in both cases.
int PlaceTemporary(const std::string& szTemp, const std::string& szTarget, bool bReplace)
{
    int nErr = 0;
    if (bReplace)
    {
        nErr = ::rename(szTemp.c_str(), szTarget.c_str()) == 0 ? 0 : errno;
    }
    else
    {
        nErr = RenameNoReplace(szTemp, szTarget);
    }
    if (nErr != 0)
    {
        ::unlink(szTemp.c_str());
        return nErr;
    }
    SyncDirectory(ParentOf(szTarget));
    return 0;
}

} // namespace

bool DescribeNativePath(const std::string& szPath, SFindData& data)
{
    return DescribePath(szPath, data);
}

uint32_t NativePathError(int nErrno, const std::string& szPath)
{
    return PathError(nErrno, szPath);
}

uint32_t GetFileAttributes(const std::wstring& szPath)
{
    const std::string szNative = NativePath(szPath);
    struct stat st
    {
    };
    if (szNative.empty())
    {
        SetLastError(kErrorPathNotFound);
        return kInvalidFileAttributes;
    }
    if (::stat(szNative.c_str(), &st) != 0)
    {
        FailPath(errno, szNative);
        return kInvalidFileAttributes;
    }
    return AttributesFromStat(st, szNative);
}

bool SetFileAttributes(const std::wstring& szPath, uint32_t nAttributes)
{
    const std::string szNative = NativePath(szPath);
    struct stat st
    {
    };
    if (::stat(szNative.c_str(), &st) != 0)
    {
        return FailPath(errno, szNative);
    }
    if (nAttributes & kAttributeNormal)
    {
        nAttributes = 0;
    }
    const mode_t nWriteBits = S_IWUSR | S_IWGRP | S_IWOTH;
    mode_t nMode = st.st_mode & 07777;
    if (nAttributes & kAttributeReadOnly)
    {
        nMode &= ~nWriteBits;
    }
    else if ((nMode & nWriteBits) == 0)
    {
        nMode |= S_IWUSR;
    }
    if (nMode != (st.st_mode & 07777) && ::chmod(szNative.c_str(), nMode) != 0)
    {
        return FailPath(errno, szNative);
    }
    // Hidden and system: best effort, a file system without user attributes simply does not keep them.
    const uint32_t nDos = nAttributes & kDosAttribMask;
    if (nDos != 0)
    {
        char buf[16];
        const int n = std::snprintf(buf, sizeof(buf), "0x%x", nDos);
        ::setxattr(szNative.c_str(), kDosAttribName, buf, static_cast<size_t>(n), 0);
    }
    else if (ReadDosAttributes(szNative) != 0)
    {
        ::removexattr(szNative.c_str(), kDosAttribName);
    }
    return true;
}

bool DeleteFile(const std::wstring& szPath)
{
    const std::string szNative = NativePath(szPath);
    if (::unlink(szNative.c_str()) != 0)
    {
        return FailPath(errno, szNative);
    }
    return true;
}

bool RemoveDirectory(const std::wstring& szPath)
{
    const std::string szNative = NativePath(szPath);
    if (::rmdir(szNative.c_str()) != 0)
    {
        const int nErr = errno;
        if (nErr == ENOTDIR)
        {
            SetLastError(IsDirectory(ParentOf(szNative)) ? kErrorDirectory : kErrorPathNotFound);
            return false;
        }
        return FailPath(nErr, szNative);
    }
    return true;
}

bool CreateDirectory(const std::wstring& szPath)
{
    const std::string szNative = NativePath(szPath);
    if (::mkdir(szNative.c_str(), 0777) != 0)
    {
        const int nErr = errno;
        if (nErr == EEXIST)
        {
            SetLastError(kErrorAlreadyExists);
            return false;
        }
        if (nErr == ENOENT || nErr == ENOTDIR)
        {
            SetLastError(kErrorPathNotFound);
            return false;
        }
        return FailPath(nErr, szNative);
    }
    return true;
}

bool CreateDirectoryTree(const std::wstring& szPath)
{
    std::string szNative = NativePath(szPath);
    while (szNative.size() > 1 && szNative.back() == '/')
    {
        szNative.pop_back();
    }
    if (szNative.empty())
    {
        SetLastError(kErrorBadPathname);
        return false;
    }
    struct stat st
    {
    };
    if (::stat(szNative.c_str(), &st) == 0)
    {
        SetLastError(S_ISDIR(st.st_mode) ? kErrorAlreadyExists : kErrorFileExists);
        return false;
    }
    // Create every component from the first missing one on.
    size_t nPos = szNative[0] == '/' ? 1 : 0;
    for (;;)
    {
        const size_t nSlash = szNative.find('/', nPos);
        const bool bLast = nSlash == std::string::npos;
        const std::string szPart = bLast ? szNative : szNative.substr(0, nSlash);
        if (!szPart.empty() && szPart.back() != '/')
        {
            if (::mkdir(szPart.c_str(), 0777) != 0)
            {
                const int nErr = errno;
                if (nErr != EEXIST)
                {
                    SetLastError(nErr == ENOTDIR || nErr == ENOENT ? kErrorPathNotFound
                                                                   : ErrorFromErrno(nErr));
                    return false;
                }
                if (!IsDirectory(szPart))
                {
                    SetLastError(bLast ? kErrorFileExists : kErrorPathNotFound);
                    return false;
                }
                if (bLast)
                {
                    // Made meanwhile by someone else.
                    SetLastError(kErrorAlreadyExists);
                    return false;
                }
            }
        }
        if (bLast)
        {
            return true;
        }
        nPos = nSlash + 1;
    }
}

bool MoveFile(const std::wstring& szSource, const std::wstring& szTarget, uint32_t nFlags)
{
    const std::string szFrom = NativePath(szSource);
    const std::string szTo = NativePath(szTarget);
    const bool bReplace = (nFlags & kMoveReplaceExisting) != 0;
    int nErr = 0;
    if (bReplace)
    {
        nErr = ::rename(szFrom.c_str(), szTo.c_str()) == 0 ? 0 : errno;
    }
    else
    {
        nErr = RenameNoReplace(szFrom, szTo);
    }
    if (nErr == 0)
    {
        return true;
    }
    if (nErr == EXDEV)
    {
        struct stat st
        {
        };
        if ((nFlags & kMoveCopyAllowed) == 0 || ::lstat(szFrom.c_str(), &st) != 0 || S_ISDIR(st.st_mode))
        {
            SetLastError(kErrorNotSameDevice);
            return false;
        }
        if (!bReplace && ::lstat(szTo.c_str(), &st) == 0)
        {
            SetLastError(kErrorAlreadyExists);
            return false;
        }
        const std::string szTemp = CopyToTemporary(szFrom, szTo);
        if (szTemp.empty())
        {
            return FailPath(errno, szTo);
        }
        nErr = PlaceTemporary(szTemp, szTo, bReplace);
        if (nErr != 0)
        {
            SetLastError(nErr == EEXIST ? kErrorAlreadyExists : PathError(nErr, szTo));
            return false;
        }
        // The copy is complete under its name; a source that cannot be removed stays, as on Windows.
        ::unlink(szFrom.c_str());
        return true;
    }
    if (nErr == EEXIST || nErr == ENOTEMPTY)
    {
        SetLastError(kErrorAlreadyExists);
        return false;
    }
    if (nErr == ENOENT)
    {
        struct stat st
        {
        };
        if (::lstat(szFrom.c_str(), &st) == 0)
        {
            SetLastError(kErrorPathNotFound); // the target's directory is missing
            return false;
        }
        return FailPath(nErr, szFrom);
    }
    SetLastError(ErrorFromErrno(nErr));
    return false;
}

bool CopyFile(const std::wstring& szSource, const std::wstring& szTarget, bool bFailIfExists)
{
    const std::string szFrom = NativePath(szSource);
    const std::string szTo = NativePath(szTarget);
    struct stat st
    {
    };
    if (::stat(szFrom.c_str(), &st) != 0)
    {
        return FailPath(errno, szFrom);
    }
    if (S_ISDIR(st.st_mode))
    {
        SetLastError(kErrorAccessDenied);
        return false;
    }
    if (bFailIfExists && ::lstat(szTo.c_str(), &st) == 0)
    {
        SetLastError(kErrorFileExists);
        return false;
    }
    if (!IsDirectory(ParentOf(szTo)))
    {
        SetLastError(kErrorPathNotFound);
        return false;
    }
    const std::string szTemp = CopyToTemporary(szFrom, szTo);
    if (szTemp.empty())
    {
        return FailPath(errno, szTo);
    }
    const int nErr = PlaceTemporary(szTemp, szTo, !bFailIfExists);
    if (nErr != 0)
    {
        SetLastError(nErr == EEXIST ? kErrorFileExists : PathError(nErr, szTo));
        return false;
    }
    return true;
}

EFileKind KindFromMode(uint32_t nMode)
{
    if (S_ISREG(nMode))
        return EFileKind::Regular;
    if (S_ISDIR(nMode))
        return EFileKind::Directory;
    if (S_ISLNK(nMode))
        return EFileKind::SymbolicLink;
    if (S_ISFIFO(nMode))
        return EFileKind::Fifo;
    if (S_ISSOCK(nMode))
        return EFileKind::Socket;
    if (S_ISCHR(nMode) || S_ISBLK(nMode))
        return EFileKind::Device;
    return EFileKind::Other;
}

namespace
{

// The last error for a read refused because of what the path names.
void SetKindError(EFileKind eKind)
{
    if (eKind == EFileKind::Directory)
        SetLastError(kErrorAccessDenied);
    else if (eKind == EFileKind::SymbolicLink)
        SetLastError(kErrorCantResolveFilename);
    else
        SetLastError(kErrorUnsupportedType);
}

} // namespace

EFileKind GetFileKind(const std::wstring& szPath, bool bFollowLinks, uint64_t* pSize)
{
    if (pSize != nullptr)
        *pSize = 0;
    const std::string szNative = NativePath(szPath);
    struct stat st
    {
    };
    if (::lstat(szNative.c_str(), &st) != 0)
    {
        FailPath(errno, szNative);
        return EFileKind::Missing;
    }
    if (bFollowLinks && S_ISLNK(st.st_mode))
    {
        struct stat stTarget
        {
        };
        if (::stat(szNative.c_str(), &stTarget) == 0)
            st = stTarget;
    }
    const EFileKind eKind = KindFromMode(st.st_mode);
    if (pSize != nullptr && eKind == EFileKind::Regular)
        *pSize = static_cast<uint64_t>(st.st_size);
    return eKind;
}

bool GetLastWriteTime(const std::wstring& szPath, SFileTime& ftLastWrite)
{
    const std::string szNative = NativePath(szPath);
    struct stat st
    {
    };
    if (::stat(szNative.c_str(), &st) != 0)
        return FailPath(errno, szNative);
    ftLastWrite = FileTimeFromUnix(st.st_mtim.tv_sec, static_cast<uint32_t>(st.st_mtim.tv_nsec));
    return true;
}

bool ReadFilePrefix(const std::wstring& szPath, size_t nMaxBytes, uint32_t nFlags, SFileContent& content)
{
    content = SFileContent();
    const std::string szNative = NativePath(szPath);
    const bool bNoFollow = (nFlags & kReadNoFollow) != 0;

    // Look first, so that a socket or a device is never opened at all.
    struct stat st
    {
    };
    if ((bNoFollow ? ::lstat(szNative.c_str(), &st) : ::stat(szNative.c_str(), &st)) != 0)
        return FailPath(errno, szNative);
    content.eKind = KindFromMode(st.st_mode);
    if (content.eKind != EFileKind::Regular)
    {
        SetKindError(content.eKind);
        return false;
    }

    // The path may have been replaced since: opening without blocking and without following a
    // link, then checking the opened file, closes that gap.
    int fd;
    do
        fd = ::open(szNative.c_str(),
                    O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY | (bNoFollow ? O_NOFOLLOW : 0));
    while (fd < 0 && errno == EINTR);
    if (fd < 0)
    {
        const int nErr = errno;
        if (bNoFollow && nErr == ELOOP)
        {
            content.eKind = EFileKind::SymbolicLink;
            SetKindError(content.eKind);
            return false;
        }
        return FailPath(nErr, szNative);
    }
    if (::fstat(fd, &st) != 0)
    {
        const int nErr = errno;
        ::close(fd);
        SetLastError(ErrorFromErrno(nErr));
        return false;
    }
    content.eKind = KindFromMode(st.st_mode);
    if (content.eKind != EFileKind::Regular)
    {
        ::close(fd);
        SetKindError(content.eKind);
        return false;
    }
    content.nSize = static_cast<uint64_t>(st.st_size);
    const size_t nWant =
        static_cast<uint64_t>(nMaxBytes) < content.nSize ? nMaxBytes : static_cast<size_t>(content.nSize);
    content.szBytes.reserve(nWant);
    char buf[65536];
    while (content.szBytes.size() < nMaxBytes)
    {
        const size_t nAsk = std::min(sizeof(buf), nMaxBytes - content.szBytes.size());
        const ssize_t n = ::read(fd, buf, nAsk);
        if (n == 0)
            break;
        if (n < 0)
        {
            if (errno == EINTR)
                continue;
            const int nErr = errno;
            ::close(fd);
            content.szBytes.clear();
            SetLastError(ErrorFromErrno(nErr));
            return false;
        }
        content.szBytes.append(buf, static_cast<size_t>(n));
    }
    ::close(fd);
    return true;
}

bool ReplaceFileContent(const std::wstring& szPath, const std::string& szBytes)
{
    const std::string szTarget = NativePath(szPath);
    // The name itself is replaced, never the file a link under it names: a symbolic link, a file with
    // another hard link or anything but a regular file is refused (5), so that a link planted in a
    // folder others may write cannot redirect the write.
    struct stat stOld
    {
    };
    const bool bExists = ::lstat(szTarget.c_str(), &stOld) == 0;
    if (bExists && (!S_ISREG(stOld.st_mode) || stOld.st_nlink != 1))
    {
        SetLastError(kErrorAccessDenied);
        return false;
    }
    std::string szTemp = ParentOf(szTarget) + "/." + NameOf(szTarget) + ".tarvik-XXXXXX";
    std::vector<char> tmpl(szTemp.begin(), szTemp.end());
    tmpl.push_back('\0');
    const int fd = ::mkostemp(tmpl.data(), O_CLOEXEC);
    if (fd < 0)
    {
        return FailPath(errno, szTarget);
    }
    szTemp.assign(tmpl.data());
    int nErr = 0;
    size_t nDone = 0;
    while (nDone < szBytes.size())
    {
        const ssize_t n = ::write(fd, szBytes.data() + nDone, szBytes.size() - nDone);
        if (n < 0)
        {
            if (errno == EINTR)
            {
                continue;
            }
            nErr = errno;
            break;
        }
        nDone += static_cast<size_t>(n);
    }
    mode_t nMode = 0;
    if (bExists)
    {
        nMode = stOld.st_mode & 07777;
    }
    else
    {
        const mode_t nMask = ::umask(0);
        ::umask(nMask);
        nMode = 0666 & ~nMask;
    }
    if (nErr == 0 && ::fchmod(fd, nMode) != 0)
    {
        nErr = errno;
    }
    if (nErr == 0 && bExists && (stOld.st_uid != ::geteuid() || stOld.st_gid != ::getegid()))
    {
        // Keep the owner where this process may (root); otherwise the new file belongs to us.
        if (::fchown(fd, stOld.st_uid, stOld.st_gid) != 0)
        {
            errno = 0;
        }
    }
    if (nErr == 0 && ::fsync(fd) != 0)
    {
        nErr = errno;
    }
    if (::close(fd) != 0 && nErr == 0)
    {
        nErr = errno;
    }
    if (nErr == 0 && ::rename(szTemp.c_str(), szTarget.c_str()) != 0)
    {
        nErr = errno;
    }
    if (nErr != 0)
    {
        ::unlink(szTemp.c_str());
        SetLastError(ErrorFromErrno(nErr));
        return false;
    }
    return true;
}

std::wstring GetExecutablePath()
{
    std::vector<char> buf(4096);
    for (;;)
    {
        const ssize_t n = ::readlink("/proc/self/exe", buf.data(), buf.size());
        if (n < 0)
        {
            SetLastErrorFromErrno();
            return std::wstring();
        }
        if (static_cast<size_t>(n) < buf.size())
        {
            return WidePath(std::string(buf.data(), static_cast<size_t>(n)));
        }
        buf.resize(buf.size() * 2);
    }
}

std::wstring GetComputerName()
{
    char buf[256] = {};
    if (::gethostname(buf, sizeof(buf) - 1) != 0)
    {
        SetLastErrorFromErrno();
        return std::wstring();
    }
    std::string szHost(buf);
    const size_t nDot = szHost.find('.');
    if (nDot != std::string::npos && nDot > 0)
    {
        szHost.resize(nDot);
    }
    return WidePath(szHost);
}

std::wstring GetUserName()
{
    const uid_t uid = ::getuid();
    if (uid == 0)
    {
        return L"SYSTEM";
    }
    std::vector<char> buf(16384);
    struct passwd pw
    {
    };
    struct passwd* pResult = nullptr;
    if (::getpwuid_r(uid, &pw, buf.data(), buf.size(), &pResult) == 0 && pResult != nullptr &&
        pResult->pw_name != nullptr)
    {
        return WidePath(pResult->pw_name);
    }
    return WidePath(std::to_string(uid));
}

} // namespace platform
