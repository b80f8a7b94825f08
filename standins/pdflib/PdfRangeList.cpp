// The library's reading of page range lists for page extraction.
#include "standins/pdflib/PdfRangeList.h"

#include <cctype>

namespace
{

std::string Trim(const std::string& szText)
{
    size_t nStart = 0;
    size_t nEnd = szText.size();
    while (nStart < nEnd && std::isspace(static_cast<unsigned char>(szText[nStart])))
        ++nStart;
    while (nEnd > nStart && std::isspace(static_cast<unsigned char>(szText[nEnd - 1])))
        --nEnd;
    return szText.substr(nStart, nEnd - nStart);
}

// A page number 1..nPageCount made only of digits.
bool ReadPage(const std::string& szText, int nPageCount, int& nPage)
{
    const std::string szNumber = Trim(szText);
    if (szNumber.empty() || szNumber.size() > 9)
        return false;
    nPage = 0;
    for (char ch : szNumber)
    {
        if (ch < '0' || ch > '9')
            return false;
        nPage = nPage * 10 + (ch - '0');
    }
    return nPage >= 1 && nPage <= nPageCount;
}

} // namespace

bool ReadExtractRangeList(const std::string& szList, int nPageCount, std::vector<int>& pages)
{
    pages.clear();
    size_t nStart = 0;
    for (;;)
    {
        const size_t nComma = szList.find(',', nStart);
        const std::string szToken =
            Trim(szList.substr(nStart, nComma == std::string::npos ? nComma : nComma - nStart));
        const size_t nDash = szToken.find('-');
        int nFirst = 0;
        int nLast = 0;
        if (nDash == std::string::npos)
        {
            if (!ReadPage(szToken, nPageCount, nFirst))
                return false;
            nLast = nFirst;
        }
        else if (!ReadPage(szToken.substr(0, nDash), nPageCount, nFirst) ||
                 !ReadPage(szToken.substr(nDash + 1), nPageCount, nLast))
            return false;
        // A page count is bounded by the file, so the list cannot outgrow what the file holds
        // by more than one copy of every page per token.
        const int nStep = nLast >= nFirst ? 1 : -1;
        for (int nPage = nFirst;; nPage += nStep)
        {
            pages.push_back(nPage);
            if (nPage == nLast)
                break;
        }
        if (nComma == std::string::npos)
            return !pages.empty();
        nStart = nComma + 1;
    }
}
