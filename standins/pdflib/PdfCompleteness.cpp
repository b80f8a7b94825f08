// The check that a PDF file was written to its end.
#include "standins/pdflib/PdfCompleteness.h"

#include <cstring>

namespace
{

bool IsPdfWhiteSpace(char ch)
{
    return ch == ' ' || ch == '\r' || ch == '\n' || ch == '\t' || ch == '\f' || ch == '\0';
}

// Moves nEnd back over white space; returns the new end.
size_t SkipWhiteBack(const char* pData, size_t nEnd)
{
    while (nEnd > 0 && IsPdfWhiteSpace(pData[nEnd - 1]))
        --nEnd;
    return nEnd;
}

// True when the text before nEnd is szWord; then nEnd moves to its start.
bool TakeWordBack(const char* pData, size_t& nEnd, const char* szWord)
{
    const size_t nLength = std::strlen(szWord);
    if (nEnd < nLength || std::memcmp(pData + nEnd - nLength, szWord, nLength) != 0)
        return false;
    nEnd -= nLength;
    return true;
}

} // namespace

bool HasCompleteTrailer(const char* pData, size_t nSize)
{
    if (!pData || nSize < 5 || std::memcmp(pData, "%PDF-", 5) != 0)
        return false;
    size_t nEnd = SkipWhiteBack(pData, nSize);
    if (!TakeWordBack(pData, nEnd, "%%EOF"))
        return false;
    const size_t nDigitsEnd = SkipWhiteBack(pData, nEnd);
    if (nDigitsEnd == nEnd)
        return false;
    nEnd = nDigitsEnd;
    size_t nOffset = 0;
    size_t nDigits = 0;
    size_t nScale = 1;
    while (nEnd > 0 && pData[nEnd - 1] >= '0' && pData[nEnd - 1] <= '9')
    {
        if (++nDigits > 18)
            return false;
        nOffset += static_cast<size_t>(pData[nEnd - 1] - '0') * nScale;
        nScale *= 10;
        --nEnd;
    }
    if (nDigits == 0 || nOffset >= nSize)
        return false;
    const size_t nWordEnd = SkipWhiteBack(pData, nEnd);
    if (nWordEnd == nEnd)
        return false;
    nEnd = nWordEnd;
    return TakeWordBack(pData, nEnd, "startxref");
}
