// One output file of a split: the file to write and the pages that go into it.
#pragma once

#include <string>

struct SSplitItem
{
    // Full path of the file to write.
    std::wstring m_szFileName;
    // Comma-separated pages and page ranges, such as "1,3-5" (see ParseRangeList).
    std::wstring m_szRangeList;
};
