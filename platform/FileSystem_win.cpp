// File-system calls on Win32: handles opened with full sharing (FILE_FLAG_OPEN_REPARSE_POINT where a
// link must not be followed, FILE_FLAG_BACKUP_SEMANTICS for folders), GetFileInformationByHandle for
// what a path is, MoveFileExW for moves and for putting complete temporary copies in place.
#include "platform/FileSystem.h"

#include "platform/FileSystem_win.h"
#include "platform/SysError.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cwchar>
#include <utility>
#include <vector>

namespace platform
{

namespace
{

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
constexpr DWORD kKeptAttributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;

// Windows reports a file used as a folder on the way as 267 from some calls; the contracts speak of a
// path that is not found (3) there.
DWORD PathErrorFrom(DWORD nError)
{
    return nError == ERROR_DIRECTORY ? ERROR_PATH_NOT_FOUND : nError;
}

bool FailPath()
{
    SetLastError(PathErrorFrom(::GetLastError()));
    return false;
}

bool FailWith(DWORD nError)
{
    SetLastError(nError);
    return false;
}

bool StartsWithNoCase(const std::wstring& szText, size_t nPos, const wchar_t* szPrefix)
{
    const size_t nLength = std::wcslen(szPrefix);
    return szText.size() >= nPos + nLength && ::_wcsnicmp(szText.c_str() + nPos, szPrefix, nLength) == 0;
}

// The device namespace (\\.\pipe\..., \\.\COM1): never opened by the reads and kind queries, since
// opening a pipe connects to it.
bool IsDevicePath(const std::wstring& szWin32)
{
    return szWin32.size() >= 4 && szWin32[0] == L'\\' && szWin32[1] == L'\\' && szWin32[2] == L'.' &&
           szWin32[3] == L'\\';
}

// Length of the root of a Win32 path that no directory can be made for: "C:\", "\", "\\server\share\",
// "\\?\C:\", "\\?\UNC\server\share\".
size_t RootLength(const std::wstring& szPath)
{
    auto skipComponent = [&](size_t nPos)
    {
        while (nPos < szPath.size() && !IsPathSeparator(szPath[nPos]))
            ++nPos;
        return nPos < szPath.size() ? nPos + 1 : nPos;
    };
    size_t nPos = 0;
    bool bUnc = false;
    if (StartsWithNoCase(szPath, 0, L"\\\\?\\") || StartsWithNoCase(szPath, 0, L"\\\\.\\"))
    {
        nPos = 4;
        if (StartsWithNoCase(szPath, nPos, L"UNC\\"))
        {
            nPos += 4;
            bUnc = true;
        }
    }
    else if (szPath.size() >= 2 && IsPathSeparator(szPath[0]) && IsPathSeparator(szPath[1]))
    {
        nPos = 2;
        bUnc = true;
    }
    if (bUnc)
        return skipComponent(skipComponent(nPos));
    if (szPath.size() >= nPos + 2 && szPath[nPos + 1] == L':')
    {
        nPos += 2;
        return nPos < szPath.size() && IsPathSeparator(szPath[nPos]) ? nPos + 1 : nPos;
    }
    return nPos == 0 && !szPath.empty() && IsPathSeparator(szPath[0]) ? 1 : nPos;
}

std::wstring TrimTrailingSeparators(std::wstring szPath)
{
    const size_t nRoot = RootLength(szPath);
    while (szPath.size() > nRoot && szPath.size() > 1 && IsPathSeparator(szPath.back()))
        szPath.pop_back();
    return szPath;
}

bool IsDirectoryPath(const std::wstring& szWin32)
{
    const DWORD nAttributes = ::GetFileAttributesW(szWin32.c_str());
    return nAttributes != INVALID_FILE_ATTRIBUTES && (nAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool PathExists(const std::wstring& szWin32)
{
    return ::GetFileAttributesW(szWin32.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Removes a temporary file of ours, keeping the thread's last error.
void DiscardTemporary(const std::wstring& szTemp)
{
    const DWORD nError = ::GetLastError();
    ::SetFileAttributesW(szTemp.c_str(), FILE_ATTRIBUTE_NORMAL);
    ::DeleteFileW(szTemp.c_str());
    ::SetLastError(nError);
}

// Creates a new temporary file beside szTarget for writing; the handle and its name, or an invalid
// handle with the Win32 last error set.
CWinHandle CreateTemporaryBeside(const std::wstring& szTarget, DWORD nAttributes, std::wstring& szTemp)
{
    for (int nTry = 0; nTry < 100; ++nTry)
    {
        szTemp = TemporaryNameBeside(szTarget);
        CWinHandle hFile(::CreateFileW(szTemp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                       nAttributes == 0 ? FILE_ATTRIBUTE_NORMAL : nAttributes, nullptr));
        if (hFile.IsValid() ||
            (::GetLastError() != ERROR_FILE_EXISTS && ::GetLastError() != ERROR_ALREADY_EXISTS))
            return hFile;
    }
    return CWinHandle();
}

// Copies a regular file's content, attributes and last write time into a new temporary file beside
// szTarget and flushes it to disk. The temporary name, or empty with the Win32 last error set.
std::wstring CopyToTemporary(const std::wstring& szSource, const std::wstring& szTarget)
{
    CWinHandle hIn = OpenPath(szSource, GENERIC_READ, true, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN);
    if (!hIn.IsValid())
        return std::wstring();
    BY_HANDLE_FILE_INFORMATION info{};
    if (!::GetFileInformationByHandle(hIn.Get(), &info))
        return std::wstring();
    if (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
    {
        ::SetLastError(ERROR_ACCESS_DENIED);
        return std::wstring();
    }
    std::wstring szTemp;
    CWinHandle hOut = CreateTemporaryBeside(szTarget, 0, szTemp);
    if (!hOut.IsValid())
        return std::wstring();
    DWORD nError = CopyHandleContent(hIn.Get(), hOut.Get());
    if (nError == 0 && !::SetFileTime(hOut.Get(), nullptr, &info.ftLastAccessTime, &info.ftLastWriteTime))
        nError = ::GetLastError();
    if (nError == 0 && !::FlushFileBuffers(hOut.Get()))
        nError = ::GetLastError();
    hOut.Close();
    if (nError == 0 && (info.dwFileAttributes & kKeptAttributes) != 0 &&
        !::SetFileAttributesW(szTemp.c_str(),
                              (info.dwFileAttributes & kKeptAttributes) | FILE_ATTRIBUTE_ARCHIVE))
        nError = ::GetLastError();
    if (nError != 0)
    {
        ::SetLastError(nError);
        DiscardTemporary(szTemp);
        return std::wstring();
    }
    return szTemp;
}

// Puts a complete temporary file in place, replacing an existing target only when asked. The
// temporary file is gone afterwards either way; false with the Win32 last error set.
bool PlaceTemporary(const std::wstring& szTemp, const std::wstring& szTarget, bool bReplace)
{
    const DWORD nFlags = MOVEFILE_WRITE_THROUGH | (bReplace ? MOVEFILE_REPLACE_EXISTING : 0);
    if (::MoveFileExW(szTemp.c_str(), szTarget.c_str(), nFlags))
        return true;
    DiscardTemporary(szTemp);
    return false;
}

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

void CWinHandle::Reset(HANDLE hHandle)
{
    if (IsValid())
    {
        const DWORD nError = ::GetLastError();
        ::CloseHandle(m_hHandle);
        ::SetLastError(nError);
    }
    m_hHandle = hHandle;
}

std::wstring Win32Path(const std::wstring& szPath)
{
    std::wstring szWin32(szPath);
    for (wchar_t& ch : szWin32)
    {
        if (ch == L'/')
            ch = L'\\';
    }
    return szWin32;
}

bool FailWin32()
{
    SetLastError(::GetLastError());
    return false;
}

CWinHandle OpenPath(const std::wstring& szPath, DWORD nAccess, bool bFollowLinks, DWORD nDisposition,
                    DWORD nFlags)
{
    nFlags |= FILE_FLAG_BACKUP_SEMANTICS;
    if (!bFollowLinks)
        nFlags |= FILE_FLAG_OPEN_REPARSE_POINT;
    return CWinHandle(
        ::CreateFileW(Win32Path(szPath).c_str(), nAccess, kShareAll, nullptr, nDisposition, nFlags, nullptr));
}

bool IsLinkReparseTag(DWORD nAttributes, DWORD nReparseTag)
{
    return (nAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 &&
           (nReparseTag == IO_REPARSE_TAG_SYMLINK || nReparseTag == IO_REPARSE_TAG_MOUNT_POINT);
}

EFileKind KindOfHandle(HANDLE hFile)
{
    switch (::GetFileType(hFile))
    {
    case FILE_TYPE_DISK:
        break;
    case FILE_TYPE_CHAR:
        return EFileKind::Device;
    case FILE_TYPE_PIPE:
        return EFileKind::Fifo;
    default:
        return EFileKind::Other;
    }
    FILE_ATTRIBUTE_TAG_INFO tag{};
    if (::GetFileInformationByHandleEx(hFile, FileAttributeTagInfo, &tag, sizeof(tag)))
    {
        if (IsLinkReparseTag(tag.FileAttributes, tag.ReparseTag))
            return EFileKind::SymbolicLink;
        return (tag.FileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? EFileKind::Directory : EFileKind::Regular;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    if (!::GetFileInformationByHandle(hFile, &info))
        return EFileKind::Other;
    if (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)
        return EFileKind::SymbolicLink;
    return (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? EFileKind::Directory : EFileKind::Regular;
}

SFileTime FromFileTime(const FILETIME& ft)
{
    SFileTime result;
    result.dwLowDateTime = ft.dwLowDateTime;
    result.dwHighDateTime = ft.dwHighDateTime;
    return result;
}

bool DescribeHandle(HANDLE hFile, SFindData& data)
{
    BY_HANDLE_FILE_INFORMATION info{};
    if (!::GetFileInformationByHandle(hFile, &info))
        return FailWin32();
    data.nAttributes = info.dwFileAttributes;
    data.nSize = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                     ? 0
                     : (static_cast<uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    data.ftCreation = FromFileTime(info.ftCreationTime);
    data.ftLastWrite = FromFileTime(info.ftLastWriteTime);
    data.ftLastAccess = FromFileTime(info.ftLastAccessTime);
    return true;
}

bool DescribeWin32Path(const std::wstring& szPath, SFindData& data)
{
    CWinHandle hFile = OpenPath(szPath, FILE_READ_ATTRIBUTES, true);
    if (!hFile.IsValid())
    {
        // A dangling link describes itself.
        const DWORD nError = ::GetLastError();
        hFile = OpenPath(szPath, FILE_READ_ATTRIBUTES, false);
        if (!hFile.IsValid())
            return FailWith(PathErrorFrom(nError));
    }
    return DescribeHandle(hFile.Get(), data);
}

DWORD CopyHandleContent(HANDLE hIn, HANDLE hOut)
{
    std::vector<char> buffer(1 << 20);
    for (;;)
    {
        DWORD nRead = 0;
        if (!::ReadFile(hIn, buffer.data(), static_cast<DWORD>(buffer.size()), &nRead, nullptr))
            return ::GetLastError();
        if (nRead == 0)
            return 0;
        DWORD nDone = 0;
        while (nDone < nRead)
        {
            DWORD nWritten = 0;
            if (!::WriteFile(hOut, buffer.data() + nDone, nRead - nDone, &nWritten, nullptr))
                return ::GetLastError();
            if (nWritten == 0)
                return ERROR_HANDLE_DISK_FULL;
            nDone += nWritten;
        }
    }
}

std::wstring TemporaryNameBeside(const std::wstring& szTarget)
{
    static std::atomic<uint32_t> nCounter{0};
    const std::wstring szTrimmed = TrimTrailingSeparators(Win32Path(szTarget));
    size_t nName = szTrimmed.find_last_of(L"\\:");
    nName = nName == std::wstring::npos ? 0 : nName + 1;
    LARGE_INTEGER nNow{};
    ::QueryPerformanceCounter(&nNow);
    const uint64_t nMix = (static_cast<uint64_t>(::GetCurrentProcessId()) << 40) ^
                          (static_cast<uint64_t>(nCounter.fetch_add(1)) << 20) ^
                          static_cast<uint64_t>(nNow.QuadPart);
    wchar_t szSuffix[32];
    std::swprintf(szSuffix, sizeof(szSuffix) / sizeof(szSuffix[0]), L".tarvik-%012llx",
                  static_cast<unsigned long long>(nMix & 0xFFFFFFFFFFFFull));
    return szTrimmed.substr(0, nName) + L"." + szTrimmed.substr(nName) + szSuffix;
}

uint32_t GetFileAttributes(const std::wstring& szPath)
{
    const std::wstring szWin32 = Win32Path(szPath);
    if (szWin32.empty())
    {
        SetLastError(kErrorPathNotFound);
        return kInvalidFileAttributes;
    }
    DWORD nAttributes = ::GetFileAttributesW(szWin32.c_str());
    if (nAttributes == INVALID_FILE_ATTRIBUTES)
    {
        FailPath();
        return kInvalidFileAttributes;
    }
    if (nAttributes & FILE_ATTRIBUTE_REPARSE_POINT)
    {
        // What a link points to; a dangling link reads as itself.
        CWinHandle hTarget = OpenPath(szWin32, FILE_READ_ATTRIBUTES, true);
        BY_HANDLE_FILE_INFORMATION info{};
        if (hTarget.IsValid() && ::GetFileInformationByHandle(hTarget.Get(), &info))
            nAttributes = info.dwFileAttributes;
    }
    return nAttributes;
}

bool SetFileAttributes(const std::wstring& szPath, uint32_t nAttributes)
{
    const std::wstring szWin32 = Win32Path(szPath);
    const DWORD nCurrent = ::GetFileAttributesW(szWin32.c_str());
    if (nCurrent == INVALID_FILE_ATTRIBUTES)
        return FailPath();
    if (nAttributes & kAttributeNormal)
        nAttributes = 0;
    // The bits the caller does not set (archive, not indexed, ...) stay as they are.
    constexpr DWORD kOthers = FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_TEMPORARY | FILE_ATTRIBUTE_OFFLINE |
                              FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
    DWORD nNew = (nCurrent & kOthers) | (nAttributes & kKeptAttributes);
    if (nNew == 0)
        nNew = FILE_ATTRIBUTE_NORMAL;
    if (!::SetFileAttributesW(szWin32.c_str(), nNew))
        return FailPath();
    return true;
}

bool DeleteFile(const std::wstring& szPath)
{
    if (!::DeleteFileW(Win32Path(szPath).c_str()))
        return FailPath();
    return true;
}

bool RemoveDirectory(const std::wstring& szPath)
{
    if (!::RemoveDirectoryW(Win32Path(szPath).c_str()))
        return FailWin32();
    return true;
}

bool CreateDirectory(const std::wstring& szPath)
{
    if (!::CreateDirectoryW(Win32Path(szPath).c_str(), nullptr))
        return FailPath();
    return true;
}

bool CreateDirectoryTree(const std::wstring& szPath)
{
    const std::wstring szWin32 = TrimTrailingSeparators(Win32Path(szPath));
    if (szWin32.empty())
        return FailWith(ERROR_BAD_PATHNAME);
    const DWORD nExisting = ::GetFileAttributesW(szWin32.c_str());
    if (nExisting != INVALID_FILE_ATTRIBUTES)
        return FailWith((nExisting & FILE_ATTRIBUTE_DIRECTORY) ? ERROR_ALREADY_EXISTS : ERROR_FILE_EXISTS);

    // Every component from the root on; those that exist are passed over.
    size_t nPos = RootLength(szWin32);
    for (;;)
    {
        const size_t nSeparator = szWin32.find(L'\\', nPos);
        const bool bLast = nSeparator == std::wstring::npos;
        const std::wstring szPart = bLast ? szWin32 : szWin32.substr(0, nSeparator);
        if (!szPart.empty() && !IsPathSeparator(szPart.back()) &&
            !::CreateDirectoryW(szPart.c_str(), nullptr))
        {
            const DWORD nError = ::GetLastError();
            const bool bDirectory = IsDirectoryPath(szPart);
            if (nError == ERROR_ALREADY_EXISTS && !bDirectory)
                return FailWith(bLast ? ERROR_FILE_EXISTS : ERROR_PATH_NOT_FOUND);
            if (bLast)
            {
                // Made meanwhile by someone else, or refused.
                return FailWith(nError == ERROR_ALREADY_EXISTS ? ERROR_ALREADY_EXISTS
                                                               : PathErrorFrom(nError));
            }
            // A folder on the way that exists may still refuse creation (a share's root, a drive).
            if (!bDirectory)
                return FailWith(PathErrorFrom(nError));
        }
        if (bLast)
            return true;
        nPos = nSeparator + 1;
    }
}

bool MoveFile(const std::wstring& szSource, const std::wstring& szTarget, uint32_t nFlags)
{
    const std::wstring szFrom = Win32Path(szSource);
    const std::wstring szTo = Win32Path(szTarget);
    const bool bReplace = (nFlags & kMoveReplaceExisting) != 0;
    if (::MoveFileExW(szFrom.c_str(), szTo.c_str(),
                      MOVEFILE_WRITE_THROUGH | (bReplace ? MOVEFILE_REPLACE_EXISTING : 0)))
        return true;
    const DWORD nError = ::GetLastError();
    if (nError == ERROR_FILE_EXISTS || nError == ERROR_ALREADY_EXISTS)
        return FailWith(ERROR_ALREADY_EXISTS);
    if (nError != ERROR_NOT_SAME_DEVICE)
        return FailWith(PathErrorFrom(nError));

    // Another volume: MOVEFILE_COPY_ALLOWED would write the target in place, so a crash could leave it
    // half-written under its name. A complete, flushed copy is put in place instead, and only then is
    // the source removed.
    if ((nFlags & kMoveCopyAllowed) == 0 || IsDirectoryPath(szFrom))
        return FailWith(ERROR_NOT_SAME_DEVICE);
    if (!bReplace && PathExists(szTo))
        return FailWith(ERROR_ALREADY_EXISTS);
    const std::wstring szTemp = CopyToTemporary(szFrom, szTo);
    if (szTemp.empty())
        return FailPath();
    if (!PlaceTemporary(szTemp, szTo, bReplace))
    {
        const DWORD nPlaceError = ::GetLastError();
        return FailWith(nPlaceError == ERROR_FILE_EXISTS ? ERROR_ALREADY_EXISTS : PathErrorFrom(nPlaceError));
    }
    // The copy is complete under its name; a source that cannot be removed stays, as on Windows.
    ::SetFileAttributesW(szFrom.c_str(), FILE_ATTRIBUTE_NORMAL);
    ::DeleteFileW(szFrom.c_str());
    return true;
}

bool CopyFile(const std::wstring& szSource, const std::wstring& szTarget, bool bFailIfExists)
{
    const std::wstring szFrom = Win32Path(szSource);
    const std::wstring szTo = Win32Path(szTarget);
    const DWORD nSource = ::GetFileAttributesW(szFrom.c_str());
    if (nSource == INVALID_FILE_ATTRIBUTES)
        return FailPath();
    if (nSource & FILE_ATTRIBUTE_DIRECTORY)
        return FailWith(ERROR_ACCESS_DENIED);
    if (bFailIfExists && PathExists(szTo))
        return FailWith(ERROR_FILE_EXISTS);
    // CopyFileW writes the target in place; a complete copy beside it is renamed over it instead.
    const std::wstring szTemp = CopyToTemporary(szFrom, szTo);
    if (szTemp.empty())
        return FailPath();
    if (!PlaceTemporary(szTemp, szTo, !bFailIfExists))
    {
        const DWORD nError = ::GetLastError();
        return FailWith(nError == ERROR_ALREADY_EXISTS ? ERROR_FILE_EXISTS : PathErrorFrom(nError));
    }
    return true;
}

EFileKind GetFileKind(const std::wstring& szPath, bool bFollowLinks, uint64_t* pSize)
{
    if (pSize != nullptr)
        *pSize = 0;
    const std::wstring szWin32 = Win32Path(szPath);
    if (IsDevicePath(szWin32))
        return EFileKind::Device;
    CWinHandle hFile = OpenPath(szWin32, FILE_READ_ATTRIBUTES, false);
    if (!hFile.IsValid())
    {
        FailPath();
        return EFileKind::Missing;
    }
    EFileKind eKind = KindOfHandle(hFile.Get());
    if (eKind == EFileKind::SymbolicLink && bFollowLinks)
    {
        CWinHandle hTarget = OpenPath(szWin32, FILE_READ_ATTRIBUTES, true);
        if (hTarget.IsValid())
            eKind = KindOfHandle((hFile = std::move(hTarget)).Get());
    }
    LARGE_INTEGER nSize{};
    if (pSize != nullptr && eKind == EFileKind::Regular && ::GetFileSizeEx(hFile.Get(), &nSize))
        *pSize = static_cast<uint64_t>(nSize.QuadPart);
    return eKind;
}

bool GetLastWriteTime(const std::wstring& szPath, SFileTime& ftLastWrite)
{
    CWinHandle hFile = OpenPath(szPath, FILE_READ_ATTRIBUTES, true);
    FILETIME ft{};
    if (!hFile.IsValid() || !::GetFileTime(hFile.Get(), nullptr, nullptr, &ft))
        return FailPath();
    ftLastWrite = FromFileTime(ft);
    return true;
}

bool ReadFilePrefix(const std::wstring& szPath, size_t nMaxBytes, uint32_t nFlags, SFileContent& content)
{
    content = SFileContent();
    const std::wstring szWin32 = Win32Path(szPath);
    if (IsDevicePath(szWin32))
    {
        content.eKind = EFileKind::Device;
        SetKindError(content.eKind);
        return false;
    }
    // The kind is read from the opened handle itself, so a name replaced meanwhile cannot slip a
    // link or a folder past the check.
    CWinHandle hFile = OpenPath(szWin32, GENERIC_READ, (nFlags & kReadNoFollow) == 0, OPEN_EXISTING,
                                FILE_FLAG_SEQUENTIAL_SCAN);
    if (!hFile.IsValid())
        return FailPath();
    content.eKind = KindOfHandle(hFile.Get());
    if (content.eKind != EFileKind::Regular)
    {
        SetKindError(content.eKind);
        return false;
    }
    LARGE_INTEGER nSize{};
    if (!::GetFileSizeEx(hFile.Get(), &nSize))
        return FailWin32();
    content.nSize = static_cast<uint64_t>(nSize.QuadPart);
    const size_t nWant =
        static_cast<uint64_t>(nMaxBytes) < content.nSize ? nMaxBytes : static_cast<size_t>(content.nSize);
    content.szBytes.reserve(nWant);
    std::vector<char> buffer(65536);
    while (content.szBytes.size() < nMaxBytes)
    {
        const size_t nAsk = std::min(buffer.size(), nMaxBytes - content.szBytes.size());
        DWORD nRead = 0;
        if (!::ReadFile(hFile.Get(), buffer.data(), static_cast<DWORD>(nAsk), &nRead, nullptr))
        {
            content.szBytes.clear();
            return FailWin32();
        }
        if (nRead == 0)
            break;
        content.szBytes.append(buffer.data(), nRead);
    }
    return true;
}

bool ReplaceFileContent(const std::wstring& szPath, const std::string& szBytes)
{
    const std::wstring szTarget = Win32Path(szPath);
    // The name itself is replaced, never the file a link under it names: a link, a file with another
    // hard link or anything but a regular file is refused (5).
    DWORD nKeep = 0;
    {
        CWinHandle hOld = OpenPath(szTarget, FILE_READ_ATTRIBUTES, false);
        if (hOld.IsValid())
        {
            BY_HANDLE_FILE_INFORMATION info{};
            if (KindOfHandle(hOld.Get()) != EFileKind::Regular ||
                !::GetFileInformationByHandle(hOld.Get(), &info) || info.nNumberOfLinks != 1)
                return FailWith(ERROR_ACCESS_DENIED);
            // Hidden and system stay; a read-only file refuses the replacement below, as Windows does.
            nKeep = info.dwFileAttributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
        }
        else if (::GetLastError() != ERROR_FILE_NOT_FOUND)
        {
            return FailPath();
        }
    }
    // The new file inherits the folder's access list, as every file made in the folder does.
    std::wstring szTemp;
    CWinHandle hTemp = CreateTemporaryBeside(szTarget, nKeep, szTemp);
    if (!hTemp.IsValid())
        return FailPath();
    DWORD nError = 0;
    size_t nDone = 0;
    while (nError == 0 && nDone < szBytes.size())
    {
        const DWORD nAsk = static_cast<DWORD>(std::min<size_t>(szBytes.size() - nDone, 1u << 30));
        DWORD nWritten = 0;
        if (!::WriteFile(hTemp.Get(), szBytes.data() + nDone, nAsk, &nWritten, nullptr))
            nError = ::GetLastError();
        else if (nWritten == 0)
            nError = ERROR_HANDLE_DISK_FULL;
        nDone += nWritten;
    }
    if (nError == 0 && !::FlushFileBuffers(hTemp.Get()))
        nError = ::GetLastError();
    hTemp.Close();
    if (nError != 0)
    {
        ::SetLastError(nError);
        DiscardTemporary(szTemp);
        return FailWin32();
    }
    if (!PlaceTemporary(szTemp, szTarget, true))
        return FailPath();
    return true;
}

std::wstring GetExecutablePath()
{
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;)
    {
        const DWORD nLength = ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (nLength == 0)
        {
            FailWin32();
            return std::wstring();
        }
        if (nLength < buffer.size())
            return std::wstring(buffer.data(), nLength);
        buffer.resize(buffer.size() * 2);
    }
}

std::wstring GetComputerName()
{
    wchar_t szName[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD nLength = MAX_COMPUTERNAME_LENGTH + 1;
    if (!::GetComputerNameW(szName, &nLength))
    {
        FailWin32();
        return std::wstring();
    }
    return std::wstring(szName, nLength);
}

std::wstring GetUserName()
{
    std::vector<wchar_t> buffer(257);
    DWORD nLength = static_cast<DWORD>(buffer.size());
    if (!::GetUserNameW(buffer.data(), &nLength))
    {
        if (::GetLastError() != ERROR_INSUFFICIENT_BUFFER)
        {
            FailWin32();
            return std::wstring();
        }
        buffer.resize(nLength);
        if (!::GetUserNameW(buffer.data(), &nLength))
        {
            FailWin32();
            return std::wstring();
        }
    }
    // The length counts the terminating zero.
    return std::wstring(buffer.data(), nLength > 0 ? nLength - 1 : 0);
}

} // namespace platform
