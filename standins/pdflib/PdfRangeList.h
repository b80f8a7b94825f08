// The library's reading of page range lists for page extraction.
#pragma once

#include <string>
#include <vector>

// Pages of a list such as "3,1,4-6" for a document of nPageCount pages, in order; "6-4" counts
// down; blanks around numbers are allowed. False for an empty list, a token that is not a page or
// a range of two pages, or a page outside 1..nPageCount.
bool ReadExtractRangeList(const std::string& szList, int nPageCount, std::vector<int>& pages);
