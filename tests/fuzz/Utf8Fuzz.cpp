// The UTF-8 conversions on arbitrary bytes: the log file's facet (whole texts and the stream's
// chunked calls with small buffers, which must agree), the code-page conversion, whose valid UTF-8
// must convert back to the same bytes, and native paths, which must round-trip every byte string.
#include "platform/Encoding.h"
#include "platform/FileSystem.h"
#include "platform/FileSystem_posix.h"
#include "util/utf8_conversion.h"

#include <cstdlib>
#include <cwchar>

namespace
{

// Decodes the bytes through the facet's in() with a small output buffer, as a stream does.
std::wstring DecodeInChunks(const utf8_conversion& facet, const std::string& szBytes)
{
    std::wstring szText;
    std::mbstate_t state{};
    const char* pFrom = szBytes.data();
    const char* pEnd = szBytes.data() + szBytes.size();
    wchar_t buffer[3];
    while (pFrom < pEnd)
    {
        const char* pNext = pFrom;
        wchar_t* pTo = buffer;
        const auto result = facet.in(state, pFrom, pEnd, pNext, buffer, buffer + 3, pTo);
        szText.append(buffer, pTo);
        if (result == std::codecvt_base::error || (pNext == pFrom && pTo == buffer))
            break; // no progress: an incomplete sequence at the end
        pFrom = pNext;
    }
    return szText;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize)
{
    const std::string szBytes(reinterpret_cast<const char*>(pData), nSize);
    const utf8_conversion facet(1);

    const std::wstring szDecoded = utf8_conversion::Decode(szBytes);
    if (DecodeInChunks(facet, szBytes) != szDecoded)
        std::abort();
    std::mbstate_t state{};
    facet.length(state, szBytes.data(), szBytes.data() + szBytes.size(), nSize);
    // The facet writes 16-bit units; what it decoded encodes again without fault.
    std::wstring szUnits = szDecoded;
    for (wchar_t& c : szUnits)
        c &= 0xFFFF;
    utf8_conversion::Encode(szUnits);

    std::wstring szWide;
    if (platform::MultiByteToWide(platform::kCodePageUtf8, szBytes, szWide))
    {
        std::string szBack;
        if (!platform::WideToMultiByte(platform::kCodePageUtf8, szWide, szBack) || szBack != szBytes)
            std::abort();
    }
    if (platform::NativePath(platform::WidePath(szBytes)) != szBytes)
        std::abort();
    return 0;
}
