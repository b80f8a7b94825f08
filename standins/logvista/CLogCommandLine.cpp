// The viewer's command line.
#include "standins/logvista/CLogCommandLine.h"

#include <strings.h>

namespace
{

bool IsSwitch(const std::string& szArg, const char* szName)
{
    return szArg.size() > 1 && (szArg[0] == '/' || szArg[0] == '-') &&
           ::strcasecmp(szArg.c_str() + 1, szName) == 0;
}

std::string Join(const std::vector<std::string>& args, size_t nFirst, size_t nEnd)
{
    std::string szJoined;
    for (size_t i = nFirst; i < nEnd; ++i)
    {
        if (i > nFirst)
            szJoined += ' ';
        szJoined += args[i];
    }
    return szJoined;
}

} // namespace

bool CLogCommandLine::Parse(const std::vector<std::string>& args)
{
    size_t nPath = args.size();
    for (size_t i = 0; i < args.size(); ++i)
    {
        if (IsSwitch(args[i], "path"))
        {
            nPath = i;
            break;
        }
    }
    if (nPath == args.size())
    {
        m_szPath = Join(args, 0, args.size());
        return !m_szPath.empty();
    }

    // The last "/language" ends the path, so that a path holding that word still works.
    size_t nLanguage = args.size();
    for (size_t i = args.size(); i > nPath + 1; --i)
    {
        if (IsSwitch(args[i - 1], "language"))
        {
            nLanguage = i - 1;
            break;
        }
    }
    m_szPath = Join(args, nPath + 1, nLanguage);
    if (nLanguage + 1 < args.size())
        m_szLanguage = Join(args, nLanguage + 1, args.size());
    return !m_szPath.empty();
}
