// The control-file parser on arbitrary bytes: parse, then look up every known field pair. The
// map must never hold more fields than the file has lines.
#include "engine/CFileParser.h"
#include "platform/FileSystem.h"
#include "tests/fuzz/FuzzScratch.h"

#include <algorithm>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize)
{
    static const std::string s_szPath = fuzz::ScratchPath("fuzz_control_file", ".txt");
    if (!fuzz::WriteScratch(s_szPath, pData, nSize))
        return 0;
    FieldMap fields;
    CFileParser parser(fields, platform::WidePath(s_szPath));
    std::wstring szMessage;
    parser.Parse(szMessage);
    const size_t nLines = static_cast<size_t>(std::count(pData, pData + nSize, '\n')) + 1;
    if (fields.size() > nLines)
        std::abort();
    for (int nId = kFieldRespondEmail; nId <= kFieldSX; nId += 2)
        LookupField(fields, nId, nId + 1);
    return 0;
}
