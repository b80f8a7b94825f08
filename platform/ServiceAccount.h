// The service account: the system user and group "tarvik" that the installed service runs as.
//
// Started by root (an administrator by hand, or a start that follows an uninstall), the program gives
// root up for the service account before it touches any file of its data folder, so that root never
// acts on files that members of the group can write. Where this differs from Windows:
//  - Windows runs the service as the local system account and the service control manager picks the
//    account; there is nothing to switch to, and the account check asks for the system account.
//  - On Linux the switch is initgroups/setgid/setuid, checked to be irrevocable (root cannot be had
//    back); the account check accepts the service account and root.
#pragma once

#include <string>

namespace platform
{

// The name of the service account and of its group (one place for the whole program).
inline constexpr const char* kServiceAccountName = "tarvik";

// True when the process runs as the service account or as root (the accounts a service runs as).
bool IsServiceAccountOrRoot();

enum class EAccountSwitch
{
    Kept,     // not root, no service account, or the data folder is not the account's: nothing changed
    Switched, // the process now runs as the service account, for good
    Failed,   // the switch was due but did not complete; szError says why
};

// Run as root: when the service account exists and owns the folder szDataDirectory (not a link),
// makes the named-objects folder /run/tarvik when it is missing (0770, the account and its group;
// skipped when TARVIK_OBJECTS_DIR or RUNTIME_DIRECTORY choose another), then takes the account's
// groups, group and user, and checks that root cannot be regained. Any other process: Kept.
// Call it while the process has one thread.
EAccountSwitch SwitchToServiceAccount(const std::wstring& szDataDirectory, std::wstring& szError);

} // namespace platform
