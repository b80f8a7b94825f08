// One line of the service's log as the viewer shows it: the six fields of a record, or the line as it
// stands when it is not a record.
#pragma once

#include <cstdint>
#include <string>

// How a record's category reads: 0 and 1 are errors, 3 warnings, 4 information. A line that is
// not a record has no category at all.
enum class ELogLevel
{
    Error,
    Warning,
    Information,
    Unparsed,
};

struct SLogRecord
{
    // The six fields as UTF-8 text. For an unparsed line every field is empty except
    // m_szMessage, which holds the whole line (without its line end).
    std::string m_szCategory;
    std::string m_szCode;
    std::string m_szCodeText;
    std::string m_szDate;
    std::string m_szTime;
    std::string m_szMessage;
    ELogLevel m_eLevel = ELogLevel::Unparsed;
    // Milliseconds of a proleptic calendar count from the date and time; ordered like the
    // moments they name. -1 when the line carries no valid date and time.
    int64_t m_nStamp = -1;
};
