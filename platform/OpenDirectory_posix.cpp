// Linux backend of the open folders: a folder descriptor, and openat, fstatat(AT_SYMLINK_NOFOLLOW),
// renameat2 and unlinkat with single names relative to it.
#include "platform/OpenDirectory.h"

#include "platform/FileSystem_posix.h"
#include "platform/SysError.h"
#include "platform/SysError_posix.h"

#include <cerrno>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#ifndef RENAME_NOREPLACE
#define RENAME_NOREPLACE (1 << 0)
#endif

namespace platform
{

namespace
{

// The native form of one name; false (123) for anything that is not a single component.
bool NativeName(const std::wstring& szName, std::string& szNative)
{
    if (szName.empty() || szName == L"." || szName == L".." || szName.find(L'/') != std::wstring::npos ||
        szName.find(L'\0') != std::wstring::npos)
    {
        SetLastError(kErrorInvalidName);
        return false;
    }
    szNative = NativePath(szName);
    return true;
}

SFileTime ToFileTime(const struct timespec& ts)
{
    return FileTimeFromUnix(ts.tv_sec, static_cast<uint32_t>(ts.tv_nsec));
}

void FillInfo(const struct stat& st, SEntryInfo& info)
{
    info.eKind = KindFromMode(st.st_mode);
    info.nSize = info.eKind == EFileKind::Directory ? 0 : static_cast<uint64_t>(st.st_size);
    info.nLinks = static_cast<uint32_t>(st.st_nlink);
    info.bReadOnly = (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
    info.ftLastWrite = ToFileTime(st.st_mtim);
    info.ftCreation = ToFileTime(st.st_ctim);
    info.ftLastAccess = ToFileTime(st.st_atim);
}

// Missing names in an open folder are 2; the rest as usual.
bool FailEntry(int nErrno)
{
    SetLastError(nErrno == ENOENT ? kErrorFileNotFound : ErrorFromErrno(nErrno));
    return false;
}

void CloseHandle(intptr_t& nHandle)
{
    if (nHandle >= 0)
        ::close(static_cast<int>(nHandle));
    nHandle = -1;
}

} // namespace

COpenFile::COpenFile() = default;

COpenFile::~COpenFile()
{
    Close();
}

bool COpenFile::IsOpen() const
{
    return m_nHandle >= 0;
}

void COpenFile::Close()
{
    CloseHandle(m_nHandle);
}

bool COpenFile::ReadPrefix(size_t nMaxBytes, std::string& szBytes)
{
    szBytes.clear();
    if (m_nHandle < 0)
    {
        SetLastError(kErrorInvalidHandle);
        return false;
    }
    // The size seen at opening tells how much to ask for: one read for a file that did not grow.
    const size_t nWant = static_cast<size_t>(std::min<uint64_t>(m_info.nSize, nMaxBytes));
    szBytes.resize(nWant);
    size_t nDone = 0;
    while (nDone < nWant)
    {
        const ssize_t n = ::pread(static_cast<int>(m_nHandle), szBytes.data() + nDone, nWant - nDone,
                                  static_cast<off_t>(nDone));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
        {
            szBytes.clear();
            SetLastErrorFromErrno();
            return false;
        }
        if (n == 0)
            break;
        nDone += static_cast<size_t>(n);
    }
    szBytes.resize(nDone);
    return true;
}

bool COpenFile::CopyInto(const COpenDirectory& target, const std::wstring& szName, bool bReplace)
{
    std::string szNative;
    if (!NativeName(szName, szNative))
        return false;
    if (m_nHandle < 0 || target.m_nHandle < 0)
    {
        SetLastError(kErrorInvalidHandle);
        return false;
    }
    const int fdIn = static_cast<int>(m_nHandle);
    const int fdDir = static_cast<int>(target.m_nHandle);
    // A fresh temporary name beside the target, never an existing file.
    std::string szTemp;
    int fdOut = -1;
    for (unsigned nTry = 0; fdOut < 0 && nTry < 100; ++nTry)
    {
        char szSuffix[32];
        std::snprintf(szSuffix, sizeof(szSuffix), ".tarvik-%d-%u", static_cast<int>(::getpid()), nTry);
        szTemp = "." + szNative + szSuffix;
        fdOut = ::openat(fdDir, szTemp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fdOut < 0 && errno != EEXIST)
            return FailEntry(errno);
    }
    if (fdOut < 0)
        return FailEntry(EEXIST);
    int nErr = ::lseek(fdIn, 0, SEEK_SET) < 0 ? errno : 0;
    if (nErr == 0)
        nErr = CopyFileContent(fdIn, fdOut);
    struct stat st
    {
    };
    if (nErr == 0 && ::fstat(fdIn, &st) == 0)
    {
        ::fchmod(fdOut, st.st_mode & 0777);
        const timespec times[2] = {st.st_atim, st.st_mtim};
        ::futimens(fdOut, times);
    }
    if (nErr == 0 && ::fsync(fdOut) != 0)
        nErr = errno;
    if (::close(fdOut) != 0 && nErr == 0)
        nErr = errno;
    if (nErr == 0)
    {
        const int nResult =
            bReplace ? ::renameat(fdDir, szTemp.c_str(), fdDir, szNative.c_str())
                     : ::renameat2(fdDir, szTemp.c_str(), fdDir, szNative.c_str(), RENAME_NOREPLACE);
        if (nResult != 0)
            nErr = errno;
    }
    if (nErr != 0)
    {
        ::unlinkat(fdDir, szTemp.c_str(), 0);
        SetLastError(nErr == EEXIST ? kErrorAlreadyExists : ErrorFromErrno(nErr));
        return false;
    }
    ::fsync(fdDir);
    return true;
}

COpenDirectory::COpenDirectory() = default;

COpenDirectory::~COpenDirectory()
{
    Close();
}

bool COpenDirectory::IsOpen() const
{
    return m_nHandle >= 0;
}

void COpenDirectory::Close()
{
    CloseHandle(m_nHandle);
}

bool COpenDirectory::Open(const std::wstring& szPath)
{
    Close();
    m_szPath = szPath;
    std::string szNative = NativePath(szPath);
    if (szNative.empty())
    {
        SetLastError(kErrorPathNotFound);
        return false;
    }
    const int fd = ::open(szNative.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
    {
        const int nErr = errno;
        SetLastError(nErr == ENOENT    ? kErrorPathNotFound
                     : nErr == ENOTDIR ? kErrorDirectory
                                       : ErrorFromErrno(nErr));
        return false;
    }
    m_nHandle = fd;
    return true;
}

bool COpenDirectory::OpenChild(const COpenDirectory& parent, const std::wstring& szName)
{
    Close();
    m_szPath = parent.m_szPath;
    if (!m_szPath.empty() && m_szPath.back() != kPathSeparator)
        m_szPath += kPathSeparator;
    m_szPath += szName;
    std::string szNative;
    if (!NativeName(szName, szNative))
        return false;
    const int fd = ::openat(static_cast<int>(parent.m_nHandle), szNative.c_str(),
                            O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
    {
        const int nErr = errno;
        // With O_DIRECTORY a link reads as "not a folder": tell it by looking at the entry itself.
        struct stat st
        {
        };
        if (nErr == ELOOP ||
            (nErr == ENOTDIR &&
             ::fstatat(static_cast<int>(parent.m_nHandle), szNative.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
             S_ISLNK(st.st_mode)))
        {
            SetLastError(kErrorCantResolveFilename);
            return false;
        }
        SetLastError(nErr == ENOTDIR  ? kErrorDirectory
                     : nErr == ENOENT ? kErrorPathNotFound
                                      : ErrorFromErrno(nErr));
        return false;
    }
    m_nHandle = fd;
    return true;
}

bool COpenDirectory::ListEntries(PListCallback pfnCallback, void* pContext) const
{
    if (m_nHandle < 0)
    {
        SetLastError(kErrorInvalidHandle);
        return false;
    }
    // A descriptor of its own for the listing, read from the folder's start.
    const int fd = ::openat(static_cast<int>(m_nHandle), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return FailEntry(errno);
    DIR* pDir = ::fdopendir(fd);
    if (pDir == nullptr)
    {
        const int nErr = errno;
        ::close(fd);
        return FailEntry(nErr);
    }
    SListedEntry entry;
    for (;;)
    {
        const dirent* pEntry = ::readdir(pDir);
        if (pEntry == nullptr)
            break;
        const char* pName = pEntry->d_name;
        if (pName[0] == '.' && (pName[1] == '\0' || (pName[1] == '.' && pName[2] == '\0')))
            continue;
        switch (pEntry->d_type)
        {
        case DT_REG:
            entry.eKind = EFileKind::Regular;
            break;
        case DT_DIR:
            entry.eKind = EFileKind::Directory;
            break;
        case DT_LNK:
            entry.eKind = EFileKind::SymbolicLink;
            break;
        case DT_FIFO:
            entry.eKind = EFileKind::Fifo;
            break;
        case DT_SOCK:
            entry.eKind = EFileKind::Socket;
            break;
        case DT_CHR:
        case DT_BLK:
            entry.eKind = EFileKind::Device;
            break;
        default:
            entry.eKind = EFileKind::Other;
            break;
        }
        entry.szName = WidePath(pName);
        if (!pfnCallback(pContext, entry))
            break;
    }
    ::closedir(pDir);
    return true;
}

bool COpenDirectory::Describe(const std::wstring& szName, SEntryInfo& info) const
{
    info = SEntryInfo();
    std::string szNative;
    if (!NativeName(szName, szNative))
        return false;
    struct stat st
    {
    };
    if (::fstatat(static_cast<int>(m_nHandle), szNative.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
        return FailEntry(errno);
    FillInfo(st, info);
    return true;
}

bool COpenDirectory::OpenFile(const std::wstring& szName, uint32_t nMaxLinks, COpenFile& file) const
{
    file.Close();
    file.m_info = SEntryInfo();
    std::string szNative;
    if (!NativeName(szName, szNative))
        return false;
    int fd;
    do
        fd = ::openat(static_cast<int>(m_nHandle), szNative.c_str(),
                      O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    while (fd < 0 && errno == EINTR);
    if (fd < 0)
    {
        const int nErr = errno;
        if (nErr == ELOOP)
        {
            file.m_info.eKind = EFileKind::SymbolicLink;
            SetLastError(kErrorCantResolveFilename);
            return false;
        }
        return FailEntry(nErr);
    }
    struct stat st
    {
    };
    if (::fstat(fd, &st) != 0)
    {
        const int nErr = errno;
        ::close(fd);
        return FailEntry(nErr);
    }
    FillInfo(st, file.m_info);
    if (file.m_info.eKind != EFileKind::Regular)
    {
        ::close(fd);
        SetLastError(file.m_info.eKind == EFileKind::Directory ? kErrorAccessDenied : kErrorUnsupportedType);
        return false;
    }
    if (nMaxLinks > 0 && file.m_info.nLinks > nMaxLinks)
    {
        ::close(fd);
        SetLastError(kErrorCantResolveFilename);
        return false;
    }
    file.m_nHandle = fd;
    return true;
}

bool COpenDirectory::MoveEntry(const std::wstring& szName, const COpenDirectory& target,
                               const std::wstring& szTargetName, bool bReplace) const
{
    std::string szFrom, szTo;
    if (!NativeName(szName, szFrom) || !NativeName(szTargetName, szTo))
        return false;
    const int fdFrom = static_cast<int>(m_nHandle), fdTo = static_cast<int>(target.m_nHandle);
    const int nResult = bReplace ? ::renameat(fdFrom, szFrom.c_str(), fdTo, szTo.c_str())
                                 : ::renameat2(fdFrom, szFrom.c_str(), fdTo, szTo.c_str(), RENAME_NOREPLACE);
    if (nResult == 0)
        return true;
    const int nErr = errno;
    if (nErr == EEXIST || nErr == ENOTEMPTY)
        SetLastError(kErrorAlreadyExists);
    else if (nErr == EXDEV)
        SetLastError(kErrorNotSameDevice);
    else
        FailEntry(nErr);
    return false;
}

bool COpenDirectory::DeleteEntry(const std::wstring& szName) const
{
    std::string szNative;
    if (!NativeName(szName, szNative))
        return false;
    if (::unlinkat(static_cast<int>(m_nHandle), szNative.c_str(), 0) == 0)
        return true;
    const int nErr = errno;
    if (nErr == EISDIR)
    {
        SetLastError(kErrorAccessDenied);
        return false;
    }
    return FailEntry(nErr);
}

} // namespace platform
