// Case mapping of UTF-16 units through the C library's Unicode locale; "ANSI" is Latin-1, and no
// other code page is known.
#include "platform/Encoding.h"

#include "platform/SysError.h"

#include <cwctype>
#include <locale.h>

namespace platform
{

namespace
{

locale_t UnicodeLocale()
{
    static const locale_t loc = []
    {
        locale_t l = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(0));
        if (l == static_cast<locale_t>(0))
        {
            l = newlocale(LC_CTYPE_MASK, "en_US.UTF-8", static_cast<locale_t>(0));
        }
        return l;
    }();
    return loc;
}

} // namespace

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
    const locale_t loc = UnicodeLocale();
    if (loc != static_cast<locale_t>(0))
    {
        const wint_t up = towupper_l(static_cast<wint_t>(u), loc);
        // A mapping that leaves the 16-bit range would not fit one unit.
        return up <= 0xFFFF ? static_cast<wchar_t>(up) : ch;
    }
    // Without a Unicode locale: Latin-1 letters.
    if ((u >= 0xE0 && u <= 0xFE && u != 0xF7))
    {
        return static_cast<wchar_t>(u - 32);
    }
    return ch;
}

uint32_t AnsiCodePage()
{
    return kCodePageLatin1;
}

bool SystemMultiByteToWide(uint32_t /*nCodePage*/, const std::string& /*szBytes*/, std::wstring& szWide)
{
    szWide.clear();
    SetLastError(kErrorInvalidParameter);
    return false;
}

bool SystemWideToMultiByte(uint32_t /*nCodePage*/, const std::wstring& /*szWide*/, std::string& szBytes)
{
    szBytes.clear();
    SetLastError(kErrorInvalidParameter);
    return false;
}

} // namespace platform
