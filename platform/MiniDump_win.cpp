// Minidumps and the crash-time services on Windows: MiniDumpWriteDump of the debug-help library, the
// registry read directly, and the dump files created through handles with an owner-only security
// descriptor. The fault filter runs on the faulting thread in ordinary thread context, so the Win32
// calls are allowed here; the buffers are still static, so that a damaged heap spoils as little as
// possible (the debug-help library allocates on its own, as it must).
#include "platform/MiniDump.h"

#include "platform/Windows_win.h"

#include <dbghelp.h>

#include <cstring>

namespace platform
{

namespace
{

constexpr size_t kMaxPathChars = 4096;

long g_nUtcOffsetSeconds = 0;

// An access control list that grants the process's user alone full access, protected from the
// inheritable entries of the parent folder: one for the dumps folder (inherited by what is made in
// it), one for a dump file. Built by PrepareCrashServices; empty (the default security) until then.
alignas(8) BYTE g_folderAcl[256];
alignas(8) BYTE g_fileAcl[256];
SECURITY_DESCRIPTOR g_folderSecurity;
SECURITY_DESCRIPTOR g_fileSecurity;
bool g_bSecurityReady = false;

wchar_t g_szFolder[kMaxPathChars];
wchar_t g_szPath[kMaxPathChars];
wchar_t g_szName[MAX_PATH + 1];
wchar_t g_szPattern[kMaxPathChars];

bool BuildOwnerOnlySecurity(PSID pUser, BYTE* pAclBuffer, DWORD nAclSize, DWORD nAceFlags,
                            SECURITY_DESCRIPTOR& security)
{
    auto* pAcl = reinterpret_cast<PACL>(pAclBuffer);
    return ::InitializeAcl(pAcl, nAclSize, ACL_REVISION) &&
           ::AddAccessAllowedAceEx(pAcl, ACL_REVISION, nAceFlags, FILE_ALL_ACCESS, pUser) &&
           ::InitializeSecurityDescriptor(&security, SECURITY_DESCRIPTOR_REVISION) &&
           ::SetSecurityDescriptorDacl(&security, TRUE, pAcl, FALSE) &&
           ::SetSecurityDescriptorControl(&security, SE_DACL_PROTECTED, SE_DACL_PROTECTED);
}

// UTF-8 text into a NUL-ended wide buffer of nSize characters; false when it does not fit.
bool Widen(const char* szText, wchar_t* pBuffer, size_t nSize)
{
    const int n = ::MultiByteToWideChar(CP_UTF8, 0, szText, -1, pBuffer, static_cast<int>(nSize));
    return n > 0;
}

// g_szFolder + '\' + g_szName into g_szPath.
bool JoinPath()
{
    const size_t nFolder = ::wcslen(g_szFolder);
    const size_t nName = ::wcslen(g_szName);
    if (nFolder + 1 + nName + 1 > kMaxPathChars)
    {
        return false;
    }
    std::memcpy(g_szPath, g_szFolder, nFolder * sizeof(wchar_t));
    size_t nPos = nFolder;
    if (nPos > 0 && g_szPath[nPos - 1] != L'\\' && g_szPath[nPos - 1] != L'/')
    {
        g_szPath[nPos++] = L'\\';
    }
    std::memcpy(g_szPath + nPos, g_szName, (nName + 1) * sizeof(wchar_t));
    return true;
}

// Opens the folder itself, refusing a link (a symbolic link or junction) in its place. The handle
// shares no deletion, so the folder cannot be renamed or replaced while it is held.
HANDLE OpenFolderNoLink(const wchar_t* szFolder)
{
    const HANDLE hFolder = ::CreateFileW(szFolder, FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES,
                                         FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                         FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (hFolder == INVALID_HANDLE_VALUE)
    {
        return INVALID_HANDLE_VALUE;
    }
    FILE_ATTRIBUTE_TAG_INFO info{};
    if (!::GetFileInformationByHandleEx(hFolder, FileAttributeTagInfo, &info, sizeof(info)) ||
        (info.FileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 ||
        (info.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0)
    {
        ::CloseHandle(hFolder);
        return INVALID_HANDLE_VALUE;
    }
    return hFolder;
}

bool HasEnds(const wchar_t* szName, const wchar_t* szPrefix, const wchar_t* szSuffix)
{
    const size_t nName = ::wcslen(szName);
    const size_t nPrefix = ::wcslen(szPrefix);
    const size_t nSuffix = ::wcslen(szSuffix);
    return nName >= nPrefix + nSuffix && ::wcsncmp(szName, szPrefix, nPrefix) == 0 &&
           ::wcscmp(szName + nName - nSuffix, szSuffix) == 0;
}

// Appends szText to pBuffer at nPos, as far as it fits before the last byte.
void Append(char* pBuffer, size_t nSize, size_t& nPos, const char* szText, size_t nLength)
{
    while (nLength > 0 && nPos + 1 < nSize)
    {
        pBuffer[nPos++] = *szText++;
        --nLength;
    }
}

const char* TypeLine(DWORD nType)
{
    switch (nType)
    {
    case REG_EXPAND_SZ:
        return "#type=REG_EXPAND_SZ\n";
    case REG_DWORD:
        return "#type=REG_DWORD\n";
    case REG_BINARY:
        return "#type=REG_BINARY\n";
    case REG_MULTI_SZ:
        return "#type=REG_MULTI_SZ\n";
    case REG_QWORD:
        return "#type=REG_QWORD\n";
    default:
        return "#type=REG_NONE\n";
    }
}

} // namespace

void PrepareCrashServices()
{
    FILETIME utc;
    FILETIME local;
    ::GetSystemTimeAsFileTime(&utc);
    if (::FileTimeToLocalFileTime(&utc, &local))
    {
        const auto toTicks = [](const FILETIME& t)
        { return static_cast<int64_t>((static_cast<uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime); };
        g_nUtcOffsetSeconds = static_cast<long>((toTicks(local) - toTicks(utc)) / 10000000);
    }

    HANDLE hToken = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &hToken))
    {
        return;
    }
    alignas(8) BYTE user[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
    DWORD nSize = 0;
    if (::GetTokenInformation(hToken, TokenUser, user, sizeof(user), &nSize))
    {
        PSID pUser = reinterpret_cast<TOKEN_USER*>(user)->User.Sid;
        g_bSecurityReady =
            BuildOwnerOnlySecurity(pUser, g_folderAcl, sizeof(g_folderAcl),
                                   OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE, g_folderSecurity) &&
            BuildOwnerOnlySecurity(pUser, g_fileAcl, sizeof(g_fileAcl), 0, g_fileSecurity);
    }
    ::CloseHandle(hToken);
}

bool MiniDumpWriteDump(intptr_t hFile, uint32_t nDumpType, const SExceptionPointers* pInfo)
{
    EXCEPTION_POINTERS pointers{};
    MINIDUMP_EXCEPTION_INFORMATION exception{};
    const bool bException = pInfo != nullptr && pInfo->pSignalInfo != nullptr;
    if (bException)
    {
        pointers.ExceptionRecord = static_cast<EXCEPTION_RECORD*>(const_cast<void*>(pInfo->pSignalInfo));
        pointers.ContextRecord = static_cast<CONTEXT*>(const_cast<void*>(pInfo->pContext));
        exception.ThreadId = pInfo->nThreadId;
        exception.ExceptionPointers = &pointers;
        exception.ClientPointers = FALSE; // the pointers belong to this process
    }
    return ::MiniDumpWriteDump(::GetCurrentProcess(), ::GetCurrentProcessId(),
                               reinterpret_cast<HANDLE>(hFile), static_cast<MINIDUMP_TYPE>(nDumpType),
                               bException ? &exception : nullptr, nullptr, nullptr) != FALSE;
}

bool ReadMachineValueAtCrash(const char* const* ppKeyPath, size_t nParts, const char* szValue, char* pBuffer,
                             size_t nSize, size_t& nLength)
{
    nLength = 0;
    if (nSize == 0)
    {
        return false;
    }
    std::memset(pBuffer, 0, nSize);
    // The key's path, backslash separated.
    size_t nPos = 0;
    for (size_t i = 0; i < nParts; ++i)
    {
        if (i > 0)
        {
            g_szPath[nPos++] = L'\\';
        }
        if (nPos >= kMaxPathChars || !Widen(ppKeyPath[i], g_szPath + nPos, kMaxPathChars - nPos))
        {
            return false;
        }
        nPos += ::wcslen(g_szPath + nPos);
    }
    g_szPath[nPos] = L'\0';
    if (!Widen(szValue, g_szName, sizeof(g_szName) / sizeof(g_szName[0])))
    {
        return false;
    }
    // Reading asks for no more than reading: a key of the machine is writable by administrators only.
    HKEY hKey = nullptr;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, g_szPath, 0, KEY_QUERY_VALUE, &hKey) != ERROR_SUCCESS)
    {
        return false;
    }
    alignas(8) static BYTE s_data[1024];
    std::memset(s_data, 0, sizeof(s_data));
    DWORD nType = REG_NONE;
    DWORD nData = sizeof(s_data) - sizeof(wchar_t); // room for a NUL the value may lack
    const LSTATUS nResult = ::RegQueryValueExW(hKey, g_szName, nullptr, &nType, s_data, &nData);
    ::RegCloseKey(hKey);
    if (nResult != ERROR_SUCCESS)
    {
        return false;
    }
    // The value as the registry stand-in of the other systems writes it: the text of a string, the
    // decimal text of a number, a first "#type=" line for every kind but a plain string.
    static char s_text[sizeof(s_data) * 2];
    const char* szTypeLine = TypeLine(nType);
    size_t nText = 0;
    if (nType == REG_SZ || nType == REG_EXPAND_SZ)
    {
        const int n = ::WideCharToMultiByte(CP_UTF8, 0, reinterpret_cast<const wchar_t*>(s_data), -1, s_text,
                                            sizeof(s_text), nullptr, nullptr);
        nText = n > 0 ? static_cast<size_t>(n - 1) : 0;
        if (nType == REG_SZ)
        {
            szTypeLine = std::strncmp(s_text, "#type=", 6) == 0 ? "#type=REG_SZ\n" : "";
        }
    }
    else if (nType == REG_DWORD)
    {
        if (nData != sizeof(DWORD))
        {
            return false; // a number of the wrong size is no number
        }
        DWORD nNumber = 0;
        std::memcpy(&nNumber, s_data, sizeof(nNumber));
        char digits[16];
        size_t nDigits = 0;
        do
        {
            digits[nDigits++] = static_cast<char>('0' + nNumber % 10);
            nNumber /= 10;
        } while (nNumber != 0);
        while (nDigits > 0)
        {
            s_text[nText++] = digits[--nDigits];
        }
    }
    size_t nOut = 0;
    Append(pBuffer, nSize, nOut, szTypeLine, std::strlen(szTypeLine));
    Append(pBuffer, nSize, nOut, s_text, nText);
    nLength = nOut;
    return true;
}

int64_t CrashTimeMilliseconds()
{
    FILETIME now;
    ::GetSystemTimeAsFileTime(&now);
    const uint64_t nTicks = (static_cast<uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
    constexpr uint64_t kTicksTo1970 = 116444736000000000ull; // 100 ns ticks from 1601 to 1970
    return static_cast<int64_t>((nTicks - kTicksTo1970) / 10000);
}

long CrashUtcOffsetSeconds()
{
    return g_nUtcOffsetSeconds;
}

long CrashProcessId()
{
    return static_cast<long>(::GetCurrentProcessId());
}

intptr_t CreateCrashFile(const char* szDirectory, const char* szName)
{
    if (!Widen(szDirectory, g_szFolder, kMaxPathChars) ||
        !Widen(szName, g_szName, sizeof(g_szName) / sizeof(g_szName[0])) || !JoinPath())
    {
        return kInvalidCrashFile;
    }
    SECURITY_ATTRIBUTES folderAttributes{sizeof(SECURITY_ATTRIBUTES),
                                         g_bSecurityReady ? &g_folderSecurity : nullptr, FALSE};
    ::CreateDirectoryW(g_szFolder, &folderAttributes); // fails harmlessly when it exists
    const HANDLE hFolder = OpenFolderNoLink(g_szFolder);
    if (hFolder == INVALID_HANDLE_VALUE)
    {
        return kInvalidCrashFile;
    }
    // Replaces an existing file. DeleteFileW removes a link itself, never what it points at, and
    // refuses a folder; a name that is still taken then makes the creation below fail.
    ::DeleteFileW(g_szPath);
    SECURITY_ATTRIBUTES fileAttributes{sizeof(SECURITY_ATTRIBUTES),
                                       g_bSecurityReady ? &g_fileSecurity : nullptr, FALSE};
    const HANDLE hFile =
        ::CreateFileW(g_szPath, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, &fileAttributes, CREATE_NEW,
                      FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    ::CloseHandle(hFolder);
    return hFile == INVALID_HANDLE_VALUE ? kInvalidCrashFile : reinterpret_cast<intptr_t>(hFile);
}

void CloseCrashFile(intptr_t hFile)
{
    if (hFile != kInvalidCrashFile)
    {
        ::CloseHandle(reinterpret_cast<HANDLE>(hFile));
    }
}

void KeepNewestCrashFiles(const char* szDirectory, const char* szPrefix, const char* szSuffix, size_t nKeep)
{
    static wchar_t s_szPrefix[MAX_PATH + 1];
    static wchar_t s_szSuffix[MAX_PATH + 1];
    static wchar_t s_szOldest[MAX_PATH];
    if (!Widen(szDirectory, g_szFolder, kMaxPathChars) || !Widen(szPrefix, s_szPrefix, MAX_PATH + 1) ||
        !Widen(szSuffix, s_szSuffix, MAX_PATH + 1))
    {
        return;
    }
    std::memcpy(g_szName, L"*", 2 * sizeof(wchar_t));
    if (!JoinPath())
    {
        return;
    }
    std::memcpy(g_szPattern, g_szPath, sizeof(g_szPattern));
    const HANDLE hFolder = OpenFolderNoLink(g_szFolder);
    if (hFolder == INVALID_HANDLE_VALUE)
    {
        return;
    }
    // Each round finds the count and the oldest of the files; at most a few rounds are needed, since
    // every crash keeps the folder at its limit.
    for (int nRound = 0; nRound < 64; ++nRound)
    {
        WIN32_FIND_DATAW entry;
        const HANDLE hFind =
            ::FindFirstFileExW(g_szPattern, FindExInfoBasic, &entry, FindExSearchNameMatch, nullptr, 0);
        if (hFind == INVALID_HANDLE_VALUE)
        {
            break;
        }
        size_t nCount = 0;
        FILETIME oldest{};
        s_szOldest[0] = L'\0';
        do
        {
            // Links and folders are not dumps, whatever their names.
            if ((entry.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0 ||
                !HasEnds(entry.cFileName, s_szPrefix, s_szSuffix))
            {
                continue;
            }
            ++nCount;
            const LONG nOrder = ::CompareFileTime(&entry.ftLastWriteTime, &oldest);
            if (s_szOldest[0] == L'\0' || nOrder < 0 ||
                (nOrder == 0 && ::wcscmp(entry.cFileName, s_szOldest) < 0))
            {
                oldest = entry.ftLastWriteTime;
                std::memcpy(s_szOldest, entry.cFileName, sizeof(entry.cFileName));
            }
        } while (::FindNextFileW(hFind, &entry));
        ::FindClose(hFind);
        if (nCount <= nKeep || s_szOldest[0] == L'\0')
        {
            break;
        }
        std::memcpy(g_szName, s_szOldest, sizeof(s_szOldest));
        if (!JoinPath() || !::DeleteFileW(g_szPath))
        {
            break;
        }
    }
    ::CloseHandle(hFolder);
}

} // namespace platform
