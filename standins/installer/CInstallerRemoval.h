// The removal that the installer program carries out: the command line, the product's uninstall
// entry, the removal command it names, and the entry's deletion.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

class CInstallerRemoval
{
public:
    // Exit codes, numbered as the Windows Installer numbers them.
    enum : int
    {
        kSuccess = 0,
        kUnknownProduct = 1605,
        kInstallFailure = 1603,
        kBadCommandLine = 1639,
    };

    // Reads the arguments after the program's name: "/x{code}" or "/x {code}", optional /qb, /qn,
    // /quiet, /passive, /norestart (options in any letter case). False with a message in szError for
    // anything else, a missing or repeated /x, or a product code that is not a braced GUID.
    bool ParseArguments(const std::vector<std::string>& arguments, std::string& szError);

    // Removes the product: runs the entry's RemovalCommand and, when it succeeded and left the entry
    // in place, deletes the entry. Progress goes to out with /qb, errors to err. Returns the exit code.
    int Remove(std::ostream& out, std::ostream& err);

    const std::string& ProductCode() const { return m_szProductCode; }
    bool ShowsProgress() const { return m_bProgress; }

    // True for "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" with hexadecimal digits.
    static bool IsProductCode(const std::string& szCode);

private:
    std::string m_szProductCode;
    bool m_bProgress = false;
};
