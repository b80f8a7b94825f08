// Debugger output stand-in: one line per call on standard error, written by a single write so that
// lines of concurrent threads and processes never interleave inside a line.
#include "platform/DebugOutput.h"

#include "platform/FileSystem.h"
#include "platform/FileSystem_posix.h"

#include <cerrno>
#include <unistd.h>

namespace platform
{

void OutputDebugText(const std::wstring& szText)
{
    std::wstring szLine(szText);
    while (!szLine.empty() && (szLine.back() == L'\n' || szLine.back() == L'\r'))
    {
        szLine.pop_back();
    }
    // One call, one line: inner line ends become blanks.
    for (wchar_t& ch : szLine)
    {
        if (ch == L'\n' || ch == L'\r')
        {
            ch = L' ';
        }
    }
    std::string szBytes = NativePath(szLine);
    szBytes.push_back('\n');
    const char* p = szBytes.data();
    size_t nLeft = szBytes.size();
    while (nLeft > 0)
    {
        const ssize_t n = ::write(STDERR_FILENO, p, nLeft);
        if (n < 0 && errno == EINTR)
        {
            continue;
        }
        if (n <= 0)
        {
            break;
        }
        p += n;
        nLeft -= static_cast<size_t>(n);
    }
}

} // namespace platform
