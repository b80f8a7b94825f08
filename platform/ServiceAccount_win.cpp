// The service account on Windows. The service control manager starts the service under its account,
// the local system account; the program never changes its own account, so the switch has nothing to
// do. The account check asks whether the process runs as the local system account, by the
// well-known identity of its token's user (not by the user name, which a system may translate).
#include "platform/ServiceAccount.h"

#include "platform/Windows_win.h"

#include <vector>

namespace platform
{

bool IsServiceAccountOrRoot()
{
    ::HANDLE hToken = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &hToken))
    {
        return false;
    }
    DWORD nSize = 0;
    ::GetTokenInformation(hToken, TokenUser, nullptr, 0, &nSize);
    std::vector<unsigned char> buffer(nSize == 0 ? 1 : nSize);
    bool bSystem = false;
    if (::GetTokenInformation(hToken, TokenUser, buffer.data(), nSize, &nSize))
    {
        const PSID pSid = reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid;
        bSystem = ::IsWellKnownSid(pSid, WinLocalSystemSid) != FALSE;
    }
    ::CloseHandle(hToken);
    return bSystem;
}

EAccountSwitch SwitchToServiceAccount(const std::wstring& szDataDirectory, std::wstring& szError)
{
    // The service already runs as the account the service manager gave it; a process started by a
    // user stays that user's. There is no objects folder to prepare either.
    (void)szDataDirectory;
    szError.clear();
    return EAccountSwitch::Kept;
}

} // namespace platform
