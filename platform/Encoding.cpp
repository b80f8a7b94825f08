// Code-page conversion between UTF-16 wide text and UTF-8 or Latin-1 bytes, and case folding.
#include "platform/Encoding.h"

#include "platform/SysError.h"


namespace platform
{

namespace
{

bool IsLatin1Page(uint32_t nCodePage)
{
    return nCodePage == kCodePageLatin1 || nCodePage == kCodePageAnsi;
}

// Decodes UTF-8 strictly (no overlong forms, no encoded surrogates, nothing above U+10FFFF).
bool DecodeUtf8(const std::string& szBytes, std::wstring& szWide)
{
    szWide.clear();
    szWide.reserve(szBytes.size());
    const size_t n = szBytes.size();
    size_t i = 0;
    while (i < n)
    {
        const uint8_t b0 = static_cast<uint8_t>(szBytes[i]);
        if (b0 < 0x80)
        {
            szWide.push_back(static_cast<wchar_t>(b0));
            ++i;
            continue;
        }
        size_t nLen = 0;
        uint32_t cp = 0;
        uint32_t nMin = 0;
        if (b0 >= 0xC2 && b0 <= 0xDF)
        {
            nLen = 2;
            cp = b0 & 0x1F;
            nMin = 0x80;
        }
        else if (b0 >= 0xE0 && b0 <= 0xEF)
        {
            nLen = 3;
            cp = b0 & 0x0F;
            nMin = 0x800;
        }
        else if (b0 >= 0xF0 && b0 <= 0xF4)
        {
            nLen = 4;
            cp = b0 & 0x07;
            nMin = 0x10000;
        }
        else
        {
            return false;
        }
        if (i + nLen > n)
        {
            return false;
        }
        for (size_t k = 1; k < nLen; ++k)
        {
            const uint8_t b = static_cast<uint8_t>(szBytes[i + k]);
            if ((b & 0xC0) != 0x80)
            {
                return false;
            }
            cp = (cp << 6) | (b & 0x3F);
        }
        if (cp < nMin || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        {
            return false;
        }
        if (cp >= 0x10000)
        {
            cp -= 0x10000;
            szWide.push_back(static_cast<wchar_t>(0xD800 + (cp >> 10)));
            szWide.push_back(static_cast<wchar_t>(0xDC00 + (cp & 0x3FF)));
        }
        else
        {
            szWide.push_back(static_cast<wchar_t>(cp));
        }
        i += nLen;
    }
    return true;
}

void AppendUtf8(uint32_t cp, std::string& szBytes)
{
    if (cp < 0x80)
    {
        szBytes.push_back(static_cast<char>(cp));
    }
    else if (cp < 0x800)
    {
        szBytes.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        szBytes.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
    else if (cp < 0x10000)
    {
        szBytes.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        szBytes.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        szBytes.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
    else
    {
        szBytes.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        szBytes.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        szBytes.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        szBytes.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

bool EncodeUtf8(const std::wstring& szWide, std::string& szBytes)
{
    szBytes.clear();
    szBytes.reserve(szWide.size());
    const size_t n = szWide.size();
    for (size_t i = 0; i < n; ++i)
    {
        uint32_t cp = static_cast<uint32_t>(szWide[i]);
        if (cp >= 0xD800 && cp <= 0xDBFF)
        {
            const uint32_t lo = i + 1 < n ? static_cast<uint32_t>(szWide[i + 1]) : 0;
            if (lo < 0xDC00 || lo > 0xDFFF)
            {
                return false;
            }
            cp = 0x10000 + ((cp - 0xD800) << 10) + (lo - 0xDC00);
            ++i;
        }
        else if ((cp >= 0xDC00 && cp <= 0xDFFF) || cp > 0x10FFFF)
        {
            return false;
        }
        AppendUtf8(cp, szBytes);
    }
    return true;
}

} // namespace

bool MultiByteToWide(uint32_t nCodePage, const std::string& szBytes, std::wstring& szWide)
{
    szWide.clear();
    if (nCodePage == kCodePageUtf8)
    {
        if (!DecodeUtf8(szBytes, szWide))
        {
            szWide.clear();
            SetLastError(kErrorNoUnicodeTranslation);
            return false;
        }
        return true;
    }
    if (IsLatin1Page(nCodePage))
    {
        szWide.reserve(szBytes.size());
        for (char c : szBytes)
        {
            szWide.push_back(static_cast<wchar_t>(static_cast<uint8_t>(c)));
        }
        return true;
    }
    SetLastError(kErrorInvalidParameter);
    return false;
}

bool WideToMultiByte(uint32_t nCodePage, const std::wstring& szWide, std::string& szBytes)
{
    szBytes.clear();
    if (nCodePage == kCodePageUtf8)
    {
        if (!EncodeUtf8(szWide, szBytes))
        {
            szBytes.clear();
            SetLastError(kErrorNoUnicodeTranslation);
            return false;
        }
        return true;
    }
    if (IsLatin1Page(nCodePage))
    {
        szBytes.reserve(szWide.size());
        for (wchar_t ch : szWide)
        {
            if (static_cast<uint32_t>(ch) > 0xFF)
            {
                szBytes.clear();
                SetLastError(kErrorNoUnicodeTranslation);
                return false;
            }
            szBytes.push_back(static_cast<char>(static_cast<uint8_t>(ch)));
        }
        return true;
    }
    SetLastError(kErrorInvalidParameter);
    return false;
}

std::wstring ToUpperText(const std::wstring& szText)
{
    std::wstring szResult(szText);
    for (wchar_t& ch : szResult)
    {
        ch = ToUpperChar(ch);
    }
    return szResult;
}

bool EqualsNoCase(const std::wstring& szA, const std::wstring& szB)
{
    if (szA.size() != szB.size())
    {
        return false;
    }
    for (size_t i = 0; i < szA.size(); ++i)
    {
        if (szA[i] != szB[i] && ToUpperChar(szA[i]) != ToUpperChar(szB[i]))
        {
            return false;
        }
    }
    return true;
}

int CompareNoCase(const std::wstring& szA, const std::wstring& szB)
{
    const size_t n = szA.size() < szB.size() ? szA.size() : szB.size();
    for (size_t i = 0; i < n; ++i)
    {
        const uint32_t a = static_cast<uint32_t>(ToUpperChar(szA[i]));
        const uint32_t b = static_cast<uint32_t>(ToUpperChar(szB[i]));
        if (a != b)
        {
            return a < b ? -1 : 1;
        }
    }
    if (szA.size() == szB.size())
    {
        return 0;
    }
    return szA.size() < szB.size() ? -1 : 1;
}

} // namespace platform
