// Where Wine differs from Windows. A suite that checks such a point skips it under Wine only, and
// says so in one line:
//
//     TARVIK_SKIP_UNDER_WINE("ReadDirectoryChangesW reports no rename pair");
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

// True when this program is a Windows program running under Wine (ntdll exports wine_get_version);
// false on Windows itself and in a Linux build. Any thread.
bool RunningUnderWine();

// The path as a program of the host system sees it: under Wine the Unix path that Wine maps it to
// (for a Linux program started from a test), elsewhere the path itself. Empty when Wine cannot map
// it.
std::string HostPath(const std::filesystem::path& path);

#define TARVIK_SKIP_UNDER_WINE(reason)                                                                       \
    do                                                                                                       \
    {                                                                                                        \
        if (RunningUnderWine())                                                                              \
        {                                                                                                    \
            GTEST_SKIP() << "skipped under Wine, which differs from Windows here: " << (reason);             \
        }                                                                                                    \
    } while (false)
