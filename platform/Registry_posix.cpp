// Registry stand-in: one directory per key, one small text file per value (see Registry.h).
#include "platform/Registry.h"

#include "platform/Encoding.h"
#include "platform/FileSystem.h"
#include "platform/SysError.h"
#include "platform/SysError_posix.h"
#include "platform/Registry_posix.h"
#include "platform/FileSystem_posix.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <dirent.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform
{

namespace
{

constexpr uint32_t kKeyQueryValue = 0x0001;
constexpr uint32_t kKeySetValue = 0x0002;
constexpr uint32_t kKeyCreateSubKey = 0x0004;
constexpr uint32_t kKeyEnumerateSubKeys = 0x0008;

constexpr const char* kTypeLine = "#type=";

// File name of a key or value name: UTF-8, with '%', '/', control characters and a leading '.' (and
// for values a name "@", which is the default value's file) written as %XX.
std::string EncodeName(const std::wstring& szName, bool bValue)
{
    if (bValue && szName.empty())
    {
        return "@";
    }
    static const char kHex[] = "0123456789ABCDEF";
    const std::string szUtf8 = NativePath(szName);
    std::string szFile;
    for (size_t i = 0; i < szUtf8.size(); ++i)
    {
        const unsigned char u = static_cast<unsigned char>(szUtf8[i]);
        const bool bEscape = u == '%' || u == '/' || u < 0x20 || (i == 0 && u == '.') ||
                             (bValue && i == 0 && u == '@' && szUtf8.size() == 1);
        if (bEscape)
        {
            szFile.push_back('%');
            szFile.push_back(kHex[u >> 4]);
            szFile.push_back(kHex[u & 15]);
        }
        else
        {
            szFile.push_back(static_cast<char>(u));
        }
    }
    return szFile;
}

int HexDigit(char c)
{
    if (c >= '0' && c <= '9')
    {
        return c - '0';
    }
    if (c >= 'A' && c <= 'F')
    {
        return c - 'A' + 10;
    }
    if (c >= 'a' && c <= 'f')
    {
        return c - 'a' + 10;
    }
    return -1;
}

std::wstring DecodeName(const std::string& szFile, bool bValue)
{
    if (bValue && szFile == "@")
    {
        return std::wstring();
    }
    std::string szUtf8;
    for (size_t i = 0; i < szFile.size(); ++i)
    {
        if (szFile[i] == '%' && i + 2 < szFile.size() && HexDigit(szFile[i + 1]) >= 0 &&
            HexDigit(szFile[i + 2]) >= 0)
        {
            szUtf8.push_back(static_cast<char>(HexDigit(szFile[i + 1]) * 16 + HexDigit(szFile[i + 2])));
            i += 2;
        }
        else
        {
            szUtf8.push_back(szFile[i]);
        }
    }
    return WidePath(szUtf8);
}

bool StatKind(const std::string& szPath, bool bDirectory)
{
    struct stat st{};
    return ::stat(szPath.c_str(), &st) == 0 && (bDirectory ? S_ISDIR(st.st_mode) : S_ISREG(st.st_mode));
}

// The entry of szDir that carries szName (exact spelling first, then without regard to case), as a
// native path; empty when there is none.
std::string FindEntry(const std::string& szDir, const std::wstring& szName, bool bValue, bool bDirectory)
{
    const std::string szExact = szDir + "/" + EncodeName(szName, bValue);
    if (StatKind(szExact, bDirectory))
    {
        return szExact;
    }
    DIR* pDir = ::opendir(szDir.c_str());
    if (pDir == nullptr)
    {
        return std::string();
    }
    std::string szFound;
    while (dirent* pEntry = ::readdir(pDir))
    {
        const std::string szEntry(pEntry->d_name);
        if (szEntry.empty() || szEntry[0] == '.')
        {
            continue;
        }
        if (EqualsNoCase(DecodeName(szEntry, bValue), szName) && StatKind(szDir + "/" + szEntry, bDirectory))
        {
            szFound = szDir + "/" + szEntry;
            break;
        }
    }
    ::closedir(pDir);
    return szFound;
}

std::vector<std::wstring> SplitKeyPath(const std::wstring& szSubKey)
{
    std::vector<std::wstring> parts;
    size_t nPos = 0;
    while (nPos <= szSubKey.size())
    {
        size_t nSep = szSubKey.find(L'\\', nPos);
        if (nSep == std::wstring::npos)
        {
            nSep = szSubKey.size();
        }
        if (nSep > nPos)
        {
            parts.push_back(szSubKey.substr(nPos, nSep - nPos));
        }
        nPos = nSep + 1;
    }
    return parts;
}

// Walks a key path below szBase; with bCreate every missing key is made. Returns a Windows error.
uint32_t ResolveKey(const std::string& szBase, const std::wstring& szSubKey, bool bCreate, std::string& szOut)
{
    std::string szDir = szBase;
    if (bCreate)
    {
        // The hive directory and its parents.
        size_t nPos = 1;
        while ((nPos = szDir.find('/', nPos)) != std::string::npos)
        {
            ::mkdir(szDir.substr(0, nPos).c_str(), 0755);
            ++nPos;
        }
        ::mkdir(szDir.c_str(), 0755);
    }
    if (!StatKind(szDir, true))
    {
        return kErrorFileNotFound;
    }
    for (const std::wstring& szPart : SplitKeyPath(szSubKey))
    {
        std::string szNext = FindEntry(szDir, szPart, false, true);
        if (szNext.empty())
        {
            if (!bCreate)
            {
                return kErrorFileNotFound;
            }
            szNext = szDir + "/" + EncodeName(szPart, false);
            if (::mkdir(szNext.c_str(), 0755) != 0 && !(errno == EEXIST && StatKind(szNext, true)))
            {
                return ErrorFromErrno(errno == EEXIST ? EACCES : errno);
            }
        }
        szDir = std::move(szNext);
    }
    szOut = std::move(szDir);
    return kErrorSuccess;
}

uint32_t CheckAccess(const std::string& szDir, uint32_t nAccess)
{
    int nMode = X_OK;
    if (nAccess & (kKeyQueryValue | kKeyEnumerateSubKeys))
    {
        nMode |= R_OK;
    }
    if (nAccess & (kKeySetValue | kKeyCreateSubKey))
    {
        nMode |= W_OK;
    }
    return ::access(szDir.c_str(), nMode) == 0 ? kErrorSuccess : kErrorAccessDenied;
}

std::string HomeDirectory()
{
    const char* szHome = std::getenv("HOME");
    if (szHome != nullptr && *szHome != '\0')
    {
        return szHome;
    }
    struct passwd* pw = ::getpwuid(::getuid());
    return pw != nullptr && pw->pw_dir != nullptr ? std::string(pw->pw_dir) : std::string("/root");
}

// Reads a value file: its type and its text (without the type line and the final line end).
uint32_t ReadValue(const std::string& szFile, ERegType& eType, std::wstring& szText)
{
    std::string szBytes;
    if (!ReadWholeFile(WidePath(szFile), szBytes))
    {
        const uint32_t nError = GetLastError();
        return nError == kErrorPathNotFound ? kErrorFileNotFound : nError;
    }
    eType = ERegType::String;
    if (szBytes.compare(0, 6, kTypeLine) == 0)
    {
        const size_t nEnd = szBytes.find('\n');
        std::string szType = szBytes.substr(6, nEnd == std::string::npos ? std::string::npos : nEnd - 6);
        if (!szType.empty() && szType.back() == '\r')
        {
            szType.pop_back();
        }
        szBytes.erase(0, nEnd == std::string::npos ? szBytes.size() : nEnd + 1);
        if (szType == "REG_EXPAND_SZ")
        {
            eType = ERegType::ExpandString;
        }
        else if (szType == "REG_DWORD")
        {
            eType = ERegType::Dword;
        }
        else if (szType != "REG_SZ")
        {
            return kErrorUnsupportedType;
        }
    }
    // The final line end that an editor or "echo" adds is not part of the value.
    if (!szBytes.empty() && szBytes.back() == '\n')
    {
        szBytes.pop_back();
        if (!szBytes.empty() && szBytes.back() == '\r')
        {
            szBytes.pop_back();
        }
    }
    szText = WidePath(szBytes);
    return kErrorSuccess;
}

// Reads the value szName of an open key, checking the handle and the query right.
uint32_t QueryValue(bool bOpen, uint32_t nAccess, const std::string& szDir, const std::wstring& szName,
                    ERegType& eType, std::wstring& szText)
{
    if (!bOpen)
    {
        return kErrorInvalidHandle;
    }
    if ((nAccess & kKeyQueryValue) == 0)
    {
        return kErrorAccessDenied;
    }
    const std::string szFile = FindEntry(szDir, szName, true, false);
    if (szFile.empty())
    {
        return kErrorFileNotFound;
    }
    return ReadValue(szFile, eType, szText);
}

// Writes the value file of szName (its existing spelling, else the name given) atomically, checking
// the handle and the set right.
uint32_t StoreValue(bool bOpen, uint32_t nAccess, const std::string& szDir, const std::wstring& szName,
                    const std::string& szContent)
{
    if (!bOpen)
    {
        return kErrorInvalidHandle;
    }
    if ((nAccess & kKeySetValue) == 0)
    {
        return kErrorAccessDenied;
    }
    std::string szFile = FindEntry(szDir, szName, true, false);
    if (szFile.empty())
    {
        szFile = szDir + "/" + EncodeName(szName, true);
    }
    if (StatKind(szFile, true))
    {
        return kErrorAccessDenied; // a subkey has this name
    }
    return ReplaceFileContent(WidePath(szFile), szContent) ? kErrorSuccess : GetLastError();
}

} // namespace

std::string RegistryHiveDirectory(EHive eHive)
{
    const char* szHive = eHive == EHive::LocalMachine ? "HKEY_LOCAL_MACHINE" : "HKEY_CURRENT_USER";
    const char* szRoot = std::getenv("TARVIK_REGISTRY_DIR");
    std::string szBase;
    if (szRoot != nullptr && *szRoot != '\0')
    {
        szBase = szRoot;
    }
    else if (eHive == EHive::LocalMachine)
    {
        szBase = "/etc/tarvik/registry";
    }
    else
    {
        szBase = HomeDirectory() + "/.config/tarvik/registry";
    }
    while (szBase.size() > 1 && szBase.back() == '/')
    {
        szBase.pop_back();
    }
    return szBase + "/" + szHive;
}

struct CRegistryKey::SState
{
    std::string szDirectory;
    uint32_t nAccess = 0;
    bool bOpen = false;
};

CRegistryKey::CRegistryKey() : m_pState(std::make_unique<SState>()) {}

CRegistryKey::~CRegistryKey() = default;

bool CRegistryKey::IsOpen() const
{
    return m_pState->bOpen;
}

uint32_t CRegistryKey::Open(EHive eHive, const std::wstring& szSubKey, uint32_t nAccess)
{
    Close();
    std::string szDir;
    uint32_t nError = ResolveKey(RegistryHiveDirectory(eHive), szSubKey, false, szDir);
    if (nError == kErrorSuccess)
    {
        nError = CheckAccess(szDir, nAccess);
    }
    if (nError != kErrorSuccess)
    {
        return nError;
    }
    m_pState->szDirectory = std::move(szDir);
    m_pState->nAccess = nAccess;
    m_pState->bOpen = true;
    return kErrorSuccess;
}

uint32_t CRegistryKey::Create(EHive eHive, const std::wstring& szSubKey, uint32_t nAccess)
{
    Close();
    std::string szDir;
    const uint32_t nError = ResolveKey(RegistryHiveDirectory(eHive), szSubKey, true, szDir);
    return nError != kErrorSuccess ? nError : Open(eHive, szSubKey, nAccess);
}

void CRegistryKey::Close()
{
    m_pState->szDirectory.clear();
    m_pState->nAccess = 0;
    m_pState->bOpen = false;
}

uint32_t CRegistryKey::QueryString(const std::wstring& szName, std::wstring& szValue, ERegType* pType) const
{
    ERegType eType = ERegType::String;
    std::wstring szText;
    const uint32_t nError = QueryValue(m_pState->bOpen, m_pState->nAccess, m_pState->szDirectory, szName, eType, szText);
    if (nError != kErrorSuccess)
    {
        return nError;
    }
    if (eType == ERegType::Dword)
    {
        return kErrorUnsupportedType;
    }
    szValue = std::move(szText);
    if (pType != nullptr)
    {
        *pType = eType;
    }
    return kErrorSuccess;
}

uint32_t CRegistryKey::QueryDword(const std::wstring& szName, uint32_t& nValue) const
{
    ERegType eType = ERegType::String;
    std::wstring szText;
    const uint32_t nError = QueryValue(m_pState->bOpen, m_pState->nAccess, m_pState->szDirectory, szName, eType, szText);
    if (nError != kErrorSuccess)
    {
        return nError;
    }
    if (eType != ERegType::Dword)
    {
        return kErrorUnsupportedType;
    }
    const std::string szNumber = NativePath(szText);
    char* pEnd = nullptr;
    errno = 0;
    const unsigned long long n = std::strtoull(szNumber.c_str(), &pEnd, 0);
    while (pEnd != nullptr && (*pEnd == ' ' || *pEnd == '\t' || *pEnd == '\r'))
    {
        ++pEnd;
    }
    if (szNumber.empty() || errno != 0 || pEnd == nullptr || *pEnd != '\0' || n > 0xFFFFFFFFull)
    {
        return kErrorInvalidData;
    }
    nValue = static_cast<uint32_t>(n);
    return kErrorSuccess;
}

uint32_t CRegistryKey::SetString(const std::wstring& szName, const std::wstring& szValue, ERegType eType)
{
    if (eType == ERegType::Dword)
    {
        return kErrorInvalidParameter;
    }
    const std::string szText = NativePath(szValue);
    std::string szContent;
    if (eType == ERegType::ExpandString)
    {
        szContent = "#type=REG_EXPAND_SZ\n";
    }
    else if (szText.compare(0, 6, kTypeLine) == 0)
    {
        szContent = "#type=REG_SZ\n";
    }
    szContent += szText;
    szContent += "\n";
    return StoreValue(m_pState->bOpen, m_pState->nAccess, m_pState->szDirectory, szName, szContent);
}

uint32_t CRegistryKey::SetDword(const std::wstring& szName, uint32_t nValue)
{
    return StoreValue(m_pState->bOpen, m_pState->nAccess, m_pState->szDirectory, szName, "#type=REG_DWORD\n" + std::to_string(nValue) + "\n");
}

uint32_t CRegistryKey::DeleteValue(const std::wstring& szName)
{
    if (!m_pState->bOpen)
    {
        return kErrorInvalidHandle;
    }
    if ((m_pState->nAccess & kKeySetValue) == 0)
    {
        return kErrorAccessDenied;
    }
    const std::string szFile = FindEntry(m_pState->szDirectory, szName, true, false);
    if (szFile.empty())
    {
        return kErrorFileNotFound;
    }
    if (::unlink(szFile.c_str()) != 0)
    {
        return errno == ENOENT ? kErrorFileNotFound : ErrorFromErrno(errno);
    }
    return kErrorSuccess;
}

uint32_t CRegistryKey::EnumSubKeys(std::vector<std::wstring>& subKeys) const
{
    subKeys.clear();
    if (!m_pState->bOpen)
    {
        return kErrorInvalidHandle;
    }
    if ((m_pState->nAccess & kKeyEnumerateSubKeys) == 0)
    {
        return kErrorAccessDenied;
    }
    DIR* pDir = ::opendir(m_pState->szDirectory.c_str());
    if (pDir == nullptr)
    {
        return errno == ENOENT ? kErrorFileNotFound : ErrorFromErrno(errno);
    }
    while (dirent* pEntry = ::readdir(pDir))
    {
        const std::string szEntry(pEntry->d_name);
        if (!szEntry.empty() && szEntry[0] != '.' && StatKind(m_pState->szDirectory + "/" + szEntry, true))
        {
            subKeys.push_back(DecodeName(szEntry, false));
        }
    }
    ::closedir(pDir);
    std::sort(subKeys.begin(), subKeys.end(),
              [](const std::wstring& a, const std::wstring& b) { return CompareNoCase(a, b) < 0; });
    return kErrorSuccess;
}

uint32_t CRegistryKey::DeleteSubKey(const std::wstring& szSubKey)
{
    if (!m_pState->bOpen)
    {
        return kErrorInvalidHandle;
    }
    if (SplitKeyPath(szSubKey).empty())
    {
        return kErrorInvalidParameter;
    }
    std::string szDir;
    const uint32_t nError = ResolveKey(m_pState->szDirectory, szSubKey, false, szDir);
    if (nError != kErrorSuccess)
    {
        return nError;
    }
    DIR* pDir = ::opendir(szDir.c_str());
    if (pDir == nullptr)
    {
        return ErrorFromErrno(errno);
    }
    std::vector<std::string> files;
    bool bHasSubKeys = false;
    while (dirent* pEntry = ::readdir(pDir))
    {
        const std::string szEntry(pEntry->d_name);
        if (szEntry == "." || szEntry == "..")
        {
            continue;
        }
        if (StatKind(szDir + "/" + szEntry, true))
        {
            bHasSubKeys = bHasSubKeys || szEntry[0] != '.';
        }
        else
        {
            files.push_back(szDir + "/" + szEntry);
        }
    }
    ::closedir(pDir);
    if (bHasSubKeys)
    {
        return kErrorAccessDenied; // as Windows refuses a key that has subkeys
    }
    for (const std::string& szFile : files)
    {
        if (::unlink(szFile.c_str()) != 0 && errno != ENOENT)
        {
            return ErrorFromErrno(errno);
        }
    }
    if (::rmdir(szDir.c_str()) != 0)
    {
        return ErrorFromErrno(errno);
    }
    return kErrorSuccess;
}

} // namespace platform
