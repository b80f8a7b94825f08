// Argument list of the running process.
#include "shell/CCmdLineParser.h"

#include "platform/Process.h"

CCmdLineParser::CCmdLineParser(const std::wstring& szCommandLine) : m_szCommandLine(szCommandLine) {}

bool CCmdLineParser::Parse(std::wstring& szError)
{
    if (!platform::GetOwnArguments(m_arguments))
    {
        m_arguments.clear();
        szError = L"CommandLineToArgv failed";
        return false;
    }
    return true;
}
