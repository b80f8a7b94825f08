// Small text rules of the mail composer and the SMTP client: control characters, MIME parameter
// quoting and the Date header value.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>

// True when the byte text holds a byte of code 0 to 31 or 127.
bool HasControlCharacter(const std::string& szText);

// The text without its bytes of code 0 to 31 and 127.
std::string StripControlCharacters(const std::string& szText);

// A MIME parameter value: unchanged when every byte may stand in a token (RFC 2045), otherwise a
// quoted string with '"' and '\' escaped. Control characters are dropped either way.
std::string MimeParameterValue(const std::string& szValue);

// The Date header value "Mon, 07 Dec 2026 10:24:58 +0200" for local calendar fields and the local
// zone's offset east of UTC in minutes. English names whatever the locale.
std::string FormatMailDate(const std::tm& tmLocal, int nOffsetMinutes);

// FormatMailDate for the instant tTime in the process's local time zone.
std::string MailDate(std::time_t tTime);
