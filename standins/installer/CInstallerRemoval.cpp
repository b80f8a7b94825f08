// Removal of an installed product by its code.
#include "CInstallerRemoval.h"

#include "platform/FileSystem.h"
#include "platform/FileSystem_posix.h"
#include "platform/Process.h"
#include "platform/Registry.h"

#include <cctype>
#include <ostream>

namespace
{

const wchar_t* const kUninstallKey = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";

std::string Lower(std::string sz)
{
    for (char& ch : sz)
    {
        ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    }
    return sz;
}

} // namespace

bool CInstallerRemoval::IsProductCode(const std::string& szCode)
{
    static const char kPattern[] = "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}";
    if (szCode.size() != sizeof(kPattern) - 1)
    {
        return false;
    }
    for (size_t i = 0; i < szCode.size(); ++i)
    {
        const bool bOk = kPattern[i] == 'X' ? std::isxdigit(static_cast<unsigned char>(szCode[i])) != 0
                                            : szCode[i] == kPattern[i];
        if (!bOk)
        {
            return false;
        }
    }
    return true;
}

bool CInstallerRemoval::ParseArguments(const std::vector<std::string>& arguments, std::string& szError)
{
    bool bRemove = false;
    for (size_t i = 0; i < arguments.size(); ++i)
    {
        const std::string& szArg = arguments[i];
        const std::string szLower = Lower(szArg);
        if (szLower.size() >= 2 && (szLower[0] == '/' || szLower[0] == '-') && szLower[1] == 'x')
        {
            if (bRemove)
            {
                szError = "more than one /x option";
                return false;
            }
            bRemove = true;
            m_szProductCode = szArg.substr(2);
            if (m_szProductCode.empty() && i + 1 < arguments.size())
            {
                m_szProductCode = arguments[++i];
            }
            if (!IsProductCode(m_szProductCode))
            {
                szError = "not a product code: \"" + m_szProductCode + "\"";
                return false;
            }
        }
        else if (szLower == "/qb" || szLower == "/qb-" || szLower == "/passive")
        {
            m_bProgress = true;
        }
        else if (szLower == "/qn" || szLower == "/quiet")
        {
            m_bProgress = false;
        }
        else if (szLower == "/norestart")
        {
        }
        else
        {
            szError = "unknown option: \"" + szArg + "\"";
            return false;
        }
    }
    if (!bRemove)
    {
        szError = "no /x option: only the removal of a product is supported";
        return false;
    }
    return true;
}

int CInstallerRemoval::Remove(std::ostream& out, std::ostream& err)
{
    const std::wstring szCode = platform::WidePath(m_szProductCode);
    const std::wstring szEntry = std::wstring(kUninstallKey) + L"\\" + szCode;
    platform::CRegistryKey entry;
    if (entry.Open(platform::EHive::LocalMachine, szEntry, platform::kRegRead) != 0)
    {
        err << "msiexec: unknown product " << m_szProductCode << ": no uninstall entry" << std::endl;
        return kUnknownProduct;
    }
    std::wstring szName;
    std::wstring szCommand;
    entry.QueryString(L"DisplayName", szName);
    if (entry.QueryString(L"RemovalCommand", szCommand) != 0 || szCommand.empty())
    {
        err << "msiexec: the uninstall entry of " << m_szProductCode << " names no removal command"
            << std::endl;
        return kInstallFailure;
    }
    entry.Close();

    if (m_bProgress)
    {
        out << "Removing " << platform::NativePath(szName) << " " << m_szProductCode << std::endl;
        out << "Running " << platform::NativePath(szCommand) << std::endl;
    }
    platform::SProcessInfo info;
    uint32_t nExitCode = 0;
    if (!platform::CreateProcessFromCommandLine(szCommand, info))
    {
        err << "msiexec: the removal command could not be started: " << platform::NativePath(szCommand)
            << std::endl;
        return kInstallFailure;
    }
    if (!platform::WaitForProcess(info, nExitCode) || nExitCode != 0)
    {
        err << "msiexec: the removal command failed with exit code " << nExitCode << std::endl;
        return kInstallFailure;
    }

    // The removal command may have deleted the entry itself (a package's removal script does).
    platform::CRegistryKey uninstallKey;
    if (uninstallKey.Open(platform::EHive::LocalMachine, szEntry, platform::kRegRead) == 0)
    {
        uninstallKey.Close();
        if (m_bProgress)
        {
            out << "Removing the uninstall entry" << std::endl;
        }
        if (uninstallKey.Open(platform::EHive::LocalMachine, kUninstallKey, platform::kRegAllAccess) != 0 ||
            uninstallKey.DeleteSubKey(szCode) != 0)
        {
            err << "msiexec: the product was removed, but its uninstall entry could not be deleted"
                << std::endl;
            return kInstallFailure;
        }
    }
    if (m_bProgress)
    {
        out << "Removal complete" << std::endl;
    }
    return kSuccess;
}
