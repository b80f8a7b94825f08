// The split plan's cursor and its whole-document test.
#include "documents/CSplitPlan.h"

#include "documents/ParseRangeList.h"
#include "documents/SSplitItem.h"

void CSplitPlan::Add(SSplitItem* pItem)
{
    m_items.push_back(pItem);
}

bool CSplitPlan::First()
{
    m_nCursor = 0;
    return !m_items.empty();
}

SSplitItem* CSplitPlan::Next()
{
    if (m_nCursor >= m_items.size())
        return nullptr;
    return m_items[m_nCursor++];
}

bool CSplitPlan::IsWholeDocument(int nPageCount, std::wstring& szOutputName) const
{
    szOutputName.clear();
    if (m_items.size() != 1 || !m_items[0] || nPageCount < 0)
        return false;
    const std::vector<int> pages = ParseRangeList(m_items[0]->m_szRangeList);
    if (pages.size() != static_cast<size_t>(nPageCount))
        return false;
    std::vector<bool> seen(static_cast<size_t>(nPageCount) + 1, false);
    for (int nPage : pages)
        if (nPage >= 1 && nPage <= nPageCount)
            seen[nPage] = true;
    for (int nPage = 1; nPage <= nPageCount; ++nPage)
        if (!seen[nPage])
            return false;
    szOutputName = m_items[0]->m_szFileName;
    return true;
}
