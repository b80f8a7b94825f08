// Parsing of the service's log lines: "category,code,code text,DD/MM/YYYY,hh:mm:ss.mmm,message".
// Only the first five commas separate fields; the message may hold further commas. Free of Qt so
// that it can be tested and reused on its own.
#pragma once

#include "standins/logvista/SLogRecord.h"

#include <cstdint>
#include <string_view>

class CLogParser
{
public:
    // Parses one line (a trailing CR is dropped). A line with fewer than five commas, a category
    // or code that is not a decimal number, or a date or time not in the record's form comes back
    // as ELogLevel::Unparsed with the whole line as its message: it is shown, never dropped.
    static SLogRecord ParseLine(std::string_view szLine);

    // The level of a category field: "0" and "1" errors, "3" warnings, "4" information. Other
    // categories come from system error numbers written in place of a code, so they are errors
    // too. Anything that is not a decimal number is Unparsed.
    static ELogLevel LevelOfCategory(std::string_view szCategory);

    // Turns "DD/MM/YYYY" and "hh:mm:ss.mmm" into a stamp that orders like the moments they name.
    // Returns false, leaving nStamp alone, when either text is not in that exact form or out of
    // range (month 13, hour 24, day 32 and the like).
    static bool ParseStamp(std::string_view szDate, std::string_view szTime, int64_t& nStamp);
};
