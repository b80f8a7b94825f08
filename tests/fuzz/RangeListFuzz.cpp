// The page range lists of split plans on arbitrary text: the input's bytes read as Latin-1 and,
// for even sizes, as UTF-16 units. Pages come back bounded in number.
#include "documents/ParseRangeList.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize)
{
    std::wstring szLatin1(pData, pData + nSize);
    if (ParseRangeList(szLatin1).size() > kMaxRangeListPages)
        std::abort();
    std::wstring szUnits;
    for (size_t i = 0; i + 1 < nSize; i += 2)
        szUnits += static_cast<wchar_t>(pData[i] | (pData[i + 1] << 8));
    if (ParseRangeList(szUnits).size() > kMaxRangeListPages)
        std::abort();
    return 0;
}
