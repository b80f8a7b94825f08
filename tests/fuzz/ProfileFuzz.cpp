// The INI functions on an arbitrary file: read a few keys (names taken from the input as well as
// the settings' own), write a key, and read it back: what was written must read back unchanged, and
// every other key must read as before.
#include "platform/FileSystem.h"
#include "platform/Profile.h"
#include "tests/fuzz/FuzzScratch.h"

#include <cstdlib>

namespace
{

// A name of up to eight printable ASCII characters from the input, without the characters that
// INI syntax gives a meaning.
std::wstring NameFrom(const uint8_t* pData, size_t nSize, size_t nAt)
{
    std::wstring sz;
    for (size_t i = nAt; i < nSize && sz.size() < 8; ++i)
    {
        const uint8_t c = pData[i];
        if (c > ' ' && c < 0x7F && c != '[' && c != ']' && c != '=' && c != ';' && c != '"' && c != '\'')
            sz += static_cast<wchar_t>(c);
    }
    return sz.empty() ? std::wstring(L"Key") : sz;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize)
{
    static const std::string s_szPath = fuzz::ScratchPath("fuzz_profile", ".ini");
    if (!fuzz::WriteScratch(s_szPath, pData, nSize))
        return 0;
    const std::wstring szPath = platform::WidePath(s_szPath);
    const std::wstring szSection = NameFrom(pData, nSize, 0);
    const std::wstring szKey = NameFrom(pData, nSize, nSize / 2);

    const std::wstring szOther = platform::GetPrivateProfileString(L"General", L"TxtInDir", L"-", szPath);
    platform::GetPrivateProfileInt(L"General", L"AttemptTimeout", 5, szPath);
    platform::GetPrivateProfileString(szSection, szKey, L"", szPath, 16);

    const std::wstring szValue = L"v" + NameFrom(pData, nSize, nSize / 3);
    if (!platform::WritePrivateProfileString(szSection, szKey, szValue, szPath))
        return 0;
    if (platform::GetPrivateProfileString(szSection, szKey, L"", szPath) != szValue)
        std::abort();
    if ((szSection != L"General" || szKey != L"TxtInDir") &&
        platform::GetPrivateProfileString(L"General", L"TxtInDir", L"-", szPath) != szOther)
        std::abort();
    return 0;
}
