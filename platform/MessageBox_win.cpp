// Message boxes on Windows: the system's box for a desktop with a person at it, and the check whether
// there is one.
#include "platform/MessageBox_win.h"

#include "platform/Windows_win.h"

#include <string>

namespace platform
{

namespace
{

bool VariableSet(const wchar_t* szName, const wchar_t* szWanted = nullptr)
{
    wchar_t szValue[8] = {};
    const DWORD nLength = ::GetEnvironmentVariableW(szName, szValue, 8);
    if (nLength == 0)
    {
        return false;
    }
    // A longer value than the buffer returns the size it needs (more than 8), never equal to szWanted.
    return szWanted == nullptr ? true : (nLength < 8 && std::wstring(szValue) == szWanted);
}

bool UnderWine()
{
    static const bool s_bWine = []
    {
        const ::HMODULE hNtdll = ::GetModuleHandleW(L"ntdll.dll");
        return hNtdll != nullptr && ::GetProcAddress(hNtdll, "wine_get_version") != nullptr;
    }();
    return s_bWine;
}

// False for a service's window station (session 0), whose boxes no one sees.
bool InteractiveWindowStation()
{
    const HWINSTA hStation = ::GetProcessWindowStation();
    USEROBJECTFLAGS flags{};
    if (hStation == nullptr ||
        !::GetUserObjectInformationW(hStation, UOI_FLAGS, &flags, sizeof(flags), nullptr))
    {
        return false;
    }
    return (flags.dwFlags & WSF_VISIBLE) != 0;
}

class CSystemMessageBoxPresenter : public IMessageBoxPresenter
{
public:
    int Show(const std::wstring& szText, const std::wstring& szCaption, uint32_t nType) override
    {
        if (IsHeadless())
        {
            return DefaultMessageBoxPresenter().Show(szText, szCaption, nType);
        }
        const DWORD nKeep = ::GetLastError();
        const int nResult = ::MessageBoxW(nullptr, szText.c_str(), szCaption.c_str(), nType);
        ::SetLastError(nKeep);
        // 0: the box could not be shown (no desktop after all, out of memory).
        return nResult != 0 ? nResult : DefaultMessageBoxPresenter().Show(szText, szCaption, nType);
    }
};

} // namespace

IMessageBoxPresenter& SystemMessageBoxPresenter()
{
    static CSystemMessageBoxPresenter s_presenter;
    return s_presenter;
}

// TARVIK_HEADLESS=1, a window station that no one sees (a service), or Wine without an X or Wayland
// display: Wine's driver then has no screen, and a box would wait for ever.
bool IsHeadless()
{
    if (VariableSet(L"TARVIK_HEADLESS", L"1"))
    {
        return true;
    }
    if (!InteractiveWindowStation())
    {
        return true;
    }
    if (UnderWine())
    {
        return !VariableSet(L"DISPLAY") && !VariableSet(L"WAYLAND_DISPLAY");
    }
    return false;
}

} // namespace platform
