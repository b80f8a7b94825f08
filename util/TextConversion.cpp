// Code-page conversions over the platform's converters, and wide-text case folding.
#include "util/TextConversion.h"

#include "platform/Encoding.h"

#include <cstring>
#include <cwchar>
#include <vector>

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

// The lower-case partner of every upper-case unit, derived from the platform's upper-case mapping
// (the one by which names compare without regard to case), so that folding is the same on every
// system and two texts that compare equal also fold alike. Where several units share one upper
// case (s and the long s, sigma and final sigma), the usual partner (0x20 or one unit above) wins,
// then the nearest.
const std::vector<wchar_t>& LowerPartners()
{
    static const std::vector<wchar_t> partners = []
    {
        std::vector<wchar_t> table(0x10000, L'\0');
        auto rank = [](uint32_t nLower, uint32_t nUpper)
        {
            if (nLower == nUpper + 0x20 || nLower == nUpper + 1)
                return 0u;
            return nLower > nUpper ? nLower - nUpper : nUpper - nLower;
        };
        for (uint32_t nUnit = 0; nUnit < 0x10000; ++nUnit)
        {
            const auto nUpper = static_cast<uint32_t>(platform::ToUpperChar(static_cast<wchar_t>(nUnit)));
            if (nUpper == nUnit || (nUpper >> 16) != 0)
                continue;
            const auto nKnown = static_cast<uint32_t>(table[nUpper]);
            if (nKnown == 0 || rank(nUnit, nUpper) < rank(nKnown, nUpper))
                table[nUpper] = static_cast<wchar_t>(nUnit);
        }
        return table;
    }();
    return partners;
}

} // namespace

std::wstring LowerCase(const std::wstring& szText)
{
    const std::vector<wchar_t>& partners = LowerPartners();
    std::wstring szLower = szText;
    for (wchar_t& c : szLower)
    {
        const auto nUpper = static_cast<uint32_t>(platform::ToUpperChar(c));
        if (nUpper < partners.size() && partners[nUpper] != L'\0')
            c = partners[nUpper];
    }
    return szLower;
}
