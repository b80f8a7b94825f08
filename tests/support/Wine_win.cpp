// Wine's ntdll exports wine_get_version; Windows' does not. Wine's kernel32 maps paths to Unix
// paths (wine_get_unix_file_name).
#include "tests/support/Wine.h"

#include "platform/Windows_win.h"

bool RunningUnderWine()
{
    static const bool bWine = []
    {
        const HMODULE hNtdll = ::GetModuleHandleW(L"ntdll.dll");
        return hNtdll != nullptr && ::GetProcAddress(hNtdll, "wine_get_version") != nullptr;
    }();
    return bWine;
}

std::string HostPath(const std::filesystem::path& path)
{
    if (!RunningUnderWine())
        return path.string();
    using FUnixName = char*(__cdecl*)(const wchar_t*);
    static const auto pUnixName = reinterpret_cast<FUnixName>(reinterpret_cast<void*>(
        ::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    char* pName = pUnixName ? pUnixName(path.c_str()) : nullptr;
    if (pName == nullptr)
        return std::string();
    std::string szName = pName;
    ::HeapFree(::GetProcessHeap(), 0, pName);
    return szName;
}
