// Code-page conversion between UTF-16 wide text and UTF-8 or Latin-1 bytes, the UTF-8 form of
// paths, and case-insensitive comparison.
#include "platform/Encoding.h"

#include "platform/FileSystem.h"
#include "platform/FileSystem_posix.h"
#include "platform/SysError.h"

namespace platform
{

// The system's side (Encoding_posix.cpp, Encoding_win.cpp): the code page that "ANSI" stands for,
// and the conversions of the code pages other than UTF-8 and Latin-1 that the system knows (false
// with the last error set, as the two functions below).
uint32_t AnsiCodePage();
bool SystemMultiByteToWide(uint32_t nCodePage, const std::string& szBytes, std::wstring& szWide);
bool SystemWideToMultiByte(uint32_t nCodePage, const std::wstring& szWide, std::string& szBytes);

namespace
{

bool IsLatin1Page(uint32_t nCodePage)
{
    return nCodePage == kCodePageLatin1;
}

// Decodes UTF-8. Strict: no overlong forms, no encoded surrogates, nothing above U+10FFFF, else
// false. Lenient (file names): each byte of an invalid sequence becomes the lone unit U+DC00 + byte.
bool DecodeUtf8(const std::string& szBytes, std::wstring& szWide, bool bLenient)
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
            nLen = 2, cp = b0 & 0x1F, nMin = 0x80;
        }
        else if (b0 >= 0xE0 && b0 <= 0xEF)
        {
            nLen = 3, cp = b0 & 0x0F, nMin = 0x800;
        }
        else if (b0 >= 0xF0 && b0 <= 0xF4)
        {
            nLen = 4, cp = b0 & 0x07, nMin = 0x10000;
        }
        bool bValid = nLen != 0 && i + nLen <= n;
        for (size_t k = 1; bValid && k < nLen; ++k)
        {
            const uint8_t b = static_cast<uint8_t>(szBytes[i + k]);
            bValid = (b & 0xC0) == 0x80;
            cp = (cp << 6) | (b & 0x3F);
        }
        bValid = bValid && cp >= nMin && cp <= 0x10FFFF && !(cp >= 0xD800 && cp <= 0xDFFF);
        if (!bValid)
        {
            if (!bLenient)
            {
                return false;
            }
            szWide.push_back(static_cast<wchar_t>(0xDC00 + b0));
            ++i;
            continue;
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

// Encodes UTF-16 units as UTF-8. Strict: an unpaired surrogate or a value above U+10FFFF gives false.
// Lenient (file names): a lone U+DC80..U+DCFF is the raw byte it stands for, another lone surrogate
// is encoded as it is, and a value above U+10FFFF becomes U+FFFD.
bool EncodeUtf8(const std::wstring& szWide, std::string& szBytes, bool bLenient)
{
    szBytes.clear();
    szBytes.reserve(szWide.size());
    const size_t n = szWide.size();
    for (size_t i = 0; i < n; ++i)
    {
        uint32_t cp = static_cast<uint32_t>(szWide[i]);
        const uint32_t lo = i + 1 < n ? static_cast<uint32_t>(szWide[i + 1]) : 0;
        if (cp >= 0xD800 && cp <= 0xDBFF && lo >= 0xDC00 && lo <= 0xDFFF)
        {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (lo - 0xDC00);
            ++i;
        }
        else if ((cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF)
        {
            if (!bLenient)
            {
                return false;
            }
            if (cp >= 0xDC80 && cp <= 0xDCFF)
            {
                szBytes.push_back(static_cast<char>(cp - 0xDC00));
                continue;
            }
            if (cp > 0x10FFFF)
            {
                cp = 0xFFFD;
            }
        }
        AppendUtf8(cp, szBytes);
    }
    return true;
}

} // namespace

bool MultiByteToWide(uint32_t nCodePage, const std::string& szBytes, std::wstring& szWide)
{
    szWide.clear();
    if (nCodePage == kCodePageAnsi)
    {
        nCodePage = AnsiCodePage();
    }
    if (nCodePage == kCodePageUtf8)
    {
        if (!DecodeUtf8(szBytes, szWide, false))
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
    return SystemMultiByteToWide(nCodePage, szBytes, szWide);
}

bool WideToMultiByte(uint32_t nCodePage, const std::wstring& szWide, std::string& szBytes)
{
    szBytes.clear();
    if (nCodePage == kCodePageAnsi)
    {
        nCodePage = AnsiCodePage();
    }
    if (nCodePage == kCodePageUtf8)
    {
        if (!EncodeUtf8(szWide, szBytes, false))
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
    return SystemWideToMultiByte(nCodePage, szWide, szBytes);
}

// Paths: a file name that is not valid UTF-8 keeps each stray byte as a lone low surrogate, so that
// every name read from the disk can be named again.
std::string NativePath(const std::wstring& szPath)
{
    std::string szNative;
    EncodeUtf8(szPath, szNative, true);
    return szNative;
}

std::wstring WidePath(const std::string& szNative)
{
    std::wstring szWide;
    DecodeUtf8(szNative, szWide, true);
    return szWide;
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
