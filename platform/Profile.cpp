// Private-profile (INI file) reading and writing on the whole file text, with the Windows rules:
// names compare without regard to case, blanks around names and values are ignored, the first
// section and the first key of a name count, and a write keeps every other line as it was.
#include "platform/Profile.h"

#include "platform/DataFile.h"
#include "platform/Encoding.h"
#include "platform/FileSystem.h"
#include "platform/SysError.h"

#include <optional>
#include <vector>

namespace platform
{

namespace
{

struct SLine
{
    std::wstring szText; // without its line end
    std::wstring szEnd;  // "\r\n", "\n" or empty for a last line without line end
};

struct SProfileText
{
    bool bUtf16 = false;
    std::vector<SLine> lines;
};

bool IsBlank(wchar_t ch)
{
    return ch == L' ' || ch == L'\t';
}

std::wstring Trim(const std::wstring& s)
{
    size_t b = 0;
    size_t e = s.size();
    while (b < e && IsBlank(s[b]))
    {
        ++b;
    }
    while (e > b && IsBlank(s[e - 1]))
    {
        --e;
    }
    return s.substr(b, e - b);
}

SProfileText Decode(const std::string& szBytes)
{
    SProfileText text;
    std::wstring szAll;
    if (szBytes.size() >= 2 && static_cast<uint8_t>(szBytes[0]) == 0xFF &&
        static_cast<uint8_t>(szBytes[1]) == 0xFE)
    {
        text.bUtf16 = true;
        szAll.reserve(szBytes.size() / 2);
        for (size_t i = 2; i + 1 < szBytes.size(); i += 2)
        {
            szAll.push_back(static_cast<wchar_t>(static_cast<uint8_t>(szBytes[i]) |
                                                 (static_cast<uint8_t>(szBytes[i + 1]) << 8)));
        }
    }
    else
    {
        szAll.reserve(szBytes.size());
        for (char c : szBytes)
        {
            szAll.push_back(static_cast<wchar_t>(static_cast<uint8_t>(c)));
        }
    }
    size_t nPos = 0;
    while (nPos < szAll.size())
    {
        const size_t nLf = szAll.find(L'\n', nPos);
        SLine line;
        if (nLf == std::wstring::npos)
        {
            line.szText = szAll.substr(nPos);
            nPos = szAll.size();
        }
        else
        {
            line.szText = szAll.substr(nPos, nLf - nPos);
            line.szEnd = L"\n";
            nPos = nLf + 1;
        }
        if (!line.szEnd.empty() && !line.szText.empty() && line.szText.back() == L'\r')
        {
            line.szText.pop_back();
            line.szEnd = L"\r\n";
        }
        text.lines.push_back(std::move(line));
    }
    return text;
}

std::string Encode(const SProfileText& text)
{
    std::string szBytes;
    if (text.bUtf16)
    {
        szBytes.push_back(static_cast<char>(0xFF));
        szBytes.push_back(static_cast<char>(0xFE));
    }
    auto put = [&](const std::wstring& s)
    {
        for (wchar_t ch : s)
        {
            const uint32_t u = static_cast<uint32_t>(ch);
            if (text.bUtf16)
            {
                szBytes.push_back(static_cast<char>(u & 0xFF));
                szBytes.push_back(static_cast<char>((u >> 8) & 0xFF));
            }
            else
            {
                // An 8-bit file cannot hold other characters; Windows writes its default character.
                szBytes.push_back(u <= 0xFF ? static_cast<char>(u) : '?');
            }
        }
    };
    for (const SLine& line : text.lines)
    {
        put(line.szText);
        put(line.szEnd);
    }
    return szBytes;
}

// The section name of a header line ("[ name ]"), or nothing for another line.
std::optional<std::wstring> SectionOf(const SLine& line)
{
    const std::wstring s = Trim(line.szText);
    if (s.empty() || s[0] != L'[')
    {
        return std::nullopt;
    }
    const size_t nClose = s.rfind(L']');
    if (nClose == std::wstring::npos || nClose == 0)
    {
        return std::nullopt;
    }
    return Trim(s.substr(1, nClose - 1));
}

// The key of a key line and its value; a line without '=' is a key without value.
bool KeyOf(const SLine& line, std::wstring& szKey, std::wstring& szValue)
{
    const size_t nEq = line.szText.find(L'=');
    if (nEq == std::wstring::npos)
    {
        szKey = Trim(line.szText);
        szValue.clear();
    }
    else
    {
        szKey = Trim(line.szText.substr(0, nEq));
        szValue = Trim(line.szText.substr(nEq + 1));
    }
    return !szKey.empty();
}

// The range of lines of the first section called szSection: [nHeader + 1, nEnd).
bool FindSection(const SProfileText& text, const std::wstring& szSection, size_t& nHeader, size_t& nEnd)
{
    const std::wstring szWanted = Trim(szSection);
    for (size_t i = 0; i < text.lines.size(); ++i)
    {
        const auto name = SectionOf(text.lines[i]);
        if (name && EqualsNoCase(*name, szWanted))
        {
            nHeader = i;
            nEnd = i + 1;
            while (nEnd < text.lines.size() && !SectionOf(text.lines[nEnd]))
            {
                ++nEnd;
            }
            return true;
        }
    }
    return false;
}

std::optional<std::wstring> Lookup(const std::wstring& szSection, const std::wstring& szKey,
                                   const std::wstring& szPath)
{
    std::string szBytes;
    if (!ReadDataFile(szPath, szBytes))
    {
        return std::nullopt;
    }
    const SProfileText text = Decode(szBytes);
    size_t nHeader = 0;
    size_t nEnd = 0;
    if (!FindSection(text, szSection, nHeader, nEnd))
    {
        SetLastError(kErrorFileNotFound);
        return std::nullopt;
    }
    const std::wstring szWanted = Trim(szKey);
    for (size_t i = nHeader + 1; i < nEnd; ++i)
    {
        std::wstring szName;
        std::wstring szValue;
        if (KeyOf(text.lines[i], szName, szValue) && EqualsNoCase(szName, szWanted))
        {
            // A value in matching quotes comes back without them.
            if (szValue.size() >= 2 && (szValue[0] == L'"' || szValue[0] == L'\'') &&
                szValue.back() == szValue[0])
            {
                szValue = szValue.substr(1, szValue.size() - 2);
            }
            return szValue;
        }
    }
    SetLastError(kErrorFileNotFound);
    return std::nullopt;
}

} // namespace

std::wstring GetPrivateProfileString(const std::wstring& szSection, const std::wstring& szKey,
                                     const std::wstring& szDefault, const std::wstring& szPath,
                                     size_t nBufferSize)
{
    std::wstring szResult;
    if (auto value = Lookup(szSection, szKey, szPath))
    {
        szResult = std::move(*value);
    }
    else
    {
        // Windows drops the default's trailing blanks.
        szResult = szDefault;
        while (!szResult.empty() && IsBlank(szResult.back()))
        {
            szResult.pop_back();
        }
    }
    if (nBufferSize == 0)
    {
        return std::wstring();
    }
    if (szResult.size() > nBufferSize - 1)
    {
        szResult.resize(nBufferSize - 1);
    }
    return szResult;
}

int32_t GetPrivateProfileInt(const std::wstring& szSection, const std::wstring& szKey, int32_t nDefault,
                             const std::wstring& szPath)
{
    const auto value = Lookup(szSection, szKey, szPath);
    if (!value)
    {
        return nDefault;
    }
    const std::wstring& s = *value;
    size_t i = 0;
    while (i < s.size() && IsBlank(s[i]))
    {
        ++i;
    }
    bool bNegative = false;
    if (i < s.size() && (s[i] == L'-' || s[i] == L'+'))
    {
        bNegative = s[i] == L'-';
        ++i;
    }
    // Digits beyond the 32-bit range wrap around, as the Windows conversion does.
    uint32_t nValue = 0;
    while (i < s.size() && s[i] >= L'0' && s[i] <= L'9')
    {
        nValue = nValue * 10u + static_cast<uint32_t>(s[i] - L'0');
        ++i;
    }
    if (bNegative)
    {
        nValue = 0u - nValue;
    }
    return static_cast<int32_t>(nValue);
}

bool WritePrivateProfileString(const std::wstring& szSection, const std::wstring& szKey,
                               const std::wstring& szValue, const std::wstring& szPath)
{
    const std::wstring szSectionName = Trim(szSection);
    const std::wstring szKeyName = Trim(szKey);
    if (szSectionName.empty() || szKeyName.empty() || szPath.empty())
    {
        SetLastError(kErrorInvalidParameter);
        return false;
    }
    std::string szBytes;
    if (!ReadDataFile(szPath, szBytes))
    {
        if (GetLastError() != kErrorFileNotFound)
        {
            return false;
        }
        szBytes.clear();
    }
    SProfileText text = Decode(szBytes);
    auto ensureEnded = [&](size_t nLine)
    {
        if (nLine < text.lines.size() && text.lines[nLine].szEnd.empty())
        {
            text.lines[nLine].szEnd = L"\r\n";
        }
    };

    size_t nHeader = 0;
    size_t nEnd = 0;
    if (!FindSection(text, szSectionName, nHeader, nEnd))
    {
        if (!text.lines.empty())
        {
            ensureEnded(text.lines.size() - 1);
        }
        text.lines.push_back({L"[" + szSectionName + L"]", L"\r\n"});
        text.lines.push_back({szKeyName + L"=" + szValue, L"\r\n"});
    }
    else
    {
        bool bDone = false;
        size_t nLastKey = nHeader;
        for (size_t i = nHeader + 1; i < nEnd && !bDone; ++i)
        {
            std::wstring szName;
            std::wstring szOld;
            if (!Trim(text.lines[i].szText).empty())
            {
                nLastKey = i;
            }
            if (KeyOf(text.lines[i], szName, szOld) && EqualsNoCase(szName, szKeyName))
            {
                text.lines[i].szText = szName + L"=" + szValue;
                bDone = true;
            }
        }
        if (!bDone)
        {
            ensureEnded(nLastKey);
            text.lines.insert(text.lines.begin() + static_cast<std::ptrdiff_t>(nLastKey + 1),
                              SLine{szKeyName + L"=" + szValue, L"\r\n"});
        }
    }
    return ReplaceFileContent(szPath, Encode(text));
}

} // namespace platform
