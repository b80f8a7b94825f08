// Usage and version texts of tarvik.
#include "shell/CInfoSwitches.h"

#include "platform/Process.h"

#include <cstdlib>

#ifndef TARVIK_VERSION
#define TARVIK_VERSION "(version not set by the build)"
#endif

const char* const CInfoSwitches::kVersion = "tarvik " TARVIK_VERSION "\n";

const char* const CInfoSwitches::kUsage =
    "Usage: tarvik [-autostart] [-x] [--help] [--version]\n"
    "The documents monitoring service of the Veltrane virtual printer. With a display and the tray\n"
    "module installed it shows a tray icon with its settings form; otherwise it runs as a service\n"
    "until SIGTERM or SIGINT. Settings: tarvik.ini; log: tarvik.log.\n"
    "\n"
    "  -autostart   an unattended start: a second start is refused without a message\n"
    "  -x           remove the product (any argument that starts with a lower-case x once dashes,\n"
    "               slashes, quotes and blanks are trimmed)\n"
    "  --help       print this text and exit\n"
    "  --version    print the version and exit\n"
    "Other arguments are ignored.\n"
    "\n"
    "Environment:\n"
    "  TARVIK_HEADLESS=1      run as a service even with a display; message boxes answer at once\n"
    "  TARVIK_OBJECTS_DIR     folder of the machine-wide named objects\n"
    "  TARVIK_REGISTRY_DIR    folder of the registry stand-in\n"
    "  TARVIK_LIBRARY_PATH    further folders for the PDF library\n"
    "  TARVIK_SYSTEM_DIR      folder of the installer program msiexec (default /usr/sbin)\n";

std::string CInfoSwitches::TextFor(const std::vector<std::wstring>& args)
{
    for (size_t i = 1; i < args.size(); ++i)
    {
        if (args[i] == L"--help")
            return kUsage;
        if (args[i] == L"--version")
            return kVersion;
    }
    return {};
}

bool CInfoSwitches::HandleOwnArguments()
{
    std::vector<std::wstring> args;
    if (!platform::GetOwnArguments(args))
        return false;
    const std::string szText = TextFor(args);
    if (szText.empty())
        return false;
    std::fputs(szText.c_str(), stdout);
    std::fflush(stdout);
    std::_Exit(0); // nothing of the service has run, so nothing is to be saved or released
}
