// Text conversion between wide text and byte strings in a code page.
//
// Wide text: each wchar_t holds one UTF-16 code unit (0..0xFFFF); characters beyond the 16-bit
// range are held as surrogate pairs, as on Windows. (wchar_t is 32 bits on Linux, but no value above
// 0xFFFF is ever stored.)
#pragma once

#include <cstdint>
#include <string>

namespace platform
{

inline constexpr uint32_t kCodePageUtf8 = 65001;
// The 8-bit code page in which each byte is the character of the same code (ISO 8859-1).
inline constexpr uint32_t kCodePageLatin1 = 28591;
// The "ANSI" code page; on Linux the same as kCodePageLatin1.
inline constexpr uint32_t kCodePageAnsi = 0;

// Like MultiByteToWideChar without flags: false for an unknown code page or, in UTF-8, an invalid
// byte sequence (then the output is empty and the last error is 1113, no mapping).
bool MultiByteToWide(uint32_t nCodePage, const std::string& szBytes, std::wstring& szWide);

// Like WideCharToMultiByte without flags and without default character: false for an unknown code
// page, an unpaired surrogate in UTF-8, or in Latin-1 a character above 0xFF.
bool WideToMultiByte(uint32_t nCodePage, const std::wstring& szWide, std::string& szBytes);

// Upper case of one UTF-16 unit by the Unicode simple case mapping (units without one, and surrogates,
// stay as they are), as Windows compares names without regard to letter case.
wchar_t ToUpperChar(wchar_t ch);
std::wstring ToUpperText(const std::wstring& szText);
// Equality and ordering of two texts without regard to letter case (by ToUpperChar).
bool EqualsNoCase(const std::wstring& szA, const std::wstring& szB);
int CompareNoCase(const std::wstring& szA, const std::wstring& szB);

} // namespace platform
