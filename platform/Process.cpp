// Splitting of a Windows-style command line, by the rules of CommandLineToArgvW.
#include "platform/Process.h"

namespace platform
{

std::vector<std::wstring> SplitCommandLine(const std::wstring& szCommandLine)
{
    std::vector<std::wstring> args;
    const size_t n = szCommandLine.size();
    size_t i = 0;
    auto isBlank = [](wchar_t ch) { return ch == L' ' || ch == L'\t'; };
    while (i < n && isBlank(szCommandLine[i]))
    {
        ++i;
    }
    if (i >= n)
    {
        return args;
    }
    // The program name: quotes only group, backslashes are plain characters.
    std::wstring szProgram;
    if (szCommandLine[i] == L'"')
    {
        ++i;
        while (i < n && szCommandLine[i] != L'"')
        {
            szProgram.push_back(szCommandLine[i++]);
        }
        if (i < n)
        {
            ++i;
        }
    }
    else
    {
        while (i < n && !isBlank(szCommandLine[i]))
        {
            szProgram.push_back(szCommandLine[i++]);
        }
    }
    args.push_back(std::move(szProgram));
    while (i < n && isBlank(szCommandLine[i]))
    {
        ++i;
    }

    // The arguments: 2k backslashes before a quote give k backslashes and the quote toggles grouping;
    // 2k+1 give k backslashes and a literal quote; inside a group, a doubled quote is a literal quote.
    std::wstring szArg;
    bool bInArg = false;
    int nQuotes = 0; // 1 inside a quoted group
    size_t nBackslashes = 0;
    while (i < n)
    {
        const wchar_t ch = szCommandLine[i];
        if (isBlank(ch) && nQuotes == 0)
        {
            args.push_back(std::move(szArg));
            szArg.clear();
            bInArg = false;
            nBackslashes = 0;
            while (i < n && isBlank(szCommandLine[i]))
            {
                ++i;
            }
            continue;
        }
        bInArg = true;
        if (ch == L'\\')
        {
            szArg.push_back(ch);
            ++nBackslashes;
            ++i;
        }
        else if (ch == L'"')
        {
            if (nBackslashes % 2 == 0)
            {
                szArg.resize(szArg.size() - nBackslashes / 2);
                ++nQuotes;
            }
            else
            {
                szArg.resize(szArg.size() - nBackslashes / 2 - 1);
                szArg.push_back(L'"');
            }
            ++i;
            nBackslashes = 0;
            while (i < n && szCommandLine[i] == L'"')
            {
                if (++nQuotes == 3)
                {
                    szArg.push_back(L'"');
                    nQuotes = 0;
                }
                ++i;
            }
            if (nQuotes == 2)
            {
                nQuotes = 0;
            }
        }
        else
        {
            szArg.push_back(ch);
            nBackslashes = 0;
            ++i;
        }
    }
    if (bInArg)
    {
        args.push_back(std::move(szArg));
    }
    return args;
}

} // namespace platform
