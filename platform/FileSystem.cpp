// The portable part of the file-system layer: wildcard matching and the conversion of wide paths.
#include "platform/FileSystem.h"

#include "platform/Encoding.h"

#include <vector>

namespace platform
{

namespace
{

enum class EToken
{
    Literal,
    Star,    // any run of characters
    DosStar, // '*' before '.': any run that does not take the name's last dot
    DosQm,   // '?': one character, or none at a dot or at the end
    DosDot,  // '.' before '?', '*' or the end: a dot, or nothing at the end of the name
};

struct SToken
{
    EToken eKind;
    wchar_t ch;
};

std::vector<SToken> Tokenize(const std::wstring& szPattern)
{
    std::vector<SToken> tokens;
    for (size_t i = 0; i < szPattern.size(); ++i)
    {
        const wchar_t ch = szPattern[i];
        const wchar_t next = i + 1 < szPattern.size() ? szPattern[i + 1] : L'\0';
        if (ch == L'*')
        {
            tokens.push_back({next == L'.' ? EToken::DosStar : EToken::Star, ch});
        }
        else if (ch == L'?')
        {
            tokens.push_back({EToken::DosQm, ch});
        }
        else if (ch == L'.' && (next == L'?' || next == L'*' || next == L'\0'))
        {
            tokens.push_back({EToken::DosDot, ch});
        }
        else
        {
            tokens.push_back({EToken::Literal, ToUpperChar(ch)});
        }
    }
    return tokens;
}

void AppendUtf8(uint32_t cp, std::string& out)
{
    if (cp < 0x80)
    {
        out.push_back(static_cast<char>(cp));
    }
    else if (cp < 0x800)
    {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
    else if (cp < 0x10000)
    {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
    else
    {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

} // namespace

bool MatchesWildcard(const std::wstring& szPattern, const std::wstring& szName)
{
    const std::vector<SToken> tokens = Tokenize(szPattern);
    std::wstring szUpper = ToUpperText(szName);
    const size_t nTokens = tokens.size();
    const size_t nChars = szUpper.size();
    const size_t nLastDot = szUpper.rfind(L'.');

    // reach[t * (nChars + 1) + i]: token t can start at character i.
    std::vector<char> reach((nTokens + 1) * (nChars + 1), 0);
    auto at = [&](size_t t, size_t i) -> char& { return reach[t * (nChars + 1) + i]; };
    at(0, 0) = 1;
    for (size_t t = 0; t < nTokens; ++t)
    {
        const SToken& tok = tokens[t];
        for (size_t i = 0; i <= nChars; ++i)
        {
            if (!at(t, i))
            {
                continue;
            }
            switch (tok.eKind)
            {
            case EToken::Literal:
                if (i < nChars && szUpper[i] == tok.ch)
                {
                    at(t + 1, i + 1) = 1;
                }
                break;
            case EToken::Star:
                at(t + 1, i) = 1;
                if (i < nChars)
                {
                    at(t, i + 1) = 1;
                }
                break;
            case EToken::DosStar:
                at(t + 1, i) = 1;
                if (i < nChars && i != nLastDot)
                {
                    at(t, i + 1) = 1;
                }
                break;
            case EToken::DosQm:
                if (i < nChars && szUpper[i] != L'.')
                {
                    at(t + 1, i + 1) = 1;
                }
                else
                {
                    at(t + 1, i) = 1;
                }
                break;
            case EToken::DosDot:
                if (i < nChars && szUpper[i] == L'.')
                {
                    at(t + 1, i + 1) = 1;
                }
                else if (i == nChars)
                {
                    at(t + 1, i) = 1;
                }
                break;
            }
        }
    }
    return at(nTokens, nChars) != 0;
}

// Paths: UTF-16 to UTF-8. A lone low surrogate U+DC80..U+DCFF stands for the raw byte 0x80..0xFF of a
// file name that is not valid UTF-8, so that every name read from the disk can be named again.
std::string NativePath(const std::wstring& szPath)
{
    std::string out;
    out.reserve(szPath.size());
    const size_t n = szPath.size();
    for (size_t i = 0; i < n; ++i)
    {
        uint32_t cp = static_cast<uint32_t>(szPath[i]);
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < n)
        {
            const uint32_t lo = static_cast<uint32_t>(szPath[i + 1]);
            if (lo >= 0xDC00 && lo <= 0xDFFF)
            {
                AppendUtf8(0x10000 + ((cp - 0xD800) << 10) + (lo - 0xDC00), out);
                ++i;
                continue;
            }
        }
        if (cp >= 0xDC80 && cp <= 0xDCFF)
        {
            out.push_back(static_cast<char>(cp - 0xDC00));
            continue;
        }
        if (cp > 0x10FFFF)
        {
            cp = 0xFFFD;
        }
        AppendUtf8(cp, out);
    }
    return out;
}

std::wstring WidePath(const std::string& szNative)
{
    std::wstring out;
    out.reserve(szNative.size());
    const size_t n = szNative.size();
    size_t i = 0;
    while (i < n)
    {
        const uint8_t b0 = static_cast<uint8_t>(szNative[i]);
        if (b0 < 0x80)
        {
            out.push_back(static_cast<wchar_t>(b0));
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
            const uint8_t b = static_cast<uint8_t>(szNative[i + k]);
            bValid = (b & 0xC0) == 0x80;
            cp = (cp << 6) | (b & 0x3F);
        }
        bValid = bValid && cp >= nMin && cp <= 0x10FFFF && !(cp >= 0xD800 && cp <= 0xDFFF);
        if (!bValid)
        {
            out.push_back(static_cast<wchar_t>(0xDC00 + b0));
            ++i;
            continue;
        }
        if (cp >= 0x10000)
        {
            cp -= 0x10000;
            out.push_back(static_cast<wchar_t>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<wchar_t>(0xDC00 + (cp & 0x3FF)));
        }
        else
        {
            out.push_back(static_cast<wchar_t>(cp));
        }
        i += nLen;
    }
    return out;
}

} // namespace platform
