// A stream conversion facet between wide text (16-bit code units) and UTF-8, for wide file streams
// such as the log file. It keeps no state between calls.
//
// Units are written one at a time: a surrogate unit becomes a 3-byte sequence of its own. When
// reading, a 4-byte sequence becomes a surrogate pair, and a byte that cannot start a sequence (a
// stray continuation byte, 0xF8..0xFF) becomes U+FFFD, so no value above 0xFFFF and no stray NUL is
// ever delivered.
#pragma once

#include <cwchar>
#include <locale>
#include <string>

class utf8_conversion : public std::codecvt<wchar_t, char, std::mbstate_t>
{
public:
    // nRefs as for every facet: 0 lets a locale that holds the facet delete it; 1 for a facet on the
    // stack or owned by the caller.
    explicit utf8_conversion(size_t nRefs = 0) : std::codecvt<wchar_t, char, std::mbstate_t>(nRefs) {}
    ~utf8_conversion() override = default;

    // Whole-text conversions through the facet's own algorithm. Decode drops an incomplete sequence
    // at the end of the bytes.
    static std::string Encode(const std::wstring& szText);
    static std::wstring Decode(const std::string& szBytes);

protected:
    bool do_always_noconv() const noexcept override { return false; }
    int do_max_length() const noexcept override { return 4; }
    int do_encoding() const noexcept override { return 0; }

    // Bytes to units. Returns partial when the input ends inside a sequence (it stays unread) or the
    // output is full; ok when every byte was converted.
    result do_in(std::mbstate_t& state, const char* pFrom, const char* pFromEnd, const char*& pFromNext,
                 wchar_t* pTo, wchar_t* pToEnd, wchar_t*& pToNext) const override;
    // Units to bytes. Stops before a unit whose sequence does not fit: partial, so the stream calls
    // again with fresh room; ok when every unit was converted.
    result do_out(std::mbstate_t& state, const wchar_t* pFrom, const wchar_t* pFromEnd,
                  const wchar_t*& pFromNext, char* pTo, char* pToEnd, char*& pToNext) const override;
    result do_unshift(std::mbstate_t& state, char* pTo, char* pToEnd, char*& pToNext) const override;
    // Number of bytes that make up at most nMax units, complete sequences only.
    int do_length(std::mbstate_t& state, const char* pFrom, const char* pFromEnd, size_t nMax) const override;
};
