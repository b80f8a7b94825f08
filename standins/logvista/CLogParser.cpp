// Parsing of the service's log lines.
#include "standins/logvista/CLogParser.h"

#include <array>

namespace
{

bool IsDecimal(std::string_view szText)
{
    if (szText.empty())
        return false;
    for (char c : szText)
    {
        if (c < '0' || c > '9')
            return false;
    }
    return true;
}

// Reads the digits at [nPos, nPos + nCount) of szText into nValue; false when any is not a digit.
bool ReadDigits(std::string_view szText, size_t nPos, size_t nCount, int& nValue)
{
    nValue = 0;
    for (size_t i = nPos; i < nPos + nCount; ++i)
    {
        if (szText[i] < '0' || szText[i] > '9')
            return false;
        nValue = nValue * 10 + (szText[i] - '0');
    }
    return true;
}

} // namespace

SLogRecord CLogParser::ParseLine(std::string_view szLine)
{
    if (!szLine.empty() && szLine.back() == '\r')
        szLine.remove_suffix(1);

    SLogRecord record;
    std::array<std::string_view, 6> fields;
    size_t nStart = 0;
    for (size_t i = 0; i < 5; ++i)
    {
        const size_t nComma = szLine.find(',', nStart);
        if (nComma == std::string_view::npos)
        {
            record.m_szMessage = szLine;
            return record;
        }
        fields[i] = szLine.substr(nStart, nComma - nStart);
        nStart = nComma + 1;
    }
    fields[5] = szLine.substr(nStart);

    int64_t nStamp = -1;
    const ELogLevel eLevel = LevelOfCategory(fields[0]);
    if (eLevel == ELogLevel::Unparsed || !IsDecimal(fields[1]) || !ParseStamp(fields[3], fields[4], nStamp))
    {
        record.m_szMessage = szLine;
        return record;
    }
    record.m_szCategory = fields[0];
    record.m_szCode = fields[1];
    record.m_szCodeText = fields[2];
    record.m_szDate = fields[3];
    record.m_szTime = fields[4];
    record.m_szMessage = fields[5];
    record.m_eLevel = eLevel;
    record.m_nStamp = nStamp;
    return record;
}

ELogLevel CLogParser::LevelOfCategory(std::string_view szCategory)
{
    if (!IsDecimal(szCategory))
        return ELogLevel::Unparsed;
    if (szCategory == "3")
        return ELogLevel::Warning;
    if (szCategory == "4")
        return ELogLevel::Information;
    return ELogLevel::Error;
}

bool CLogParser::ParseStamp(std::string_view szDate, std::string_view szTime, int64_t& nStamp)
{
    // DD/MM/YYYY and hh:mm:ss.mmm, every part zero-padded to its width.
    if (szDate.size() != 10 || szDate[2] != '/' || szDate[5] != '/')
        return false;
    if (szTime.size() != 12 || szTime[2] != ':' || szTime[5] != ':' || szTime[8] != '.')
        return false;
    int nDay = 0, nMonth = 0, nYear = 0, nHour = 0, nMinute = 0, nSecond = 0, nMillis = 0;
    if (!ReadDigits(szDate, 0, 2, nDay) || !ReadDigits(szDate, 3, 2, nMonth) ||
        !ReadDigits(szDate, 6, 4, nYear) || !ReadDigits(szTime, 0, 2, nHour) ||
        !ReadDigits(szTime, 3, 2, nMinute) || !ReadDigits(szTime, 6, 2, nSecond) ||
        !ReadDigits(szTime, 9, 3, nMillis))
        return false;
    // A leap second (60) is let through: the clock may report one.
    if (nDay < 1 || nDay > 31 || nMonth < 1 || nMonth > 12 || nHour > 23 || nMinute > 59 || nSecond > 60)
        return false;

    // A mixed-radix count in which every unit is wide enough for its largest value: it orders
    // like the moments, which is all that sorting needs.
    int64_t nValue = nYear;
    nValue = nValue * 12 + (nMonth - 1);
    nValue = nValue * 31 + (nDay - 1);
    nValue = nValue * 24 + nHour;
    nValue = nValue * 60 + nMinute;
    nValue = nValue * 61 + nSecond;
    nValue = nValue * 1000 + nMillis;
    nStamp = nValue;
    return true;
}
