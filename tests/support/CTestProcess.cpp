// Child processes of tests: the parts that read the output and run a program to its end, common to
// every system.
#include "tests/support/CTestProcess.h"

#include "tests/support/CTempDir.h"

#include <chrono>

CTestProcess::~CTestProcess()
{
    if (Running())
    {
        Kill();
        Wait();
    }
    CloseOutput();
}

bool CTestProcess::ReadLine(int nTimeoutMs, std::string& szLine)
{
    const auto tEnd = std::chrono::steady_clock::now() + std::chrono::milliseconds(nTimeoutMs);
    for (;;)
    {
        const size_t nEnd = m_szPending.find('\n');
        if (nEnd != std::string::npos)
        {
            szLine = m_szPending.substr(0, nEnd > 0 && m_szPending[nEnd - 1] == '\r' ? nEnd - 1 : nEnd);
            m_szPending.erase(0, nEnd + 1);
            return true;
        }
        const auto nLeft =
            std::chrono::duration_cast<std::chrono::milliseconds>(tEnd - std::chrono::steady_clock::now())
                .count();
        if (nLeft <= 0 || !ReadSome(static_cast<int>(nLeft)))
            return false;
    }
}

std::string CTestProcess::ReadAll()
{
    while (ReadSome(-1))
    {
    }
    std::string szOut;
    szOut.swap(m_szPending);
    return szOut;
}

void CTestProcess::Kill()
{
    Signal(kKillSignal);
}

int CTestProcess::Run(const std::vector<std::string>& args, const SOptions& options)
{
    CTestProcess process;
    return process.Start(args, options) ? process.Wait() : -1;
}

std::string CTestProcess::Output(const std::vector<std::string>& args, int* pnResult)
{
    CTestProcess process;
    SOptions options;
    options.m_bPipeOutput = true;
    options.m_bQuietErrors = true;
    std::string szOut;
    int nResult = -1;
    if (process.Start(args, options))
    {
        szOut = process.ReadAll();
        nResult = process.Wait();
    }
    if (pnResult)
        *pnResult = nResult;
    return szOut;
}
