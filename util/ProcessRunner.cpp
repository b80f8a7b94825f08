// Starting an external program and waiting for it to end.
#include "util/ProcessRunner.h"

#include "log/ErrorCodes.h"
#include "platform/FileSystem.h"
#include "platform/Process.h"
#include "platform/SysError.h"

namespace
{

const wchar_t* const kEmptyCommand = L"Empty path passed as parameter for running an external process.";
const wchar_t* const kWaitFailed = L"Wait for process failed. ";

const std::wstring kInstallerName =
    std::wstring(platform::kPathSeparatorText) + L"msiexec" + platform::kProgramSuffix;

// The system's installer program names can hold blanks only on Windows; quote them there as the
// command line's first token.
std::wstring QuoteProgram(const std::wstring& szPath)
{
    if (szPath.find_first_of(L" \t") == std::wstring::npos)
    {
        return szPath;
    }
    return L"\"" + szPath + L"\"";
}

} // namespace

bool RunProcessAndWait(const std::wstring& szCommandLine, std::wstring& szError)
{
    if (szCommandLine.empty())
    {
        szError = kEmptyCommand;
        return false;
    }
    bool bResult = false;
    platform::SProcessInfo info;
    if (!platform::CreateProcessFromCommandLine(szCommandLine, info))
    {
        szError += SystemErrorText(platform::GetLastError()) + L" " + szCommandLine;
    }
    else
    {
        uint32_t nExitCode = 0;
        bResult = platform::WaitForProcess(info, nExitCode);
        if (!bResult)
        {
            szError += kWaitFailed + szCommandLine;
        }
    }
    if (!bResult && szError.empty())
    {
        szError += kWaitFailed + szCommandLine;
    }
    return bResult;
}

std::wstring WindowsInstallerPath()
{
    std::wstring szFolder;
    if (!platform::GetSystemFolder(szFolder) || szFolder.empty())
    {
        return std::wstring();
    }
    return szFolder + kInstallerName;
}

bool RunWindowsInstaller(const std::wstring& szArguments)
{
    const std::wstring szProgram = WindowsInstallerPath();
    if (szProgram.empty())
    {
        return false;
    }
    std::wstring szError;
    return RunProcessAndWait(QuoteProgram(szProgram) + L" " + szArguments, szError);
}
