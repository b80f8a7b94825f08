// File, text and waiting helpers of the tests.
#include "tests/support/TestFiles.h"

#include "platform/FileSystem.h"
#include "tests/support/CTestProcess.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <thread>

namespace tests
{

std::string ReadFile(const std::filesystem::path& path)
{
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

bool WriteFile(const std::filesystem::path& path, std::string_view szBytes)
{
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(szBytes.data(), static_cast<std::streamsize>(szBytes.size()));
    file.close();
    return !file.fail();
}

bool PathExists(const std::filesystem::path& path)
{
    std::error_code error;
    return std::filesystem::exists(std::filesystem::symlink_status(path, error));
}

std::vector<std::string> ListDirectory(const std::filesystem::path& path)
{
    std::vector<std::string> names;
    std::error_code error;
    for (auto it = std::filesystem::directory_iterator(path, error);
         !error && it != std::filesystem::directory_iterator(); it.increment(error))
        names.push_back(it->path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

std::string Utf16Le(std::wstring_view szText)
{
    std::string szBytes;
    auto put = [&szBytes](unsigned nUnit)
    {
        szBytes.push_back(static_cast<char>(nUnit & 0xFF));
        szBytes.push_back(static_cast<char>((nUnit >> 8) & 0xFF));
    };
    for (wchar_t ch : szText)
    {
        const auto nCode = static_cast<unsigned long>(ch);
        if (nCode > 0xFFFF)
        {
            put(0xD800 + static_cast<unsigned>((nCode - 0x10000) >> 10));
            put(0xDC00 + static_cast<unsigned>((nCode - 0x10000) & 0x3FF));
        }
        else
            put(static_cast<unsigned>(nCode));
    }
    return szBytes;
}

std::string Utf16Ini(std::wstring_view szText)
{
    return "\xFF\xFE" + Utf16Le(szText);
}

std::string Utf16Ini(std::string_view szAscii)
{
    std::wstring szWide;
    for (char ch : szAscii)
        szWide.push_back(static_cast<wchar_t>(static_cast<unsigned char>(ch)));
    return Utf16Ini(std::wstring_view(szWide));
}

bool WriteUtf16Ini(const std::filesystem::path& path, std::wstring_view szText)
{
    return WriteFile(path, Utf16Ini(szText));
}

std::vector<std::wstring> Utf16Lines(const std::string& szBytes)
{
    std::wstring szText;
    for (size_t i = 2; i + 1 < szBytes.size(); i += 2)
        szText.push_back(static_cast<wchar_t>(static_cast<unsigned char>(szBytes[i]) |
                                              (static_cast<unsigned char>(szBytes[i + 1]) << 8)));
    std::vector<std::wstring> lines;
    size_t nStart = 0;
    while (nStart <= szText.size())
    {
        const size_t nEnd = szText.find(L"\r\n", nStart);
        std::wstring szLine = szText.substr(nStart, nEnd == std::wstring::npos ? nEnd : nEnd - nStart);
        if (!szLine.empty())
            lines.push_back(szLine);
        if (nEnd == std::wstring::npos)
            break;
        nStart = nEnd + 2;
    }
    return lines;
}

std::wstring SystemPath(std::wstring szPath)
{
    std::replace(szPath.begin(), szPath.end(), L'/', platform::kPathSeparator);
    return szPath;
}

bool WaitUntil(const std::function<bool()>& ready, std::chrono::steady_clock::duration timeout)
{
    const auto tEnd = std::chrono::steady_clock::now() + timeout;
    while (!ready())
    {
        if (std::chrono::steady_clock::now() > tEnd)
            return ready();
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

bool MakeOnePagePdf(const std::filesystem::path& path, const std::string& szText)
{
    return CTestProcess::Run(
               {"gs", "-q", "-dNOPAUSE", "-dBATCH", "-sDEVICE=pdfwrite", "-o", path.string(), "-c",
                "/Helvetica findfont 20 scalefont setfont 72 700 moveto (" + szText + ") show showpage"}) ==
           0;
}

} // namespace tests
