// The service account on Linux: the account's ids from the user database, and the switch from root.
#include "platform/ServiceAccount.h"

#include "platform/FileSystem.h"
#include "platform/FileSystem_posix.h"
#include "platform/KernelObjects_posix.h"
#include "platform/ServiceAccount_posix.h"

#include <cerrno>
#include <cstring>
#include <grp.h>
#include <pwd.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace platform
{

namespace
{

std::wstring Reason(const char* szWhat, int nErrno)
{
    return WidePath(std::string(szWhat) + ": " + std::strerror(nErrno));
}

} // namespace

bool ServiceAccountIds(uid_t& nUid, gid_t& nGid)
{
    std::vector<char> buf(16384);
    struct passwd pw
    {
    };
    struct passwd* pResult = nullptr;
    if (::getpwnam_r(kServiceAccountName, &pw, buf.data(), buf.size(), &pResult) != 0 || pResult == nullptr)
    {
        return false;
    }
    nUid = pw.pw_uid;
    nGid = pw.pw_gid;
    // The account's group is the group of that name; a user without it keeps its primary group.
    std::vector<char> gbuf(16384);
    struct group gr
    {
    };
    struct group* pGroup = nullptr;
    if (::getgrnam_r(kServiceAccountName, &gr, gbuf.data(), gbuf.size(), &pGroup) == 0 && pGroup != nullptr)
    {
        nGid = gr.gr_gid;
    }
    return true;
}

bool IsServiceGroupMember(uid_t nUid)
{
    uid_t nServiceUid = 0;
    gid_t nServiceGid = 0;
    if (!ServiceAccountIds(nServiceUid, nServiceGid))
    {
        return false;
    }
    std::vector<char> buf(16384);
    struct passwd pw
    {
    };
    struct passwd* pResult = nullptr;
    if (::getpwuid_r(nUid, &pw, buf.data(), buf.size(), &pResult) != 0 || pResult == nullptr)
    {
        return false;
    }
    if (pw.pw_gid == nServiceGid)
    {
        return true;
    }
    int nCount = 64;
    std::vector<gid_t> groups(static_cast<size_t>(nCount));
    if (::getgrouplist(pw.pw_name, pw.pw_gid, groups.data(), &nCount) < 0)
    {
        groups.resize(static_cast<size_t>(nCount));
        if (::getgrouplist(pw.pw_name, pw.pw_gid, groups.data(), &nCount) < 0)
        {
            return false;
        }
    }
    groups.resize(static_cast<size_t>(nCount));
    for (gid_t g : groups)
    {
        if (g == nServiceGid)
        {
            return true;
        }
    }
    return false;
}

bool IsServiceAccountOrRoot()
{
    const uid_t nEuid = ::geteuid();
    if (nEuid == 0)
    {
        return true;
    }
    uid_t nUid = 0;
    gid_t nGid = 0;
    return ServiceAccountIds(nUid, nGid) && nUid == nEuid;
}

EAccountSwitch SwitchToServiceAccount(const std::wstring& szDataDirectory, std::wstring& szError)
{
    szError.clear();
    if (::geteuid() != 0)
    {
        return EAccountSwitch::Kept;
    }
    uid_t nUid = 0;
    gid_t nGid = 0;
    if (!ServiceAccountIds(nUid, nGid) || nUid == 0)
    {
        return EAccountSwitch::Kept;
    }
    // The folder decides: the build tree (root's) keeps root, the installed data folder is the account's.
    std::string szData = NativePath(szDataDirectory);
    while (szData.size() > 1 && szData.back() == '/')
    {
        szData.pop_back();
    }
    struct stat st
    {
    };
    if (::lstat(szData.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != nUid)
    {
        return EAccountSwitch::Kept;
    }
    PrepareRunDirectory(nUid, nGid);

    if (::initgroups(kServiceAccountName, nGid) != 0)
    {
        szError = Reason("initgroups", errno);
        return EAccountSwitch::Failed;
    }
    if (::setgid(nGid) != 0)
    {
        szError = Reason("setgid", errno);
        return EAccountSwitch::Failed;
    }
    if (::setuid(nUid) != 0)
    {
        szError = Reason("setuid", errno);
        return EAccountSwitch::Failed;
    }
    // Irrevocable: every id is the account's and root cannot be had back.
    uid_t r = 0, e = 0, s = 0;
    gid_t rg = 0, eg = 0, sg = 0;
    if (::getresuid(&r, &e, &s) != 0 || r != nUid || e != nUid || s != nUid ||
        ::getresgid(&rg, &eg, &sg) != 0 || rg != nGid || eg != nGid || sg != nGid)
    {
        szError = L"the account's ids did not all take";
        return EAccountSwitch::Failed;
    }
    if (::setuid(0) == 0 || ::seteuid(0) == 0)
    {
        szError = L"root could be regained after the switch";
        return EAccountSwitch::Failed;
    }
    return EAccountSwitch::Switched;
}

} // namespace platform
