// The check that a PDF file was written to its end.
#pragma once

#include <cstddef>

// True when the bytes end like a complete PDF revision: "startxref", an offset inside the file
// and "%%EOF", with only white space between them and after. A file that a producer is still
// writing lacks this tail (or, with incremental updates, has more after an earlier one).
bool HasCompleteTrailer(const char* pData, size_t nSize);
