// Subtree change notification on Windows: ReadDirectoryChangesW on the directory handle with the
// subtree flag, overlapped, so that a read waits on its completion and on a cancel event at once.
// A read is always outstanding from Open on: the system keeps the changes that happen between two
// Read calls in the handle's own buffer.
//
// The directory is opened with FILE_SHARE_DELETE so that it can be deleted or moved while watched
// (as on Linux). A deleted directory ends the outstanding read (delete pending), a moved one does
// not; so a read that has waited for kRootCheckMs without changes also checks that the watched path
// still names the directory that is open.
#include "platform/DirectoryWatch.h"

#include "platform/NotifyDecoder_win.h"
#include "platform/SysError.h"
#include "platform/Windows_win.h"

namespace platform
{

namespace
{

constexpr DWORD kNotifyFilter =
    FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_SIZE | FILE_NOTIFY_CHANGE_LAST_ACCESS;
constexpr DWORD kRootCheckMs = 1000;
// The most a network share accepts for one read.
constexpr DWORD kBufferSize = 64 * 1024;
// How long closing waits for the system to give back a cancelled read's buffer.
constexpr DWORD kCloseWaitMs = 5000;

struct SFileIdentity
{
    DWORD nVolume = 0;
    DWORD nIndexHigh = 0;
    DWORD nIndexLow = 0;

    bool operator==(const SFileIdentity&) const = default;
};

bool IdentityOf(HANDLE hFile, SFileIdentity& identity)
{
    BY_HANDLE_FILE_INFORMATION data{};
    if (!::GetFileInformationByHandle(hFile, &data))
        return false;
    identity = SFileIdentity{data.dwVolumeSerialNumber, data.nFileIndexHigh, data.nFileIndexLow};
    return true;
}

} // namespace

// One outstanding read: its record and buffer stay put until the system has finished with them.
struct SNotifyRead
{
    OVERLAPPED overlapped{};
    alignas(DWORD) unsigned char buffer[kBufferSize];
};

struct CDirectoryWatch::SState
{
    HANDLE hCancel = nullptr; // manual reset: once set, every read is cancelled
    HANDLE hDirectory = INVALID_HANDLE_VALUE;
    std::wstring szRoot;
    SFileIdentity identity;
    bool bRootGone = false;
    bool bPending = false; // a ReadDirectoryChangesW is outstanding
    SNotifyRead* pRead = nullptr;

    // Starts the next read; false with the last error set.
    bool StartRead()
    {
        ::ResetEvent(pRead->overlapped.hEvent);
        if (!::ReadDirectoryChangesW(hDirectory, pRead->buffer, kBufferSize, TRUE, kNotifyFilter, nullptr,
                                     &pRead->overlapped, nullptr))
        {
            SetLastError(::GetLastError());
            return false;
        }
        bPending = true;
        return true;
    }

    // Whether the watched path no longer names the open directory (deleted, deletion pending, or
    // moved away).
    bool RootIsGone() const
    {
        FILE_STANDARD_INFO standard{};
        if (::GetFileInformationByHandleEx(hDirectory, FileStandardInfo, &standard, sizeof(standard)) &&
            standard.DeletePending)
        {
            return true;
        }
        const HANDLE hPath = ::CreateFileW(szRoot.c_str(), FILE_READ_ATTRIBUTES,
                                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        if (hPath == INVALID_HANDLE_VALUE)
        {
            // Only a missing path counts: a folder merely closed to this account (access denied) is
            // still there, and a pending deletion was told by the handle above.
            const DWORD nError = ::GetLastError();
            return nError == ERROR_FILE_NOT_FOUND || nError == ERROR_PATH_NOT_FOUND;
        }
        SFileIdentity now;
        const bool bSame = IdentityOf(hPath, now) && now == identity;
        ::CloseHandle(hPath);
        return !bSame;
    }
};

CDirectoryWatch::CDirectoryWatch() : m_pState(std::make_unique<SState>())
{
    m_pState->hCancel = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
}

CDirectoryWatch::~CDirectoryWatch()
{
    Close();
    if (m_pState->hCancel != nullptr)
        ::CloseHandle(m_pState->hCancel);
}

bool CDirectoryWatch::Open(const std::wstring& szDirectory)
{
    Close();
    const DWORD nAttributes = ::GetFileAttributesW(szDirectory.c_str());
    if (nAttributes == INVALID_FILE_ATTRIBUTES)
    {
        SetLastError(::GetLastError());
        return false;
    }
    if ((nAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
    {
        SetLastError(kErrorDirectory);
        return false;
    }
    SState& state = *m_pState;
    state.hDirectory = ::CreateFileW(
        szDirectory.c_str(), FILE_LIST_DIRECTORY, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
        nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OVERLAPPED, nullptr);
    if (state.hDirectory == INVALID_HANDLE_VALUE)
    {
        SetLastError(::GetLastError());
        return false;
    }
    state.pRead = new SNotifyRead;
    state.pRead->overlapped.hEvent = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    state.szRoot = szDirectory;
    state.bRootGone = false;
    bool bStarted = state.pRead->overlapped.hEvent != nullptr && IdentityOf(state.hDirectory, state.identity);
    if (!bStarted)
        SetLastError(::GetLastError());
    else
        bStarted = state.StartRead();
    if (!bStarted)
    {
        const uint32_t nError = GetLastError();
        Close();
        SetLastError(nError);
        return false;
    }
    return true;
}

CDirectoryWatch::EResult CDirectoryWatch::Read(std::vector<SDirectoryChange>& changes, bool& bOverflow)
{
    bOverflow = false;
    SState& state = *m_pState;
    if (state.hDirectory == INVALID_HANDLE_VALUE)
    {
        SetLastError(kErrorInvalidHandle);
        return EResult::Failed;
    }
    for (;;)
    {
        if (::WaitForSingleObject(state.hCancel, 0) == WAIT_OBJECT_0)
            return EResult::Cancelled;
        if (!state.bPending && !state.bRootGone && !state.StartRead())
            return EResult::Failed;
        const HANDLE handles[2] = {state.hCancel, state.pRead->overlapped.hEvent};
        // Once the root is gone nothing more is looked for: the read waits for the cancel alone.
        const DWORD nWait = state.bRootGone ? ::WaitForSingleObject(state.hCancel, INFINITE)
                                            : ::WaitForMultipleObjects(2, handles, FALSE, kRootCheckMs);
        if (nWait == WAIT_OBJECT_0)
            return EResult::Cancelled;
        if (nWait == WAIT_TIMEOUT)
        {
            if (state.RootIsGone())
            {
                state.bRootGone = true;
                return EResult::Changes;
            }
            continue;
        }
        if (nWait != WAIT_OBJECT_0 + 1)
        {
            SetLastError(::GetLastError());
            return EResult::Failed;
        }
        DWORD nBytes = 0;
        const bool bRead =
            ::GetOverlappedResult(state.hDirectory, &state.pRead->overlapped, &nBytes, FALSE) != FALSE;
        const DWORD nError = bRead ? ERROR_SUCCESS : ::GetLastError();
        state.bPending = false;
        // Zero bytes, or ERROR_NOTIFY_ENUM_DIR: more changes happened than the buffer could hold.
        bOverflow = (bRead && nBytes == 0) || nError == ERROR_NOTIFY_ENUM_DIR;
        if (!bRead && !bOverflow)
        {
            // The deletion of the watched directory ends the read with an error.
            if (state.RootIsGone())
            {
                state.bRootGone = true;
                return EResult::Changes;
            }
            SetLastError(nError);
            return EResult::Failed;
        }
        if (nBytes > 0)
            DecodeNotifyBuffer(state.pRead->buffer, nBytes, changes);
        // The next read goes out at once, so that no change falls between two reads.
        if (!state.StartRead())
        {
            if (!state.RootIsGone())
                return EResult::Failed;
            state.bRootGone = true;
            return EResult::Changes;
        }
        if (!changes.empty() || bOverflow)
            return EResult::Changes;
    }
}

bool CDirectoryWatch::RootGone() const
{
    return m_pState->bRootGone;
}

void CDirectoryWatch::Cancel()
{
    if (m_pState->hCancel != nullptr)
        ::SetEvent(m_pState->hCancel);
}

void CDirectoryWatch::Close()
{
    SState& state = *m_pState;
    if (state.hDirectory == INVALID_HANDLE_VALUE)
        return;
    bool bReleased = true;
    if (state.bPending)
    {
        ::CancelIoEx(state.hDirectory, &state.pRead->overlapped);
        // The system writes into the record until the cancelled read completes; should it not within
        // the bound, the record is left to it rather than freed under it (a stop never hangs).
        bReleased = ::WaitForSingleObject(state.pRead->overlapped.hEvent, kCloseWaitMs) == WAIT_OBJECT_0;
        state.bPending = false;
    }
    ::CloseHandle(state.hDirectory);
    state.hDirectory = INVALID_HANDLE_VALUE;
    if (bReleased)
    {
        if (state.pRead->overlapped.hEvent != nullptr)
            ::CloseHandle(state.pRead->overlapped.hEvent);
        delete state.pRead;
    }
    state.pRead = nullptr;
}

} // namespace platform
