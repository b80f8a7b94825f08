// Linux backend of CAppendFile: O_APPEND writes, fstat sizes and flock locks.
#include "platform/AppendFile.h"

#include "platform/FileSystem.h"
#include "platform/FileSystem_posix.h"
#include "platform/SysError.h"
#include "platform/SysError_posix.h"

#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace platform
{

struct CAppendFile::SState
{
    int nFd = -1;
};

CAppendFile::CAppendFile() : m_pState(std::make_unique<SState>()) {}

bool CAppendFile::IsOpen() const
{
    return m_pState->nFd >= 0;
}

CAppendFile::~CAppendFile()
{
    Close();
}

bool CAppendFile::Open(const std::wstring& szPath)
{
    Close();
    int nFd;
    do
        nFd = ::open(NativePath(szPath).c_str(),
                     O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0640);
    while (nFd < 0 && errno == EINTR);
    if (nFd < 0)
    {
        // ELOOP: a symbolic link lies under the name.
        SetLastError(errno == ELOOP ? kErrorAccessDenied : ErrorFromErrno(errno));
        return false;
    }
    struct stat st;
    if (::fstat(nFd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_nlink != 1)
    {
        ::close(nFd);
        SetLastError(kErrorAccessDenied);
        return false;
    }
    m_pState->nFd = nFd;
    return true;
}

bool CAppendFile::Append(const void* pData, size_t nSize)
{
    if (m_pState->nFd < 0)
    {
        SetLastError(kErrorInvalidHandle);
        return false;
    }
    ssize_t nWritten;
    do
        nWritten = ::write(m_pState->nFd, pData, nSize);
    while (nWritten < 0 && errno == EINTR);
    if (nWritten < 0)
    {
        SetLastErrorFromErrno();
        return false;
    }
    if (static_cast<size_t>(nWritten) != nSize)
    {
        SetLastError(kErrorHandleDiskFull);
        return false;
    }
    return true;
}

bool CAppendFile::GetSize(uint64_t& nSize) const
{
    struct stat st;
    if (m_pState->nFd < 0 || ::fstat(m_pState->nFd, &st) != 0)
    {
        if (m_pState->nFd < 0)
            SetLastError(kErrorInvalidHandle);
        else
            SetLastErrorFromErrno();
        return false;
    }
    nSize = static_cast<uint64_t>(st.st_size);
    return true;
}

bool CAppendFile::TryLock(uint32_t nTimeoutMs)
{
    if (m_pState->nFd < 0)
    {
        SetLastError(kErrorInvalidHandle);
        return false;
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(nTimeoutMs);
    for (;;)
    {
        if (::flock(m_pState->nFd, LOCK_EX | LOCK_NB) == 0)
            return true;
        if (errno != EINTR && errno != EWOULDBLOCK)
        {
            SetLastErrorFromErrno();
            return false;
        }
        if (errno == EWOULDBLOCK && std::chrono::steady_clock::now() >= deadline)
        {
            SetLastError(kErrorLockViolation);
            return false;
        }
        if (errno == EWOULDBLOCK)
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

bool CAppendFile::IsAt(const std::wstring& szPath) const
{
    struct stat stOpen;
    struct stat stPath;
    if (m_pState->nFd < 0 || ::fstat(m_pState->nFd, &stOpen) != 0 ||
        ::lstat(NativePath(szPath).c_str(), &stPath) != 0)
        return false;
    return stOpen.st_dev == stPath.st_dev && stOpen.st_ino == stPath.st_ino;
}

void CAppendFile::Close()
{
    if (m_pState->nFd >= 0)
    {
        ::close(m_pState->nFd);
        m_pState->nFd = -1;
    }
}

} // namespace platform
