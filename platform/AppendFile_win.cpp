// Windows backend of CAppendFile: a handle with FILE_APPEND_DATA alone (every write lands at the end
// of the file in one piece) and full sharing, opened as itself (FILE_FLAG_OPEN_REPARSE_POINT) and
// checked on the handle, and LockFileEx for the rotation lock.
#include "platform/AppendFile.h"

#include "platform/FileSystem.h"
#include "platform/FileSystem_win.h"
#include "platform/SysError.h"

#include <chrono>
#include <thread>

namespace platform
{

namespace
{

// The rotation lock is one byte far beyond any data: Windows locks are mandatory, and a lock over the
// data would stop the other writers' appends instead of only other lockers.
constexpr DWORD kLockOffsetHigh = 0x7FFFFFFF;

OVERLAPPED LockPosition()
{
    OVERLAPPED position{};
    position.Offset = 0;
    position.OffsetHigh = kLockOffsetHigh;
    return position;
}

} // namespace

struct CAppendFile::SState
{
    CWinHandle hFile;
    bool bLocked = false;
};

CAppendFile::CAppendFile() : m_pState(std::make_unique<SState>()) {}

CAppendFile::~CAppendFile()
{
    Close();
}

bool CAppendFile::IsOpen() const
{
    return m_pState->hFile.IsValid();
}

bool CAppendFile::Open(const std::wstring& szPath)
{
    Close();
    // A new file takes the folder's inherited access list (the data folder's), as Windows files do.
    CWinHandle hFile = OpenPath(szPath, FILE_APPEND_DATA | FILE_READ_ATTRIBUTES | SYNCHRONIZE, false,
                                OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL);
    if (!hFile.IsValid())
        return FailWin32();
    BY_HANDLE_FILE_INFORMATION info{};
    if (KindOfHandle(hFile.Get()) != EFileKind::Regular ||
        !::GetFileInformationByHandle(hFile.Get(), &info) || info.nNumberOfLinks != 1)
    {
        SetLastError(kErrorAccessDenied);
        return false;
    }
    m_pState->hFile = std::move(hFile);
    return true;
}

bool CAppendFile::Append(const void* pData, size_t nSize)
{
    if (!m_pState->hFile.IsValid())
    {
        SetLastError(kErrorInvalidHandle);
        return false;
    }
    if (nSize > MAXDWORD)
    {
        SetLastError(kErrorInvalidParameter);
        return false;
    }
    DWORD nWritten = 0;
    if (!::WriteFile(m_pState->hFile.Get(), pData, static_cast<DWORD>(nSize), &nWritten, nullptr))
        return FailWin32();
    if (nWritten != nSize)
    {
        SetLastError(kErrorHandleDiskFull);
        return false;
    }
    return true;
}

bool CAppendFile::GetSize(uint64_t& nSize) const
{
    if (!m_pState->hFile.IsValid())
    {
        SetLastError(kErrorInvalidHandle);
        return false;
    }
    LARGE_INTEGER nLength{};
    if (!::GetFileSizeEx(m_pState->hFile.Get(), &nLength))
        return FailWin32();
    nSize = static_cast<uint64_t>(nLength.QuadPart);
    return true;
}

bool CAppendFile::TryLock(uint32_t nTimeoutMs)
{
    if (!m_pState->hFile.IsValid())
    {
        SetLastError(kErrorInvalidHandle);
        return false;
    }
    if (m_pState->bLocked)
        return true;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(nTimeoutMs);
    for (;;)
    {
        OVERLAPPED position = LockPosition();
        if (::LockFileEx(m_pState->hFile.Get(), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0,
                         &position))
        {
            m_pState->bLocked = true;
            return true;
        }
        const DWORD nError = ::GetLastError();
        if (nError != ERROR_LOCK_VIOLATION && nError != ERROR_IO_PENDING)
            return FailWin32();
        if (std::chrono::steady_clock::now() >= deadline)
        {
            SetLastError(kErrorLockViolation);
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

bool CAppendFile::IsAt(const std::wstring& szPath) const
{
    if (!m_pState->hFile.IsValid())
        return false;
    CWinHandle hPath = OpenPath(szPath, FILE_READ_ATTRIBUTES, false);
    BY_HANDLE_FILE_INFORMATION open{};
    BY_HANDLE_FILE_INFORMATION named{};
    if (!hPath.IsValid() || !::GetFileInformationByHandle(m_pState->hFile.Get(), &open) ||
        !::GetFileInformationByHandle(hPath.Get(), &named))
        return false;
    // A volume serial number of 0 reads as unknown (Wine reports it for a handle whose file was renamed
    // since); the names compared lie in one folder, so the file index alone still tells the file.
    const bool bSameVolume = open.dwVolumeSerialNumber == named.dwVolumeSerialNumber ||
                             open.dwVolumeSerialNumber == 0 || named.dwVolumeSerialNumber == 0;
    return bSameVolume && open.nFileIndexHigh == named.nFileIndexHigh &&
           open.nFileIndexLow == named.nFileIndexLow;
}

void CAppendFile::Close()
{
    if (m_pState->bLocked)
    {
        OVERLAPPED position = LockPosition();
        ::UnlockFileEx(m_pState->hFile.Get(), 0, 1, 0, &position);
        m_pState->bLocked = false;
    }
    m_pState->hFile.Close();
}

} // namespace platform
