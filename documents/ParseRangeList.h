// Reading of page range lists such as "1,3-5".
#pragma once

#include <cstddef>
#include <string>
#include <vector>

// Upper bound of the pages one range list expands to; a list such as "1-2000000000" stops there
// instead of exhausting memory.
inline constexpr size_t kMaxRangeListPages = 1000000;

// The page numbers of a comma-separated list of pages ("7") and ranges ("4-6"), in the order met,
// duplicates kept. Tokens are trimmed; empty tokens, ranges whose end is below their start and
// tokens with more than one "-" between numbers add nothing; "2-" and "-2" add page 2. Numbers are
// read like wcstol (text without a number reads as 0). At most kMaxRangeListPages entries.
std::vector<int> ParseRangeList(const std::wstring& szText);
