// The UTF-8 conversion facet: one 16-bit unit at a time out, one sequence at a time in.
#include "util/utf8_conversion.h"

#include <bit>
#include <cstdint>

namespace
{

constexpr uint32_t kReplacement = 0xFFFD;

// Encodes one unit into pBytes (room for 4); returns the byte count.
int EncodeUnit(uint32_t nUnit, unsigned char* pBytes)
{
    if (nUnit < 0x80)
    {
        pBytes[0] = static_cast<unsigned char>(nUnit);
        return 1;
    }
    if (nUnit > 0x10FFFF)
        nUnit = kReplacement;
    if (nUnit > 0xFFFF)
    {
        // Only reached by a wide character outside the 16-bit range: standard 4-byte form.
        pBytes[0] = static_cast<unsigned char>(0xF0 | (nUnit >> 18));
        pBytes[1] = static_cast<unsigned char>(0x80 | ((nUnit >> 12) & 0x3F));
        pBytes[2] = static_cast<unsigned char>(0x80 | ((nUnit >> 6) & 0x3F));
        pBytes[3] = static_cast<unsigned char>(0x80 | (nUnit & 0x3F));
        return 4;
    }
    int nHighBit = 31 - std::countl_zero(nUnit); // 7 .. 15
    int nTrail = (nHighBit + 1) / 6;             // 1 or 2 continuation bytes
    pBytes[0] = static_cast<unsigned char>((nTrail == 1 ? 0xC0 : 0xE0) | (nUnit >> (6 * nTrail)));
    for (int i = 1; i <= nTrail; ++i)
        pBytes[i] = static_cast<unsigned char>(0x80 | ((nUnit >> (6 * (nTrail - i))) & 0x3F));
    return nTrail + 1;
}

// Leading one bits of a byte (0 for ASCII).
int LeadingOnes(unsigned char nByte)
{
    return std::countl_one(nByte);
}

// Decodes the sequence at pFrom. Returns the bytes it takes (0: incomplete, wait for more) and
// stores the value; a byte that cannot start a sequence takes one byte and gives U+FFFD.
int DecodeSequence(const char* pFrom, const char* pFromEnd, uint32_t& nValue)
{
    unsigned char nLead = static_cast<unsigned char>(*pFrom);
    int nBytes = LeadingOnes(nLead);
    if (nBytes == 0)
    {
        nValue = nLead;
        return 1;
    }
    if (nBytes == 1 || nBytes > 4)
    {
        nValue = kReplacement;
        return 1;
    }
    if (pFromEnd - pFrom < nBytes)
        return 0;
    nValue = nLead & (0x7Fu >> nBytes);
    for (int i = 1; i < nBytes; ++i)
        nValue = (nValue << 6) | (static_cast<unsigned char>(pFrom[i]) & 0x3Fu);
    if (nValue > 0x10FFFF)
        nValue = kReplacement;
    return nBytes;
}

} // namespace

utf8_conversion::result utf8_conversion::do_out(std::mbstate_t&, const wchar_t* pFrom,
                                                const wchar_t* pFromEnd, const wchar_t*& pFromNext, char* pTo,
                                                char* pToEnd, char*& pToNext) const
{
    for (; pFrom < pFromEnd; ++pFrom)
    {
        unsigned char bytes[4];
        int nBytes = EncodeUnit(static_cast<uint32_t>(*pFrom), bytes);
        if (pToEnd - pTo < nBytes)
            break;
        for (int i = 0; i < nBytes; ++i)
            *pTo++ = static_cast<char>(bytes[i]);
    }
    pFromNext = pFrom;
    pToNext = pTo;
    return pFrom == pFromEnd ? ok : partial;
}

utf8_conversion::result utf8_conversion::do_in(std::mbstate_t&, const char* pFrom, const char* pFromEnd,
                                               const char*& pFromNext, wchar_t* pTo, wchar_t* pToEnd,
                                               wchar_t*& pToNext) const
{
    while (pFrom < pFromEnd && pTo < pToEnd)
    {
        uint32_t nValue = 0;
        int nBytes = DecodeSequence(pFrom, pFromEnd, nValue);
        if (nBytes == 0)
            break;
        if (nValue > 0xFFFF)
        {
            if (pToEnd - pTo < 2)
                break;
            nValue -= 0x10000;
            *pTo++ = static_cast<wchar_t>(0xD800 + (nValue >> 10));
            *pTo++ = static_cast<wchar_t>(0xDC00 + (nValue & 0x3FF));
        }
        else
            *pTo++ = static_cast<wchar_t>(nValue);
        pFrom += nBytes;
    }
    pFromNext = pFrom;
    pToNext = pTo;
    return pFrom == pFromEnd ? ok : partial;
}

utf8_conversion::result utf8_conversion::do_unshift(std::mbstate_t&, char* pTo, char*, char*& pToNext) const
{
    pToNext = pTo;
    return noconv;
}

int utf8_conversion::do_length(std::mbstate_t&, const char* pFrom, const char* pFromEnd, size_t nMax) const
{
    const char* pStart = pFrom;
    size_t nUnits = 0;
    while (pFrom < pFromEnd && nUnits < nMax)
    {
        uint32_t nValue = 0;
        int nBytes = DecodeSequence(pFrom, pFromEnd, nValue);
        if (nBytes == 0)
            break;
        size_t nNeeded = nValue > 0xFFFF ? 2 : 1;
        if (nUnits + nNeeded > nMax)
            break;
        nUnits += nNeeded;
        pFrom += nBytes;
    }
    return static_cast<int>(pFrom - pStart);
}

std::string utf8_conversion::Encode(const std::wstring& szText)
{
    utf8_conversion facet(1);
    std::string szBytes(szText.size() * 4, '\0');
    std::mbstate_t state{};
    const wchar_t* pFromNext = nullptr;
    char* pToNext = nullptr;
    facet.out(state, szText.data(), szText.data() + szText.size(), pFromNext, szBytes.data(),
              szBytes.data() + szBytes.size(), pToNext);
    szBytes.resize(static_cast<size_t>(pToNext - szBytes.data()));
    return szBytes;
}

std::wstring utf8_conversion::Decode(const std::string& szBytes)
{
    utf8_conversion facet(1);
    std::wstring szText(szBytes.size() + 1, L'\0');
    std::mbstate_t state{};
    const char* pFromNext = nullptr;
    wchar_t* pToNext = nullptr;
    facet.in(state, szBytes.data(), szBytes.data() + szBytes.size(), pFromNext, szText.data(),
             szText.data() + szText.size(), pToNext);
    szText.resize(static_cast<size_t>(pToNext - szText.data()));
    return szText;
}
