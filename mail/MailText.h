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

// A header text that holds bytes beyond ASCII as RFC 2047 encoded words ("=?utf-8?B?...?="), each
// of at most 75 characters and split only between whole UTF-8 characters, folded onto continuation
// lines; an ASCII text is returned unchanged. Control characters are dropped.
std::string EncodeHeaderText(const std::string& szUtf8);

// A display name for an address header: ASCII names stay as they are (quotes included); others lose
// their enclosing quotes and escapes and become encoded words followed by one blank.
std::string HeaderDisplayName(const std::string& szName);

// "name=value" for a MIME parameter, the value as MimeParameterValue gives it; a value beyond
// ASCII is written in the RFC 2231 form name*=utf-8''percent-encoded.
std::string MimeParameter(const std::string& szName, const std::string& szValue);

// The Date header value "Mon, 07 Dec 2026 10:24:58 +0200" for local calendar fields and the local
// zone's offset east of UTC in minutes. English names whatever the locale.
std::string FormatMailDate(const std::tm& tmLocal, int nOffsetMinutes);

// FormatMailDate for the instant tTime in the process's local time zone.
std::string MailDate(std::time_t tTime);
