// Windows backend of the open folders: a folder handle opened with FILE_FLAG_BACKUP_SEMANTICS, and
// every entry opened relative to it by NtCreateFile (RootDirectory set, FILE_OPEN_REPARSE_POINT),
// so that a name is resolved once, in the folder held open, and a reparse point (a symbolic link or
// a junction) is opened as itself. What is done to an entry is then done to that handle: it is
// described with GetFileInformationByHandle(Ex), read with ReadFile, moved with
// FileRenameInformation (RootDirectory = the target folder) and deleted with the disposition
// classes. The folder is listed with GetFileInformationByHandleEx(FileIdBothDirectoryInfo).
//
// The rename goes to ntdll's NtSetInformationFile: kernel32's SetFileInformationByHandle
// (FileRenameInfo) hands the same structure through on Windows, but Wine's resolves the name against
// the working directory first, which drops the RootDirectory.
#include "platform/OpenDirectory.h"

#include "platform/FileSystem_win.h"
#include "platform/SysError.h"
#include "platform/Windows_win.h"

#include <winternl.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace platform
{

namespace
{

using PNtCreateFile = NTSTATUS(NTAPI*)(PHANDLE, ACCESS_MASK, POBJECT_ATTRIBUTES, PIO_STATUS_BLOCK,
                                       PLARGE_INTEGER, ULONG, ULONG, ULONG, ULONG, PVOID, ULONG);
using PNtSetInformationFile = NTSTATUS(NTAPI*)(HANDLE, PIO_STATUS_BLOCK, PVOID, ULONG,
                                               FILE_INFORMATION_CLASS);
using PRtlNtStatusToDosError = ULONG(NTAPI*)(NTSTATUS);

// The ntdll entry points, looked up once (ntdll is in every process).
struct SNtApi
{
    PNtCreateFile pfnCreateFile = nullptr;
    PNtSetInformationFile pfnSetInformationFile = nullptr;
    PRtlNtStatusToDosError pfnStatusToDosError = nullptr;

    SNtApi()
    {
        const HMODULE hNtdll = ::GetModuleHandleW(L"ntdll.dll");
        if (hNtdll == nullptr)
            return;
        pfnCreateFile = reinterpret_cast<PNtCreateFile>(
            reinterpret_cast<void*>(::GetProcAddress(hNtdll, "NtCreateFile")));
        pfnSetInformationFile = reinterpret_cast<PNtSetInformationFile>(
            reinterpret_cast<void*>(::GetProcAddress(hNtdll, "NtSetInformationFile")));
        pfnStatusToDosError = reinterpret_cast<PRtlNtStatusToDosError>(
            reinterpret_cast<void*>(::GetProcAddress(hNtdll, "RtlNtStatusToDosError")));
    }
};

const SNtApi& NtApi()
{
    static const SNtApi api;
    return api;
}

constexpr ULONG kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
constexpr NTSTATUS kStatusNotADirectory = static_cast<NTSTATUS>(0xC0000103);
constexpr NTSTATUS kStatusObjectNameCollision = static_cast<NTSTATUS>(0xC0000035);

HANDLE AsHandle(intptr_t nHandle)
{
    return reinterpret_cast<HANDLE>(nHandle);
}

// Sets the last error from an NTSTATUS (its Win32 number); false for the caller to return.
bool FailStatus(NTSTATUS nStatus)
{
    const SNtApi& api = NtApi();
    SetLastError(api.pfnStatusToDosError != nullptr ? static_cast<uint32_t>(api.pfnStatusToDosError(nStatus))
                                                    : static_cast<uint32_t>(kErrorGenFailure));
    return false;
}

// False (123) for anything that is not a single name: empty, ".", "..", a separator of either kind,
// a NUL, or a ':' (which would name a stream of the entry).
bool CheckName(const std::wstring& szName)
{
    if (szName.empty() || szName == L"." || szName == L".." ||
        szName.find_first_of(L"\\/:") != std::wstring::npos || szName.find(L'\0') != std::wstring::npos ||
        szName.size() > 32767)
    {
        SetLastError(kErrorInvalidName);
        return false;
    }
    return true;
}

// Opens szName relative to the folder handle hRoot without following a reparse point, and without
// backup intent (the access lists of the entries apply even to a caller that holds the backup
// privilege). An empty name opens the folder itself again. The status is returned; phResult is set on success
// only.
NTSTATUS OpenRelative(HANDLE hRoot, const std::wstring& szName, ACCESS_MASK nAccess, ULONG nShare,
                      ULONG nDisposition, ULONG nOptions, HANDLE* phResult)
{
    const SNtApi& api = NtApi();
    if (api.pfnCreateFile == nullptr)
        return static_cast<NTSTATUS>(0xC0000002); // STATUS_NOT_IMPLEMENTED
    UNICODE_STRING name;
    name.Buffer = const_cast<PWSTR>(szName.c_str());
    name.Length = static_cast<USHORT>(szName.size() * sizeof(wchar_t));
    name.MaximumLength = name.Length;
    OBJECT_ATTRIBUTES attributes;
    InitializeObjectAttributes(&attributes, &name, OBJ_CASE_INSENSITIVE, hRoot, nullptr);
    IO_STATUS_BLOCK io{};
    HANDLE hResult = nullptr;
    const NTSTATUS nStatus = api.pfnCreateFile(
        &hResult, nAccess | SYNCHRONIZE, &attributes, &io, nullptr, FILE_ATTRIBUTE_NORMAL, nShare,
        nDisposition, nOptions | FILE_OPEN_REPARSE_POINT | FILE_SYNCHRONOUS_IO_NONALERT, nullptr, 0);
    if (nStatus >= 0)
        *phResult = hResult;
    return nStatus;
}

// Renames the entry open as hEntry to szTargetName in the folder hTargetRoot.
bool RenameRelative(HANDLE hEntry, HANDLE hTargetRoot, const std::wstring& szTargetName, bool bReplace)
{
    const SNtApi& api = NtApi();
    if (api.pfnSetInformationFile == nullptr)
    {
        SetLastError(kErrorNotSupported);
        return false;
    }
    const size_t nNameBytes = szTargetName.size() * sizeof(wchar_t);
    std::vector<unsigned char> buffer(sizeof(FILE_RENAME_INFO) + nNameBytes + sizeof(wchar_t), 0);
    auto* pInfo = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
    pInfo->ReplaceIfExists = bReplace ? TRUE : FALSE;
    pInfo->RootDirectory = hTargetRoot;
    pInfo->FileNameLength = static_cast<DWORD>(nNameBytes);
    std::memcpy(pInfo->FileName, szTargetName.c_str(), nNameBytes);
    IO_STATUS_BLOCK io{};
    const NTSTATUS nStatus =
        api.pfnSetInformationFile(hEntry, &io, pInfo, static_cast<ULONG>(buffer.size()),
                                  static_cast<FILE_INFORMATION_CLASS>(10)); // FileRenameInformation
    if (nStatus >= 0)
        return true;
    if (nStatus == kStatusObjectNameCollision)
    {
        SetLastError(kErrorAlreadyExists);
        return false;
    }
    FailStatus(nStatus);
    // A folder or a file in use under the target name reads as "exists" to the caller too.
    if (!bReplace && GetLastError() == kErrorFileExists)
        SetLastError(kErrorAlreadyExists);
    return false;
}

// Marks the entry open as hEntry for deletion: with POSIX semantics where the system has them (the
// name goes at once, even while others hold it open; a read-only file goes too, as on Linux), else
// with the classic disposition, clearing a read-only attribute first (put back should the deletion
// still fail). The handle needs DELETE and, for a read-only file, FILE_WRITE_ATTRIBUTES.
bool DeleteByHandle(HANDLE hEntry)
{
    constexpr auto kDispositionInfoEx = static_cast<FILE_INFO_BY_HANDLE_CLASS>(21); // FileDispositionInfoEx
    FILE_DISPOSITION_INFO_EX infoEx{};
    infoEx.Flags = FILE_DISPOSITION_FLAG_DELETE | FILE_DISPOSITION_FLAG_POSIX_SEMANTICS |
                   FILE_DISPOSITION_FLAG_IGNORE_READONLY_ATTRIBUTE;
    if (::SetFileInformationByHandle(hEntry, kDispositionInfoEx, &infoEx, sizeof(infoEx)))
        return true;
    DWORD nError = ::GetLastError();
    if (nError != ERROR_INVALID_PARAMETER && nError != ERROR_NOT_SUPPORTED &&
        nError != ERROR_INVALID_FUNCTION && nError != ERROR_CALL_NOT_IMPLEMENTED)
    {
        return FailWin32();
    }
    FILE_DISPOSITION_INFO info{TRUE}; // DeleteFile
    if (::SetFileInformationByHandle(hEntry, FileDispositionInfo, &info, sizeof(info)))
        return true;
    nError = ::GetLastError();
    FILE_BASIC_INFO basic{};
    if (nError == ERROR_ACCESS_DENIED &&
        ::GetFileInformationByHandleEx(hEntry, FileBasicInfo, &basic, sizeof(basic)) &&
        (basic.FileAttributes & FILE_ATTRIBUTE_READONLY) != 0)
    {
        FILE_BASIC_INFO cleared{}; // zero times: left as they are
        cleared.FileAttributes = basic.FileAttributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY);
        if (cleared.FileAttributes == 0)
            cleared.FileAttributes = FILE_ATTRIBUTE_NORMAL;
        if (::SetFileInformationByHandle(hEntry, FileBasicInfo, &cleared, sizeof(cleared)))
        {
            if (::SetFileInformationByHandle(hEntry, FileDispositionInfo, &info, sizeof(info)))
                return true;
            nError = ::GetLastError();
            FILE_BASIC_INFO restored{};
            restored.FileAttributes = basic.FileAttributes;
            ::SetFileInformationByHandle(hEntry, FileBasicInfo, &restored, sizeof(restored));
        }
    }
    SetLastError(nError);
    return false;
}

EFileKind KindOf(DWORD nAttributes, DWORD nReparseTag)
{
    if (IsLinkReparseTag(nAttributes, nReparseTag))
        return EFileKind::SymbolicLink;
    if ((nAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        return EFileKind::Directory;
    if ((nAttributes & FILE_ATTRIBUTE_DEVICE) != 0)
        return EFileKind::Device;
    return EFileKind::Regular;
}

// Describes the entry open as hEntry.
bool DescribeEntry(HANDLE hEntry, SEntryInfo& info)
{
    BY_HANDLE_FILE_INFORMATION data{};
    if (!::GetFileInformationByHandle(hEntry, &data))
        return FailWin32();
    FILE_ATTRIBUTE_TAG_INFO tag{};
    if ((data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 &&
        !::GetFileInformationByHandleEx(hEntry, FileAttributeTagInfo, &tag, sizeof(tag)))
    {
        return FailWin32();
    }
    info.eKind = KindOf(data.dwFileAttributes, tag.ReparseTag);
    info.nSize = info.eKind == EFileKind::Directory
                     ? 0
                     : (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    info.nLinks = data.nNumberOfLinks;
    info.bReadOnly = (data.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0;
    info.ftLastWrite = FromFileTime(data.ftLastWriteTime);
    info.ftCreation = FromFileTime(data.ftCreationTime);
    info.ftLastAccess = FromFileTime(data.ftLastAccessTime);
    return true;
}

// False (6) when the folder is not open.
bool CheckOpen(intptr_t nHandle)
{
    if (nHandle != -1)
        return true;
    SetLastError(kErrorInvalidHandle);
    return false;
}

void CloseHandleValue(intptr_t& nHandle)
{
    if (nHandle != -1)
        ::CloseHandle(AsHandle(nHandle));
    nHandle = -1;
}

// What a folder handle needs: listing, being the root of relative opens, its own attributes.
constexpr ACCESS_MASK kFolderAccess = FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_READ_ATTRIBUTES;

// Reads the whole of nSize bytes at nOffset (fewer at the end of the file).
bool ReadAt(HANDLE hFile, uint64_t nOffset, char* pBuffer, size_t nSize, size_t& nRead)
{
    nRead = 0;
    while (nRead < nSize)
    {
        OVERLAPPED position{};
        const uint64_t nAt = nOffset + nRead;
        position.Offset = static_cast<DWORD>(nAt);
        position.OffsetHigh = static_cast<DWORD>(nAt >> 32);
        const DWORD nWant = static_cast<DWORD>(std::min<size_t>(nSize - nRead, 1u << 20));
        DWORD nGot = 0;
        if (!::ReadFile(hFile, pBuffer + nRead, nWant, &nGot, &position))
        {
            if (::GetLastError() == ERROR_HANDLE_EOF)
                break;
            return FailWin32();
        }
        if (nGot == 0)
            break;
        nRead += nGot;
    }
    return true;
}

bool WriteAll(HANDLE hFile, const char* pData, size_t nSize)
{
    while (nSize > 0)
    {
        DWORD nDone = 0;
        if (!::WriteFile(hFile, pData, static_cast<DWORD>(std::min<size_t>(nSize, 1u << 20)), &nDone,
                         nullptr))
            return FailWin32();
        pData += nDone;
        nSize -= nDone;
    }
    return true;
}

} // namespace

COpenFile::COpenFile() = default;

COpenFile::~COpenFile()
{
    Close();
}

bool COpenFile::IsOpen() const
{
    return m_nHandle != -1;
}

void COpenFile::Close()
{
    CloseHandleValue(m_nHandle);
}

bool COpenFile::ReadPrefix(size_t nMaxBytes, std::string& szBytes)
{
    szBytes.clear();
    if (m_nHandle == -1)
    {
        SetLastError(kErrorInvalidHandle);
        return false;
    }
    // The size seen at opening tells how much to ask for: one read for a file that did not grow.
    const size_t nWant = static_cast<size_t>(std::min<uint64_t>(m_info.nSize, nMaxBytes));
    szBytes.resize(nWant);
    size_t nDone = 0;
    if (!ReadAt(AsHandle(m_nHandle), 0, szBytes.data(), nWant, nDone))
    {
        szBytes.clear();
        return false;
    }
    szBytes.resize(nDone);
    return true;
}

bool COpenFile::CopyInto(const COpenDirectory& target, const std::wstring& szName, bool bReplace)
{
    if (!CheckName(szName))
        return false;
    if (m_nHandle == -1 || target.m_nHandle == -1)
    {
        SetLastError(kErrorInvalidHandle);
        return false;
    }
    const HANDLE hIn = AsHandle(m_nHandle);
    // A fresh temporary name beside the target, never an existing file.
    HANDLE hOut = nullptr;
    for (unsigned nTry = 0; hOut == nullptr && nTry < 100; ++nTry)
    {
        const std::wstring szTemp = L"." + szName + L".tarvik-" + std::to_wstring(::GetCurrentProcessId()) +
                                    L"-" + std::to_wstring(nTry);
        const NTSTATUS nStatus =
            OpenRelative(AsHandle(target.m_nHandle), szTemp, GENERIC_WRITE | DELETE | FILE_READ_ATTRIBUTES, 0,
                         FILE_CREATE, FILE_NON_DIRECTORY_FILE | FILE_SEQUENTIAL_ONLY, &hOut);
        if (nStatus < 0)
        {
            hOut = nullptr;
            if (nStatus != kStatusObjectNameCollision)
                return FailStatus(nStatus);
        }
    }
    if (hOut == nullptr)
    {
        SetLastError(kErrorAlreadyExists);
        return false;
    }
    bool bDone = true;
    std::vector<char> buffer(256 * 1024);
    for (uint64_t nOffset = 0; bDone;)
    {
        size_t nRead = 0;
        bDone = ReadAt(hIn, nOffset, buffer.data(), buffer.size(), nRead);
        if (!bDone || nRead == 0)
            break;
        bDone = WriteAll(hOut, buffer.data(), nRead);
        nOffset += nRead;
    }
    // The times and attributes of the source. Read-only is set only once the copy is in place, as it
    // would stop the temporary from being deleted after a failure.
    BY_HANDLE_FILE_INFORMATION source{};
    const bool bSource = bDone && ::GetFileInformationByHandle(hIn, &source);
    const DWORD nKeep = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE;
    if (bSource)
    {
        FILE_BASIC_INFO basic{};
        basic.LastAccessTime.LowPart = source.ftLastAccessTime.dwLowDateTime;
        basic.LastAccessTime.HighPart = static_cast<LONG>(source.ftLastAccessTime.dwHighDateTime);
        basic.LastWriteTime.LowPart = source.ftLastWriteTime.dwLowDateTime;
        basic.LastWriteTime.HighPart = static_cast<LONG>(source.ftLastWriteTime.dwHighDateTime);
        basic.FileAttributes =
            (source.dwFileAttributes & nKeep) != 0 ? source.dwFileAttributes & nKeep : FILE_ATTRIBUTE_NORMAL;
        ::SetFileInformationByHandle(hOut, FileBasicInfo, &basic, sizeof(basic));
    }
    if (bDone && !::FlushFileBuffers(hOut))
        bDone = FailWin32();
    if (bDone)
        bDone = RenameRelative(hOut, AsHandle(target.m_nHandle), szName, bReplace);
    if (!bDone)
    {
        const uint32_t nError = GetLastError();
        DeleteByHandle(hOut);
        ::CloseHandle(hOut);
        SetLastError(nError);
        return false;
    }
    if (bSource && (source.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0)
    {
        FILE_BASIC_INFO basic{};
        basic.FileAttributes = (source.dwFileAttributes & nKeep) | FILE_ATTRIBUTE_READONLY;
        ::SetFileInformationByHandle(hOut, FileBasicInfo, &basic, sizeof(basic));
    }
    ::CloseHandle(hOut);
    return true;
}

COpenDirectory::COpenDirectory() = default;

COpenDirectory::~COpenDirectory()
{
    Close();
}

bool COpenDirectory::IsOpen() const
{
    return m_nHandle != -1;
}

void COpenDirectory::Close()
{
    CloseHandleValue(m_nHandle);
}

bool COpenDirectory::Open(const std::wstring& szPath)
{
    Close();
    m_szPath = szPath;
    if (szPath.empty() || szPath.find(L'\0') != std::wstring::npos)
    {
        SetLastError(kErrorPathNotFound);
        return false;
    }
    const HANDLE hFolder = ::CreateFileW(Win32Path(szPath).c_str(), kFolderAccess, kShareAll, nullptr,
                                         OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (hFolder == INVALID_HANDLE_VALUE)
    {
        const DWORD nError = ::GetLastError();
        SetLastError(nError == ERROR_FILE_NOT_FOUND ? static_cast<uint32_t>(kErrorPathNotFound) : nError);
        return false;
    }
    BY_HANDLE_FILE_INFORMATION data{};
    if (!::GetFileInformationByHandle(hFolder, &data) ||
        (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
    {
        ::CloseHandle(hFolder);
        SetLastError(kErrorDirectory);
        return false;
    }
    m_nHandle = reinterpret_cast<intptr_t>(hFolder);
    return true;
}

bool COpenDirectory::OpenChild(const COpenDirectory& parent, const std::wstring& szName)
{
    Close();
    m_szPath = parent.m_szPath;
    if (!m_szPath.empty() && m_szPath.back() != L'\\' && m_szPath.back() != L'/')
        m_szPath += kPathSeparator;
    m_szPath += szName;
    if (!CheckName(szName))
        return false;
    if (parent.m_nHandle == -1)
    {
        SetLastError(kErrorInvalidHandle);
        return false;
    }
    HANDLE hChild = nullptr;
    NTSTATUS nStatus = OpenRelative(AsHandle(parent.m_nHandle), szName, kFolderAccess, kShareAll, FILE_OPEN,
                                    FILE_DIRECTORY_FILE, &hChild);
    SEntryInfo info;
    if (nStatus == kStatusNotADirectory)
    {
        // A link to a file reads as "not a folder": tell it by looking at the entry itself.
        HANDLE hEntry = nullptr;
        if (OpenRelative(AsHandle(parent.m_nHandle), szName, FILE_READ_ATTRIBUTES, kShareAll, FILE_OPEN, 0,
                         &hEntry) >= 0)
        {
            const bool bLink = DescribeEntry(hEntry, info) && info.eKind == EFileKind::SymbolicLink;
            ::CloseHandle(hEntry);
            if (bLink)
            {
                SetLastError(kErrorCantResolveFilename);
                return false;
            }
        }
        SetLastError(kErrorDirectory);
        return false;
    }
    if (nStatus < 0)
    {
        FailStatus(nStatus);
        if (GetLastError() == kErrorFileNotFound)
            SetLastError(kErrorPathNotFound);
        return false;
    }
    // Opened as itself: a link to a folder (or a junction) is refused, whatever it points to.
    if (!DescribeEntry(hChild, info) || info.eKind != EFileKind::Directory)
    {
        const uint32_t nError = info.eKind == EFileKind::SymbolicLink ? kErrorCantResolveFilename
                                : info.eKind == EFileKind::Missing    ? GetLastError()
                                                                      : kErrorDirectory;
        ::CloseHandle(hChild);
        SetLastError(nError);
        return false;
    }
    m_nHandle = reinterpret_cast<intptr_t>(hChild);
    return true;
}

bool COpenDirectory::ListEntries(PListCallback pfnCallback, void* pContext) const
{
    if (m_nHandle == -1)
    {
        SetLastError(kErrorInvalidHandle);
        return false;
    }
    // A handle of its own for the listing (the folder opened again through itself), so that two
    // listings never share a position.
    HANDLE hList = nullptr;
    const NTSTATUS nStatus = OpenRelative(AsHandle(m_nHandle), std::wstring(), FILE_LIST_DIRECTORY, kShareAll,
                                          FILE_OPEN, FILE_DIRECTORY_FILE, &hList);
    if (nStatus < 0)
        return FailStatus(nStatus);
    std::vector<LONGLONG> storage(64 * 1024 / sizeof(LONGLONG)); // aligned for the records
    unsigned char* const buffer = reinterpret_cast<unsigned char*>(storage.data());
    const DWORD nBufferSize = static_cast<DWORD>(storage.size() * sizeof(LONGLONG));
    SListedEntry entry;
    bool bResult = true;
    bool bGoOn = true;
    for (FILE_INFO_BY_HANDLE_CLASS eClass = FileIdBothDirectoryRestartInfo; bGoOn;
         eClass = FileIdBothDirectoryInfo)
    {
        if (!::GetFileInformationByHandleEx(hList, eClass, buffer, nBufferSize))
        {
            const DWORD nError = ::GetLastError();
            if (nError != ERROR_NO_MORE_FILES)
                bResult = FailWin32();
            break;
        }
        for (size_t nOffset = 0;;)
        {
            const auto* pInfo = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(buffer + nOffset);
            entry.szName.assign(pInfo->FileName, pInfo->FileNameLength / sizeof(wchar_t));
            if (entry.szName != L"." && entry.szName != L"..")
            {
                // For a reparse point the extended-attribute size holds the reparse tag.
                entry.eKind = KindOf(pInfo->FileAttributes, pInfo->EaSize);
                if (!pfnCallback(pContext, entry))
                {
                    bGoOn = false;
                    break;
                }
            }
            if (pInfo->NextEntryOffset == 0)
                break;
            nOffset += pInfo->NextEntryOffset;
        }
    }
    ::CloseHandle(hList);
    return bResult;
}

bool COpenDirectory::Describe(const std::wstring& szName, SEntryInfo& info) const
{
    info = SEntryInfo();
    if (!CheckName(szName) || !CheckOpen(m_nHandle))
        return false;
    HANDLE hEntry = nullptr;
    const NTSTATUS nStatus =
        OpenRelative(AsHandle(m_nHandle), szName, FILE_READ_ATTRIBUTES, kShareAll, FILE_OPEN, 0, &hEntry);
    if (nStatus < 0)
        return FailStatus(nStatus);
    const bool bResult = DescribeEntry(hEntry, info);
    ::CloseHandle(hEntry);
    if (!bResult)
        info = SEntryInfo();
    return bResult;
}

bool COpenDirectory::OpenFile(const std::wstring& szName, uint32_t nMaxLinks, COpenFile& file) const
{
    file.Close();
    file.m_info = SEntryInfo();
    if (!CheckName(szName) || !CheckOpen(m_nHandle))
        return false;
    // Opened as itself and without a sharing restriction on others (the entry may still be moved or
    // deleted while it is open, by this process too); what it is comes from the handle.
    HANDLE hFile = nullptr;
    const NTSTATUS nStatus = OpenRelative(AsHandle(m_nHandle), szName, GENERIC_READ, kShareAll, FILE_OPEN,
                                          FILE_SEQUENTIAL_ONLY, &hFile);
    if (nStatus < 0)
        return FailStatus(nStatus);
    if (!DescribeEntry(hFile, file.m_info))
    {
        const uint32_t nError = GetLastError();
        ::CloseHandle(hFile);
        file.m_info = SEntryInfo();
        SetLastError(nError);
        return false;
    }
    uint32_t nError = kErrorSuccess;
    if (file.m_info.eKind == EFileKind::SymbolicLink)
        nError = kErrorCantResolveFilename;
    else if (file.m_info.eKind == EFileKind::Directory)
        nError = kErrorAccessDenied;
    else if (file.m_info.eKind != EFileKind::Regular)
        nError = kErrorUnsupportedType;
    else if (nMaxLinks > 0 && file.m_info.nLinks > nMaxLinks)
        nError = kErrorCantResolveFilename;
    if (nError != kErrorSuccess)
    {
        ::CloseHandle(hFile);
        SetLastError(nError);
        return false;
    }
    file.m_nHandle = reinterpret_cast<intptr_t>(hFile);
    return true;
}

bool COpenDirectory::MoveEntry(const std::wstring& szName, const COpenDirectory& target,
                               const std::wstring& szTargetName, bool bReplace) const
{
    if (!CheckName(szName) || !CheckName(szTargetName))
        return false;
    if (m_nHandle == -1 || target.m_nHandle == -1)
    {
        SetLastError(kErrorInvalidHandle);
        return false;
    }
    HANDLE hEntry = nullptr;
    const NTSTATUS nStatus = OpenRelative(AsHandle(m_nHandle), szName, DELETE | FILE_READ_ATTRIBUTES,
                                          kShareAll, FILE_OPEN, 0, &hEntry);
    if (nStatus < 0)
        return FailStatus(nStatus);
    const bool bResult = RenameRelative(hEntry, AsHandle(target.m_nHandle), szTargetName, bReplace);
    const uint32_t nError = GetLastError();
    ::CloseHandle(hEntry);
    if (!bResult)
        SetLastError(nError);
    return bResult;
}

bool COpenDirectory::DeleteEntry(const std::wstring& szName) const
{
    if (!CheckName(szName) || !CheckOpen(m_nHandle))
        return false;
    HANDLE hEntry = nullptr;
    const NTSTATUS nStatus =
        OpenRelative(AsHandle(m_nHandle), szName, DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES,
                     kShareAll, FILE_OPEN, 0, &hEntry);
    if (nStatus < 0)
        return FailStatus(nStatus);
    // The check and the deletion act on the same handle, so nothing can be swapped in between.
    SEntryInfo info;
    bool bResult = DescribeEntry(hEntry, info);
    if (bResult && info.eKind == EFileKind::Directory)
    {
        SetLastError(kErrorAccessDenied);
        bResult = false;
    }
    else if (bResult)
    {
        bResult = DeleteByHandle(hEntry);
    }
    const uint32_t nError = GetLastError();
    ::CloseHandle(hEntry);
    if (!bResult)
        SetLastError(nError);
    return bResult;
}

} // namespace platform
