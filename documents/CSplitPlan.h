// An ordered list of split items with a cursor. The plan does not own its items: whoever fills
// the plan keeps them alive while it is used.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

struct SSplitItem;

class CSplitPlan
{
public:
    // Appends an item (not owned).
    void Add(SSplitItem* pItem);
    // Number of items.
    size_t GetCount() const { return m_items.size(); }
    // Puts the cursor on the first item; true when the plan is not empty.
    bool First();
    // The item under the cursor, advancing the cursor; nullptr after the last item.
    SSplitItem* Next();
    // True when the plan is one item whose range list names every page 1..nPageCount exactly once
    // in number (so the split is a copy of the whole file); then szOutputName is that item's output
    // file name, else it is empty.
    bool IsWholeDocument(int nPageCount, std::wstring& szOutputName) const;

private:
    std::vector<SSplitItem*> m_items;
    size_t m_nCursor = 0;
};
