// Control-character rules, parameter quoting and the mail date.
#include "mail/MailText.h"

#include "mail/CBase64.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace
{

bool IsControl(unsigned char c)
{
    return c < 32 || c == 127;
}

// Days from 1970-01-01 to the civil date (proleptic Gregorian).
int64_t DaysFromCivil(int64_t nYear, unsigned nMonth, unsigned nDay)
{
    nYear -= nMonth <= 2;
    const int64_t nEra = (nYear >= 0 ? nYear : nYear - 399) / 400;
    const unsigned nYoe = static_cast<unsigned>(nYear - nEra * 400);
    const unsigned nDoy = (153 * (nMonth + (nMonth > 2 ? -3 : 9)) + 2) / 5 + nDay - 1;
    const unsigned nDoe = nYoe * 365 + nYoe / 4 - nYoe / 100 + nDoy;
    return nEra * 146097 + static_cast<int64_t>(nDoe) - 719468;
}

} // namespace

bool HasControlCharacter(const std::string& szText)
{
    for (const char c : szText)
        if (IsControl(static_cast<unsigned char>(c)))
            return true;
    return false;
}

std::string StripControlCharacters(const std::string& szText)
{
    std::string szResult;
    szResult.reserve(szText.size());
    for (const char c : szText)
        if (!IsControl(static_cast<unsigned char>(c)))
            szResult += c;
    return szResult;
}

std::string MimeParameterValue(const std::string& szValue)
{
    static const std::string kSpecials = "()<>@,;:\\\"/[]?= ";
    const std::string szClean = StripControlCharacters(szValue);
    bool bToken = !szClean.empty();
    for (const char c : szClean)
        if (static_cast<unsigned char>(c) >= 0x80 || kSpecials.find(c) != std::string::npos)
            bToken = false;
    if (bToken)
        return szClean;
    std::string szQuoted = "\"";
    for (const char c : szClean)
    {
        if (c == '"' || c == '\\')
            szQuoted += '\\';
        szQuoted += c;
    }
    return szQuoted + "\"";
}

namespace
{

bool IsAscii(const std::string& szText)
{
    for (const char c : szText)
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    return true;
}

} // namespace

std::string EncodeHeaderText(const std::string& szUtf8)
{
    const std::string szClean = StripControlCharacters(szUtf8);
    if (IsAscii(szClean))
        return szClean;
    // 45 bytes give 60 Base64 characters: with "=?utf-8?B?" and "?=" a word stays within 75.
    constexpr size_t kMaxBytes = 45;
    CBase64 encoder;
    std::string szResult;
    size_t nPos = 0;
    while (nPos < szClean.size())
    {
        size_t nEnd = std::min(szClean.size(), nPos + kMaxBytes);
        // Never split a UTF-8 sequence: back off over continuation bytes.
        while (nEnd < szClean.size() && nEnd > nPos + 1 &&
               (static_cast<unsigned char>(szClean[nEnd]) & 0xC0) == 0x80)
            --nEnd;
        if (!szResult.empty())
            szResult += "\r\n ";
        szResult += "=?utf-8?B?" +
                    encoder.Encode(reinterpret_cast<const uint8_t*>(szClean.data() + nPos),
                                   static_cast<int>(nEnd - nPos)) +
                    "?=";
        nPos = nEnd;
    }
    return szResult;
}

std::string MimeParameter(const std::string& szName, const std::string& szValue)
{
    const std::string szClean = StripControlCharacters(szValue);
    if (IsAscii(szClean))
        return szName + "=" + MimeParameterValue(szClean);
    static const char kHex[] = "0123456789ABCDEF";
    static const std::string kPlain = "!#$&+-.^_`|~";
    std::string szResult = szName + "*=utf-8''";
    for (const char c : szClean)
    {
        const unsigned char b = static_cast<unsigned char>(c);
        if ((b >= '0' && b <= '9') || (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z') ||
            kPlain.find(c) != std::string::npos)
            szResult += c;
        else
        {
            szResult += '%';
            szResult += kHex[b >> 4];
            szResult += kHex[b & 0x0F];
        }
    }
    return szResult;
}

std::string HeaderDisplayName(const std::string& szName)
{
    const std::string szClean = StripControlCharacters(szName);
    if (IsAscii(szClean))
        return szClean;
    std::string szPlain = szClean;
    if (szPlain.size() >= 2 && szPlain.front() == '"' && szPlain.back() == '"')
    {
        std::string szInner;
        for (size_t i = 1; i + 1 < szPlain.size(); ++i)
        {
            if (szPlain[i] == '\\' && i + 2 < szPlain.size())
                ++i;
            szInner += szPlain[i];
        }
        szPlain = szInner;
    }
    while (!szPlain.empty() && szPlain.back() == ' ')
        szPlain.pop_back();
    return EncodeHeaderText(szPlain) + " ";
}

std::string FormatMailDate(const std::tm& tmLocal, int nOffsetMinutes)
{
    static const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const int nDay = tmLocal.tm_wday >= 0 && tmLocal.tm_wday < 7 ? tmLocal.tm_wday : 0;
    const int nMonth = tmLocal.tm_mon >= 0 && tmLocal.tm_mon < 12 ? tmLocal.tm_mon : 0;
    char szText[64];
    std::snprintf(szText, sizeof szText, "%s, %02d %s %04d %02d:%02d:%02d %c%02d%02d", kDays[nDay],
                  tmLocal.tm_mday, kMonths[nMonth], tmLocal.tm_year + 1900, tmLocal.tm_hour, tmLocal.tm_min,
                  tmLocal.tm_sec, nOffsetMinutes < 0 ? '-' : '+', std::abs(nOffsetMinutes) / 60,
                  std::abs(nOffsetMinutes) % 60);
    return szText;
}

std::string MailDate(std::time_t tTime)
{
    std::tm tmLocal{};
#ifdef _WIN32
    localtime_s(&tmLocal, &tTime);
#else
    localtime_r(&tTime, &tmLocal);
#endif
    // The zone offset is the local calendar time read as if it were UTC, minus the instant.
    const int64_t nLocalSeconds =
        DaysFromCivil(tmLocal.tm_year + 1900, static_cast<unsigned>(tmLocal.tm_mon + 1),
                      static_cast<unsigned>(tmLocal.tm_mday)) *
            86400 +
        tmLocal.tm_hour * 3600 + tmLocal.tm_min * 60 + tmLocal.tm_sec;
    const int nOffsetMinutes = static_cast<int>((nLocalSeconds - static_cast<int64_t>(tTime)) / 60);
    return FormatMailDate(tmLocal, nOffsetMinutes);
}
