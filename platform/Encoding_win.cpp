// Case mapping of UTF-16 units through the Windows invariant locale.
#include "platform/Encoding.h"

#include "platform/Windows_win.h"

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

} // namespace platform
