// Linux side of the registry stand-in: where a hive's tree of files lies. For the *_posix.cpp files
// of this layer (and the tests of its Linux mechanisms) only.
#pragma once

#include "platform/Registry.h"

#include <string>

namespace platform
{

// The directory that holds a hive's keys (TARVIK_REGISTRY_DIR, else /etc/tarvik/registry or
// ~/.config/tarvik/registry, followed by the hive's name).
std::string RegistryHiveDirectory(EHive eHive);

} // namespace platform
