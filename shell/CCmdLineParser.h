// Splits the process's own command line into its arguments.
#pragma once

#include <string>
#include <vector>

class CCmdLineParser
{
public:
    // szCommandLine is kept for reference; Parse reads the arguments as the system gives them.
    explicit CCmdLineParser(const std::wstring& szCommandLine);
    virtual ~CCmdLineParser() = default;

    // Fills the argument list from the process's own command line (the first argument is the
    // program). False with "CommandLineToArgv failed" in szError when the system cannot give it.
    bool Parse(std::wstring& szError);

    const std::vector<std::wstring>& Arguments() const { return m_arguments; }
    const std::wstring& CommandLine() const { return m_szCommandLine; }

private:
    std::wstring m_szCommandLine;
    std::vector<std::wstring> m_arguments;
};
