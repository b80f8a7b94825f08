// Wine's ntdll exports wine_get_version; Windows' does not.
#include "tests/support/Wine.h"

#include "platform/Windows_win.h"

bool RunningUnderWine()
{
    static const bool bWine = [] {
        const HMODULE hNtdll = ::GetModuleHandleW(L"ntdll.dll");
        return hNtdll != nullptr && ::GetProcAddress(hNtdll, "wine_get_version") != nullptr;
    }();
    return bWine;
}
