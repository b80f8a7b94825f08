// Base64 encoding and decoding.
#include "mail/CBase64.h"

#include <gtest/gtest.h>

namespace
{

std::string Encode(const std::string& sz)
{
    CBase64 encoder;
    return encoder.Encode(reinterpret_cast<const uint8_t*>(sz.data()), static_cast<int>(sz.size()));
}

TEST(Base64, KnownValuesAndPadding)
{
    EXPECT_EQ(Encode("abc"), "YWJj");
    EXPECT_EQ(Encode("ab"), "YWI=");
    EXPECT_EQ(Encode("a"), "YQ==");
    EXPECT_EQ(Encode(""), "");
    CBase64 encoder;
    EXPECT_EQ(encoder.Encode(nullptr, 5), "");
    EXPECT_EQ(Encode(std::string("\xFF\xEF\x00\x10", 4)), "/+8AEA==");

    const std::string sz54(54, '\x5A');
    EXPECT_EQ(Encode(sz54).size(), 72u);
    EXPECT_EQ(Encode(sz54).find('='), std::string::npos);
    const std::string szEncoded55 = Encode(sz54 + "!");
    EXPECT_EQ(szEncoded55.size(), 76u);
    EXPECT_EQ(szEncoded55.substr(72), "IQ==");
}

TEST(Base64, RoundTripsEveryLengthAndByte)
{
    CBase64 codec;
    for (int nLength = 0; nLength <= 300; ++nLength)
    {
        std::string szData(static_cast<size_t>(nLength), '\0');
        for (int i = 0; i < nLength; ++i)
            szData[static_cast<size_t>(i)] = static_cast<char>((i * 37 + nLength) & 0xFF);
        const std::string szText = Encode(szData);
        EXPECT_EQ(szText.size() % 4, 0u);
        std::vector<uint8_t> vDecoded;
        const int nCount = codec.Decode(szText, vDecoded);
        ASSERT_EQ(nCount, nLength);
        EXPECT_EQ(vDecoded.size(), szText.size() + 1);
        EXPECT_EQ(std::string(vDecoded.begin(), vDecoded.begin() + nCount), szData) << "length " << nLength;
    }
}

TEST(Base64, DecodingStopsAtTheFirstForeignCharacter)
{
    CBase64 codec;
    std::vector<uint8_t> vDecoded;
    EXPECT_EQ(codec.Decode("YWJj*YWJj", vDecoded), 3);
    EXPECT_EQ(std::string(vDecoded.begin(), vDecoded.begin() + 3), "abc");
    EXPECT_EQ(vDecoded[3], 0) << "the rest stays zero-filled";
    // Characters with the high bit set count as their 7-bit counterparts.
    EXPECT_EQ(codec.Decode("\xD9WJj", vDecoded), 3);
    EXPECT_EQ(vDecoded[0], 'a');
}

} // namespace
