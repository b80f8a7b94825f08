// Base64 transfer encoding (RFC 2045) for mail attachments.
#pragma once

#include "mail/CMIMECode.h"

// Encoder and decoder over a bit stream; an object serves one thread at a time.
class CBase64 : public CMIMECode
{
public:
    // Decoding skips "=" and stops at the first character outside the alphabet; the bytes made
    // before it stay in vDest.
    int Decode(const std::string& szSource, std::vector<uint8_t>& vDest) override;
    // 54 bytes give exactly 72 characters; the output is padded with "=" to a multiple of 4.
    std::string Encode(const uint8_t* pSource, int nLength) override;

private:
    // Reads up to nBits (at most 8) bits; returns the value, with the count actually read in nRead.
    unsigned ReadBits(int nBits, int& nRead);

    const uint8_t* m_pInput = nullptr;
    int32_t m_nInputLength = 0;
    int32_t m_nInputPos = 0;
    int m_nBitsHeld = 0;
    uint32_t m_nBitBuffer = 0;
};
