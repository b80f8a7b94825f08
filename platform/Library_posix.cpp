// Run-time library loading on Linux: dlopen and dlsym.
#include "platform/Library.h"

#include <cstdlib>
#include <dlfcn.h>
#include <sstream>
#include <unistd.h>
#include <vector>

#include "platform/FileSystem.h"
#include "platform/SysError.h"
#include "platform/Library_posix.h"
#include "platform/FileSystem_posix.h"

namespace platform
{

namespace
{

thread_local std::wstring t_szLastError;

bool EndsWithNoCase(const std::wstring& szText, const std::wstring& szTail)
{
    if (szText.size() < szTail.size())
        return false;
    for (size_t n = 0; n < szTail.size(); ++n)
    {
        wchar_t ch = szText[szText.size() - szTail.size() + n];
        if (ch >= L'A' && ch <= L'Z')
            ch = ch - L'A' + L'a';
        if (ch != szTail[n])
            return false;
    }
    return true;
}

void RecordDlError(uint32_t nError)
{
    const char* szMessage = dlerror();
    t_szLastError = szMessage ? WidePath(szMessage) : L"unknown dynamic loader error";
    SetLastError(nError);
}

} // namespace

std::wstring NativeLibraryName(const std::wstring& szName)
{
    const size_t nSlash = szName.rfind(kPathSeparator);
    const std::wstring szDir = nSlash == std::wstring::npos ? L"" : szName.substr(0, nSlash + 1);
    std::wstring szFile = nSlash == std::wstring::npos ? szName : szName.substr(nSlash + 1);
    if (EndsWithNoCase(szFile, L".dll"))
        return szDir + L"lib" + szFile.substr(0, szFile.size() - 4) + L".so";
    if (EndsWithNoCase(szFile, L".so") || szFile.find(L".so.") != std::wstring::npos)
        return szName;
    if (szFile.compare(0, 3, L"lib") != 0)
        szFile = L"lib" + szFile;
    return szDir + szFile + L".so";
}

HMODULE LoadLibrary(const std::wstring& szName)
{
    const std::wstring szNative = NativeLibraryName(szName);
    dlerror();
    if (szNative.find(kPathSeparator) == std::wstring::npos)
    {
        // The executable does not move while the process runs.
        static const std::wstring s_szExecutableDir = []
        {
            const std::wstring szExecutable = GetExecutablePath();
            const size_t nSlash = szExecutable.rfind(kPathSeparator);
            return nSlash == std::wstring::npos ? std::wstring() : szExecutable.substr(0, nSlash);
        }();
        std::vector<std::wstring> directories;
        if (!s_szExecutableDir.empty())
            directories.push_back(s_szExecutableDir);
        if (const char* szPath = std::getenv("TARVIK_LIBRARY_PATH"))
        {
            std::stringstream list(szPath);
            std::string szDirectory;
            while (std::getline(list, szDirectory, ':'))
                if (!szDirectory.empty())
                    directories.push_back(WidePath(szDirectory));
        }
        // The first directory that holds the file decides: a file that does not load is an error,
        // not a reason to take another copy from elsewhere.
        for (const std::wstring& szDirectory : directories)
        {
            const std::wstring szCandidate = szDirectory + kPathSeparatorText + szNative;
            const std::string szCandidatePath = NativePath(szCandidate);
            if (access(szCandidatePath.c_str(), F_OK) != 0)
                continue;
            if (void* hModule = dlopen(szCandidatePath.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE))
                return hModule;
            RecordDlError(kErrorModNotFound);
            return nullptr;
        }
    }
    if (void* hModule = dlopen(NativePath(szNative).c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE))
        return hModule;
    RecordDlError(kErrorModNotFound);
    return nullptr;
}

void* GetProcAddress(HMODULE hModule, const char* szName)
{
    if (!hModule || !szName)
    {
        t_szLastError = L"invalid module handle or symbol name";
        SetLastError(kErrorInvalidHandle);
        return nullptr;
    }
    dlerror();
    void* pSymbol = dlsym(hModule, szName);
    if (!pSymbol)
    {
        RecordDlError(kErrorProcNotFound);
        return nullptr;
    }
    return pSymbol;
}

bool FreeLibrary(HMODULE hModule)
{
    if (!hModule)
    {
        SetLastError(kErrorInvalidHandle);
        return false;
    }
    if (dlclose(hModule) != 0)
    {
        RecordDlError(kErrorInvalidHandle);
        return false;
    }
    return true;
}

std::wstring LastLibraryErrorText()
{
    return t_szLastError;
}

} // namespace platform
