// Reading of page range lists.
#include "documents/ParseRangeList.h"

#include <climits>
#include <cwchar>
#include <cwctype>

namespace
{

std::vector<std::wstring> SplitAt(const std::wstring& szText, wchar_t chSeparator)
{
    std::vector<std::wstring> parts;
    size_t nStart = 0;
    for (;;)
    {
        const size_t nEnd = szText.find(chSeparator, nStart);
        parts.push_back(szText.substr(nStart, nEnd == std::wstring::npos ? nEnd : nEnd - nStart));
        if (nEnd == std::wstring::npos)
            return parts;
        nStart = nEnd + 1;
    }
}

std::wstring Trim(const std::wstring& szText)
{
    size_t nStart = 0;
    size_t nEnd = szText.size();
    while (nStart < nEnd && std::iswspace(szText[nStart]))
        ++nStart;
    while (nEnd > nStart && std::iswspace(szText[nEnd - 1]))
        --nEnd;
    return szText.substr(nStart, nEnd - nStart);
}

// wcstol, held to the range of a page number.
int ReadNumber(const std::wstring& szPart)
{
    const long nValue = std::wcstol(szPart.c_str(), nullptr, 10);
    if (nValue > INT_MAX)
        return INT_MAX;
    if (nValue < INT_MIN)
        return INT_MIN;
    return static_cast<int>(nValue);
}

} // namespace

std::vector<int> ParseRangeList(const std::wstring& szText)
{
    std::vector<int> pages;
    for (const std::wstring& szRawToken : SplitAt(szText, L','))
    {
        const std::wstring szToken = Trim(szRawToken);
        if (szToken.empty())
            continue;
        std::vector<int> numbers;
        for (const std::wstring& szPart : SplitAt(szToken, L'-'))
            if (!szPart.empty())
                numbers.push_back(ReadNumber(szPart));
        if (numbers.size() == 1)
        {
            if (pages.size() < kMaxRangeListPages)
                pages.push_back(numbers[0]);
        }
        else if (numbers.size() == 2 && numbers[1] >= numbers[0])
        {
            for (long long nPage = numbers[0]; nPage <= numbers[1] && pages.size() < kMaxRangeListPages;
                 ++nPage)
                pages.push_back(static_cast<int>(nPage));
        }
    }
    return pages;
}
