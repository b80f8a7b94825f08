// Removal of the product when the program is started with the uninstall switch: the application
// deregisters itself, the log viewer and any other running copy of the program are ended, and the
// product's uninstall command is run as a silent installer removal.
#pragma once

#include <string>
#include <vector>

class IUninstall;

class CUninstall
{
public:
    virtual ~CUninstall() = default;

    // Runs the uninstall when the process's arguments hold the switch. True when the installer was
    // run and has ended (the caller then ends the process); false when there is no switch, no usable
    // uninstall command, or the installer could not be run (the caller starts normally). pCallback
    // is not owned. Main thread, before any window exists; blocks while the other instance ends (at
    // most 20 seconds) and while the installer runs.
    bool RunFromCommandLine(const std::wstring& szCommandLine, IUninstall* pCallback);

    // The product's uninstall command from the system's uninstall entries (the entry whose
    // DisplayName is "Tarvik" in any letter case); empty when there is none.
    std::wstring FindUninstallCommand();

    // True when an argument is the uninstall switch: after dashes, slashes, double quotes and blanks
    // are trimmed from both ends, its first character is a lower-case x.
    static bool IsUninstallSwitch(const std::wstring& szArgument);
    // True when any argument after the first (the program) is the uninstall switch.
    static bool HasUninstallSwitch(const std::vector<std::wstring>& arguments);
    // The installer's arguments for a silent removal made from an uninstall command ("MsiExec.exe
    // /I{code}" gives "/x{code} /qb /norestart"). Empty when the command is too short to hold the
    // installer's name and an argument.
    static std::wstring InstallerArguments(const std::wstring& szUninstallCommand);
};
