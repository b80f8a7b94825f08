// The transfer-encoder family of the mail composer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// A MIME transfer encoding. Each Encode call yields one unbroken run of encoded text; the caller
// cuts the input so that one call gives one output line. Objects keep no state between calls.
class CMIMECode
{
public:
    virtual ~CMIMECode() = default;
    // Decodes the text into vDest, which is first resized to the text's length plus one byte and
    // zero-filled. Returns the number of bytes produced.
    virtual int Decode(const std::string& szSource, std::vector<uint8_t>& vDest) = 0;
    // Encodes nLength bytes; an absent pointer or a length of 0 gives an empty text.
    virtual std::string Encode(const uint8_t* pSource, int nLength) = 0;
};
