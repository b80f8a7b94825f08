// Linux side of the named kernel objects: they are files in one directory. For the *_posix.cpp files
// of this layer (and the tests of its Linux mechanisms) only.
#pragma once

#include <string>
#include <sys/types.h>

namespace platform
{

// The directory that holds the named objects, in this order: TARVIK_OBJECTS_DIR (made when missing);
// the unit's RUNTIME_DIRECTORY; /run/tarvik when it is a real directory owned by root or the service
// account, of the service group, not writable by others (root makes it when missing); the user's own
// $XDG_RUNTIME_DIR/tarvik (0700). Empty with the last error set when none of them serves.
std::string NamedObjectsDirectory();

// Makes /run/tarvik (0770, nUid:nGid; 0700 when nGid is 0) when it is missing and no other folder
// is chosen by the environment. True when it exists as a directory afterwards. Needs root.
bool PrepareRunDirectory(uid_t nUid, gid_t nGid);

} // namespace platform
