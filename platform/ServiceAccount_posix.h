// Linux side of the service account, for the *_posix.cpp files of this layer only.
#pragma once

#include <sys/types.h>

namespace platform
{

// The service account's user and group ids; false when the account does not exist.
bool ServiceAccountIds(uid_t& nUid, gid_t& nGid);

// True when the user nUid has the service group as its primary or as a supplementary group.
bool IsServiceGroupMember(uid_t nUid);

} // namespace platform
