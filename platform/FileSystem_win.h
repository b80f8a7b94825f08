// Windows side of the file-system calls: the Win32 form of a path, an owning file handle, and the
// helpers that the directory search and the directory-relative operations share (defined in
// FileSystem_win.cpp). For the *_win.cpp files of this layer (and the Windows-only tests) only.
#pragma once

#include "platform/FileSystem.h"
#include "platform/FindFile.h"
#include "platform/Windows_win.h"

#include <cstdint>
#include <string>

namespace platform
{

// An owned Win32 file handle, closed when the object goes. Invalid is INVALID_HANDLE_VALUE.
class CWinHandle
{
public:
    CWinHandle() = default;
    explicit CWinHandle(HANDLE hHandle) : m_hHandle(hHandle) {}
    ~CWinHandle() { Close(); }
    CWinHandle(const CWinHandle&) = delete;
    CWinHandle& operator=(const CWinHandle&) = delete;
    CWinHandle(CWinHandle&& other) noexcept : m_hHandle(other.Release()) {}
    CWinHandle& operator=(CWinHandle&& other) noexcept
    {
        if (this != &other)
        {
            Reset(other.Release());
        }
        return *this;
    }

    HANDLE Get() const { return m_hHandle; }
    bool IsValid() const { return m_hHandle != INVALID_HANDLE_VALUE && m_hHandle != nullptr; }
    // Gives up ownership; the caller closes the handle.
    HANDLE Release()
    {
        HANDLE hHandle = m_hHandle;
        m_hHandle = INVALID_HANDLE_VALUE;
        return hHandle;
    }
    // Closes the handle held (keeping the thread's last error) and takes hHandle.
    void Reset(HANDLE hHandle = INVALID_HANDLE_VALUE);
    void Close() { Reset(); }

private:
    HANDLE m_hHandle = INVALID_HANDLE_VALUE;
};

// The Win32 form of a path: every '/' becomes '\\' (the contracts accept both separators).
std::wstring Win32Path(const std::wstring& szPath);

// Whether the character separates path components ('\\' or '/').
inline bool IsPathSeparator(wchar_t ch)
{
    return ch == L'\\' || ch == L'/';
}

// The platform's last error set from the thread's Win32 last error; returns false, so that a failing
// call can end with `return FailWin32();`.
bool FailWin32();

// Opens a path for the given access with full sharing (read, write, delete), so that it never
// stands in another process's way. bFollowLinks false opens a symbolic link or junction itself
// (FILE_FLAG_OPEN_REPARSE_POINT); directories open too (FILE_FLAG_BACKUP_SEMANTICS). An invalid
// handle with the Win32 last error set on failure.
CWinHandle OpenPath(const std::wstring& szPath, DWORD nAccess, bool bFollowLinks,
                    DWORD nDisposition = OPEN_EXISTING, DWORD nFlags = 0);

// What an open handle is, from its attributes, reparse tag and file type.
EFileKind KindOfHandle(HANDLE hFile);

// True when the reparse point under the attributes and tag is a link to elsewhere (a symbolic link
// or a junction), not some other kind of reparse point that reads as the file itself.
bool IsLinkReparseTag(DWORD nAttributes, DWORD nReparseTag);

// A FILETIME as the platform's file time.
SFileTime FromFileTime(const FILETIME& ft);

// Fills the attributes, size and times of an open file; the name is left alone.
bool DescribeHandle(HANDLE hFile, SFindData& data);

// Fills the attributes, size and times of a path (symbolic links followed; a dangling link describes
// itself); the name is left alone. False with the last error set when the path cannot be read.
bool DescribeWin32Path(const std::wstring& szPath, SFindData& data);

// Copies everything from hIn (from its current position) to hOut; 0 or a Win32 error.
DWORD CopyHandleContent(HANDLE hIn, HANDLE hOut);

// A fresh file name beside szTarget (same directory) for a temporary copy: "<dir>\.<name>.tarvik-<n>".
std::wstring TemporaryNameBeside(const std::wstring& szTarget);

} // namespace platform
