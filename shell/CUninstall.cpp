// The uninstall procedure.
#include "shell/CUninstall.h"

#include "platform/Process.h"
#include "platform/Registry.h"
#include "shell/CCmdLineParser.h"
#include "shell/IUninstall.h"
#include "util/ProcessRunner.h"

#include "platform/Encoding.h"

namespace
{

const wchar_t* const kLogViewerProcess = L"LogVista.exe";
const wchar_t* const kProgramProcess = L"tarvik.exe";
constexpr uint32_t kOtherInstanceWaitMs = 20000;
const wchar_t* const kUninstallKey = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
const wchar_t* const kProductName = L"Tarvik";
// The installer's program name and the blank after it, as the installer writes the command.
constexpr size_t kInstallerNameLength = 12;

} // namespace

bool CUninstall::IsUninstallSwitch(const std::wstring& szArgument)
{
    const wchar_t* const kTrimmed = L"-/\" ";
    const size_t nFirst = szArgument.find_first_not_of(kTrimmed);
    return nFirst != std::wstring::npos && szArgument[nFirst] == L'x';
}

bool CUninstall::HasUninstallSwitch(const std::vector<std::wstring>& arguments)
{
    for (size_t i = 1; i < arguments.size(); ++i)
    {
        if (IsUninstallSwitch(arguments[i]))
        {
            return true;
        }
    }
    return false;
}

std::wstring CUninstall::InstallerArguments(const std::wstring& szUninstallCommand)
{
    // Nothing is left to run unless something follows the installer's name.
    if (szUninstallCommand.size() <= kInstallerNameLength)
    {
        return std::wstring();
    }
    std::wstring szCommand = szUninstallCommand;
    const size_t nInstall = szCommand.find(L"/I");
    if (nInstall != std::wstring::npos)
    {
        szCommand.replace(nInstall, 2, L"/x");
    }
    szCommand += L" /qb /norestart";
    return szCommand.substr(kInstallerNameLength);
}

std::wstring CUninstall::FindUninstallCommand()
{
    platform::CRegistryKey uninstallKey;
    if (uninstallKey.Open(platform::EHive::LocalMachine, kUninstallKey, platform::kRegRead) != 0)
    {
        return std::wstring();
    }
    std::vector<std::wstring> subKeys;
    if (uninstallKey.EnumSubKeys(subKeys) != 0)
    {
        return std::wstring();
    }
    for (const std::wstring& szSubKey : subKeys)
    {
        if (szSubKey.size() > 4096)
        {
            continue;
        }
        platform::CRegistryKey productKey;
        if (productKey.Open(platform::EHive::LocalMachine, std::wstring(kUninstallKey) + L"\\" + szSubKey,
                            platform::kRegRead) != 0)
        {
            continue;
        }
        std::wstring szName;
        if (productKey.QueryString(L"DisplayName", szName) != 0 ||
            !platform::EqualsNoCase(szName, kProductName))
        {
            continue;
        }
        std::wstring szCommand;
        if (productKey.QueryString(L"UninstallString", szCommand) == 0)
        {
            return szCommand;
        }
    }
    return std::wstring();
}

bool CUninstall::RunFromCommandLine(const std::wstring& szCommandLine, IUninstall* pCallback)
{
    CCmdLineParser parser(szCommandLine);
    std::wstring szError;
    if (!parser.Parse(szError) || !HasUninstallSwitch(parser.Arguments()))
    {
        return false;
    }

    if (pCallback != nullptr)
    {
        pCallback->PrepareUninstall();
    }

    if (const int nViewer = platform::FindProcessByName(kLogViewerProcess))
    {
        platform::TerminateProcessById(nViewer);
    }

    // The other instance was asked to quit; it gets a bounded time to do so.
    if (const int nOther = platform::FindProcessByName(kProgramProcess))
    {
        if (platform::WaitForProcessEnd(nOther, kOtherInstanceWaitMs) != platform::EProcessWait::Ended)
        {
            platform::TerminateProcessById(nOther);
        }
    }

    const std::wstring szArguments = InstallerArguments(FindUninstallCommand());
    if (szArguments.empty())
    {
        return false;
    }
    return RunWindowsInstaller(szArguments);
}
