// The switch from root to the service account, made by a static initialiser of the service program
// before any other of its static objects but the crash dump handler: the engine loads the settings
// when it is built, and root must never have touched the data folder by then.
//
// Initialisation order: the quit-request hook from the executable's pre-initialisation array (before
// any library's constructors), then by GCC init priority, lowest first: 101 the crash dump handler
// (log/), 102 this switch, then every static object without a priority (the engine of main.cpp).
//
// One start keeps root: the uninstall switch with an uninstall entry to run, since removing the
// package needs root. Its settings load opens the data folder's files without following links, so
// the group's files cannot turn it against others.
#include "platform/Process.h"
#include "platform/ServiceAccount.h"
#include "shell/CUninstall.h"
#include "util/ProgramPaths.h"
#include "util/utf8_conversion.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace
{

struct SServiceAccountSwitch
{
    SServiceAccountSwitch()
    {
        std::vector<std::wstring> arguments;
        if (platform::GetOwnArguments(arguments) && CUninstall::HasUninstallSwitch(arguments) &&
            !CUninstall().FindUninstallCommand().empty())
            return;
        std::wstring szError;
        if (platform::SwitchToServiceAccount(DataDirectory(), szError) != platform::EAccountSwitch::Failed)
            return;
        // Going on as root would act on files that members of the service group may write.
        std::fprintf(stderr, "tarvik: cannot give up root for the service account '%s' (%s); not started.\n",
                     platform::kServiceAccountName, utf8_conversion::Encode(szError).c_str());
        std::_Exit(1);
    }
};

__attribute__((init_priority(102))) SServiceAccountSwitch g_switch;

} // namespace
