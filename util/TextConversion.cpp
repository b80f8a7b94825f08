// Code-page conversions over the platform's converters, and wide-text case folding.
#include "util/TextConversion.h"

#include "platform/Encoding.h"

#include <cstring>
#include <cwchar>
#include <locale>

wchar_t* WideFromMultiByte(wchar_t* pBuffer, const char* szSource, size_t nBufferChars, uint32_t nCodePage)
{
    if (pBuffer == nullptr || szSource == nullptr || nBufferChars == 0)
        return nullptr;
    pBuffer[0] = L'\0';
    std::wstring szWide;
    if (!platform::MultiByteToWide(nCodePage, std::string(szSource), szWide) || szWide.size() >= nBufferChars)
        return nullptr;
    std::wmemcpy(pBuffer, szWide.c_str(), szWide.size() + 1);
    return pBuffer;
}

char* MultiByteFromWide(char* pBuffer, const wchar_t* szSource, size_t nBufferBytes, uint32_t nCodePage)
{
    if (pBuffer == nullptr || szSource == nullptr || nBufferBytes == 0)
        return nullptr;
    pBuffer[0] = '\0';
    std::string szBytes;
    if (!platform::WideToMultiByte(nCodePage, std::wstring(szSource), szBytes) ||
        szBytes.size() >= nBufferBytes)
        return nullptr;
    std::memcpy(pBuffer, szBytes.c_str(), szBytes.size() + 1);
    return pBuffer;
}

bool WideFromMultiByte(std::wstring& szTarget, const std::string& szSource, uint32_t nCodePage)
{
    szTarget.clear();
    if (!platform::MultiByteToWide(nCodePage, szSource, szTarget))
    {
        szTarget.clear();
        return false;
    }
    return true;
}

bool MultiByteFromWide(std::string& szTarget, const std::wstring& szSource, uint32_t nCodePage)
{
    szTarget.clear();
    if (!platform::WideToMultiByte(nCodePage, szSource, szTarget))
    {
        szTarget.clear();
        return false;
    }
    return true;
}

namespace
{

// The character classes of a Unicode locale, so that letters beyond ASCII fold too. Without such a
// locale, ASCII and Latin-1 letters are folded by hand.
const std::ctype<wchar_t>* UnicodeCType()
{
    static const std::ctype<wchar_t>* pCType = []() -> const std::ctype<wchar_t>*
    {
        try
        {
            static const std::locale locale("C.UTF-8");
            return &std::use_facet<std::ctype<wchar_t>>(locale);
        }
        catch (const std::exception&)
        {
            return nullptr;
        }
    }();
    return pCType;
}

} // namespace

std::wstring LowerCase(const std::wstring& szText)
{
    std::wstring szLower = szText;
    const std::ctype<wchar_t>* pCType = UnicodeCType();
    for (wchar_t& c : szLower)
    {
        if (pCType != nullptr)
            c = pCType->tolower(c);
        else if ((c >= L'A' && c <= L'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7))
            c = static_cast<wchar_t>(c + 0x20);
    }
    return szLower;
}
