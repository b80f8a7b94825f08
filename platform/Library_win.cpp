// The run-time library loader on Windows: LoadLibraryExW, GetProcAddress and
// FreeLibrary, with the system's message and the name that failed kept as the thread's error text.
#include "platform/Library.h"

#include "platform/SysError.h"
#include "platform/Windows_win.h"

#include <algorithm>
#include <string>

namespace platform
{

namespace
{

thread_local std::wstring t_szLastError;

// "name: message" for the failure that the Windows last error names; the last error is kept.
void RecordError(const std::wstring& szName)
{
    const DWORD nError = ::GetLastError();
    std::wstring szMessage;
    if (!SystemMessage(nError, szMessage))
    {
        szMessage = L"error " + std::to_wstring(nError);
    }
    while (!szMessage.empty() && (szMessage.back() == L'\n' || szMessage.back() == L'\r'))
    {
        szMessage.pop_back();
    }
    t_szLastError = szName + L": " + szMessage;
    ::SetLastError(nError);
}

} // namespace

// A name with a folder is loaded from there, its own dependencies looked for beside it
// (LOAD_WITH_ALTERED_SEARCH_PATH). A bare name is looked for beside the executable, then in the
// system folder (LOAD_LIBRARY_SEARCH_DEFAULT_DIRS): never in the current directory or the folders of
// PATH, where anyone who can write there could plant a library of that name. No "cannot find" or
// "not ready" dialog may wait for a person meanwhile.
HMODULE LoadLibrary(const std::wstring& szName)
{
    std::wstring szPath(szName);
    std::replace(szPath.begin(), szPath.end(), L'/', L'\\');
    DWORD nOldMode = 0;
    const bool bModeSet =
        ::SetThreadErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX, &nOldMode) != FALSE;
    const bool bHasFolder = szPath.find_first_of(L"\\:") != std::wstring::npos;
    const ::HMODULE hModule =
        ::LoadLibraryExW(szPath.c_str(), nullptr,
                         bHasFolder ? LOAD_WITH_ALTERED_SEARCH_PATH : LOAD_LIBRARY_SEARCH_DEFAULT_DIRS);
    const DWORD nError = ::GetLastError();
    if (bModeSet)
    {
        ::SetThreadErrorMode(nOldMode, nullptr);
    }
    ::SetLastError(nError);
    if (hModule == nullptr)
    {
        RecordError(szName);
        return nullptr;
    }
    return reinterpret_cast<HMODULE>(hModule);
}

void* GetProcAddress(HMODULE hModule, const char* szName)
{
    if (hModule == nullptr || szName == nullptr)
    {
        t_szLastError = L"invalid module handle or symbol name";
        SetLastError(kErrorInvalidHandle);
        return nullptr;
    }
    const FARPROC pSymbol = ::GetProcAddress(static_cast<::HMODULE>(hModule), szName);
    if (pSymbol == nullptr)
    {
        RecordError(std::wstring(szName, szName + std::char_traits<char>::length(szName)));
        return nullptr;
    }
    return reinterpret_cast<void*>(pSymbol);
}

bool FreeLibrary(HMODULE hModule)
{
    if (hModule == nullptr)
    {
        SetLastError(kErrorInvalidHandle);
        return false;
    }
    if (!::FreeLibrary(static_cast<::HMODULE>(hModule)))
    {
        RecordError(L"FreeLibrary");
        return false;
    }
    return true;
}

std::wstring LastLibraryErrorText()
{
    return t_szLastError;
}

} // namespace platform
