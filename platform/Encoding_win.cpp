// Case mapping of UTF-16 units through the Windows invariant locale, and the system's code pages
// ("ANSI" is the code page of GetACP).
#include "platform/Encoding.h"

#include "platform/SysError.h"
#include "platform/Windows_win.h"

#include <climits>

namespace platform
{

// LCMapStringEx with the invariant locale: the same upper case whatever the user's language (no
// Turkish dotted I). A unit whose mapping would not be one unit stays as it is.
wchar_t ToUpperChar(wchar_t ch)
{
    const uint32_t u = static_cast<uint32_t>(ch);
    if (u < 0x80)
    {
        return (u >= 'a' && u <= 'z') ? static_cast<wchar_t>(u - 32) : ch;
    }
    if (u >= 0xD800 && u <= 0xDFFF)
    {
        return ch;
    }
    const DWORD nKeep = ::GetLastError();
    wchar_t szUpper[4] = {};
    const int n =
        ::LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, &ch, 1, szUpper, 4, nullptr, nullptr, 0);
    ::SetLastError(nKeep);
    return n == 1 ? szUpper[0] : ch;
}

uint32_t AnsiCodePage()
{
    return ::GetACP();
}

// MB_ERR_INVALID_CHARS: a byte sequence the code page does not define fails (1113) instead of
// becoming a replacement character.
bool SystemMultiByteToWide(uint32_t nCodePage, const std::string& szBytes, std::wstring& szWide)
{
    szWide.clear();
    if (szBytes.empty())
    {
        CPINFO info{};
        return ::GetCPInfo(nCodePage, &info) != FALSE;
    }
    if (szBytes.size() > INT_MAX)
    {
        SetLastError(kErrorInvalidParameter);
        return false;
    }
    const int nBytes = static_cast<int>(szBytes.size());
    const int nLength =
        ::MultiByteToWideChar(nCodePage, MB_ERR_INVALID_CHARS, szBytes.data(), nBytes, nullptr, 0);
    if (nLength <= 0)
    {
        return false;
    }
    szWide.resize(static_cast<size_t>(nLength));
    if (::MultiByteToWideChar(nCodePage, MB_ERR_INVALID_CHARS, szBytes.data(), nBytes, szWide.data(),
                              nLength) != nLength)
    {
        szWide.clear();
        return false;
    }
    return true;
}

// No best fit and no default character: a character the code page cannot hold fails with 1113, as a
// character above 0xFF does in Latin-1.
bool SystemWideToMultiByte(uint32_t nCodePage, const std::wstring& szWide, std::string& szBytes)
{
    szBytes.clear();
    if (szWide.empty())
    {
        CPINFO info{};
        return ::GetCPInfo(nCodePage, &info) != FALSE;
    }
    if (szWide.size() > INT_MAX)
    {
        SetLastError(kErrorInvalidParameter);
        return false;
    }
    const int nWide = static_cast<int>(szWide.size());
    BOOL bDefaultUsed = FALSE;
    const int nLength = ::WideCharToMultiByte(nCodePage, WC_NO_BEST_FIT_CHARS, szWide.data(), nWide, nullptr,
                                              0, nullptr, &bDefaultUsed);
    if (nLength <= 0)
    {
        return false;
    }
    if (bDefaultUsed)
    {
        SetLastError(kErrorNoUnicodeTranslation);
        return false;
    }
    szBytes.resize(static_cast<size_t>(nLength));
    if (::WideCharToMultiByte(nCodePage, WC_NO_BEST_FIT_CHARS, szWide.data(), nWide, szBytes.data(), nLength,
                              nullptr, nullptr) != nLength)
    {
        szBytes.clear();
        return false;
    }
    return true;
}

} // namespace platform
