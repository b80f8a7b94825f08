// Base64 encoding and decoding with a small bit reader.
#include "mail/CBase64.h"

namespace
{

const char kBase64Alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
const char kPad = '=';

constexpr unsigned kBitMask[] = {0x00, 0x01, 0x03, 0x07, 0x0F, 0x1F, 0x3F, 0x7F, 0xFF};

} // namespace

unsigned CBase64::ReadBits(int nBits, int& nRead)
{
    while (m_nBitsHeld < nBits && m_nInputPos < m_nInputLength)
    {
        m_nBitBuffer = (m_nBitBuffer << 8) | m_pInput[m_nInputPos++];
        m_nBitsHeld += 8;
    }
    if (m_nBitsHeld >= nBits)
    {
        const unsigned nValue = (m_nBitBuffer >> (m_nBitsHeld - nBits)) & kBitMask[nBits];
        m_nBitsHeld -= nBits;
        nRead = nBits;
        return nValue;
    }
    // Input exhausted: the remaining bits, zero-filled on the right.
    const unsigned nValue = (m_nBitBuffer << (nBits - m_nBitsHeld)) & kBitMask[nBits];
    nRead = m_nBitsHeld;
    m_nBitsHeld = 0;
    return nValue;
}

std::string CBase64::Encode(const uint8_t* pSource, int nLength)
{
    std::string szResult;
    if (pSource == nullptr || nLength <= 0)
        return szResult;
    m_pInput = pSource;
    m_nInputLength = nLength;
    m_nInputPos = 0;
    m_nBitsHeld = 0;
    m_nBitBuffer = 0;
    szResult.reserve((static_cast<size_t>(nLength) + 2) / 3 * 4);
    int nRead = 0;
    unsigned nValue = ReadBits(6, nRead);
    while (nRead > 0)
    {
        szResult += kBase64Alphabet[nValue & 0x3F];
        nValue = ReadBits(nRead, nRead);
    }
    while (szResult.size() % 4 != 0)
        szResult += kPad;
    m_pInput = nullptr;
    return szResult;
}

int CBase64::Decode(const std::string& szSource, std::vector<uint8_t>& vDest)
{
    int nTable[256];
    for (int& n : nTable)
        n = -2;
    for (int j = 0; j < 64; ++j)
    {
        const unsigned char c = static_cast<unsigned char>(kBase64Alphabet[j]);
        nTable[c] = j;
        nTable[c | 0x80] = j;
    }
    nTable[static_cast<unsigned char>(kPad)] = -1;
    nTable[static_cast<unsigned char>(kPad) | 0x80] = -1;

    vDest.assign(szSource.size() + 1, 0);
    int nCount = 0;
    uint32_t nAccumulator = 0;
    int nBits = 0;
    for (const char ch : szSource)
    {
        const int nValue = nTable[static_cast<unsigned char>(ch) & 0x7F];
        if (nValue == -2)
            break;
        if (nValue == -1)
            continue;
        nAccumulator = ((nAccumulator << 6) | static_cast<uint32_t>(nValue)) & 0xFFFFFF;
        nBits += 6;
        if (nBits >= 8)
        {
            nBits -= 8;
            vDest[nCount++] = static_cast<uint8_t>(nAccumulator >> nBits);
        }
    }
    return nCount;
}
