// msiexec: removes an installed product: msiexec /x{product code} [/qb] [/norestart].
#include "CInstallerRemoval.h"

#include <iostream>

int main(int argc, char** argv)
{
    std::vector<std::string> arguments(argv + 1, argv + argc);
    CInstallerRemoval removal;
    std::string szError;
    if (!removal.ParseArguments(arguments, szError))
    {
        std::cerr << "msiexec: " << szError << "\nusage: msiexec /x{product code} [/qb] [/norestart]"
                  << std::endl;
        return CInstallerRemoval::kBadCommandLine;
    }
    return removal.Remove(std::cout, std::cerr);
}
