// Debugger output: OutputDebugStringW for an attached debugger, and the same text as one line on
// standard error (wide to a console, UTF-8 to a file or pipe), written by one call so that lines of
// concurrent threads never interleave inside a line.
#include "platform/DebugOutput.h"

#include "platform/Encoding.h"
#include "platform/Windows_win.h"

#include <string>

namespace platform
{

void OutputDebugText(const std::wstring& szText)
{
    const DWORD nKeep = ::GetLastError();
    std::wstring szLine(szText);
    while (!szLine.empty() && (szLine.back() == L'\n' || szLine.back() == L'\r'))
    {
        szLine.pop_back();
    }
    // One call, one line: inner line ends become blanks.
    for (wchar_t& ch : szLine)
    {
        if (ch == L'\n' || ch == L'\r' || ch == L'\0')
        {
            ch = L' ';
        }
    }
    szLine += L"\r\n";
    ::OutputDebugStringW(szLine.c_str());

    const HANDLE hError = ::GetStdHandle(STD_ERROR_HANDLE);
    if (hError != nullptr && hError != INVALID_HANDLE_VALUE)
    {
        DWORD nMode = 0;
        DWORD nWritten = 0;
        if (::GetConsoleMode(hError, &nMode))
        {
            ::WriteConsoleW(hError, szLine.data(), static_cast<DWORD>(szLine.size()), &nWritten, nullptr);
        }
        else
        {
            // An unpaired surrogate has no UTF-8 form: it becomes U+FFFD rather than losing the line.
            for (size_t i = 0; i < szLine.size(); ++i)
            {
                const uint32_t u = static_cast<uint32_t>(szLine[i]);
                const bool bHigh = u >= 0xD800 && u <= 0xDBFF;
                const bool bPaired =
                    bHigh && i + 1 < szLine.size() && szLine[i + 1] >= 0xDC00 && szLine[i + 1] <= 0xDFFF;
                if (bPaired)
                {
                    ++i;
                }
                else if (u >= 0xD800 && u <= 0xDFFF)
                {
                    szLine[i] = 0xFFFD;
                }
            }
            std::string szBytes;
            WideToMultiByte(kCodePageUtf8, szLine, szBytes);
            const char* p = szBytes.data();
            DWORD nLeft = static_cast<DWORD>(szBytes.size());
            while (nLeft > 0 && ::WriteFile(hError, p, nLeft, &nWritten, nullptr) && nWritten > 0)
            {
                p += nWritten;
                nLeft -= nWritten;
            }
        }
    }
    ::SetLastError(nKeep);
}

} // namespace platform
