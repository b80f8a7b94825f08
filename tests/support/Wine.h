// Where Wine differs from Windows. A suite that checks such a point skips it under Wine only, and
// says so in one line:
//
//     TARVIK_SKIP_UNDER_WINE("ReadDirectoryChangesW reports no rename pair");
#pragma once

#include <gtest/gtest.h>

// True when this program is a Windows program running under Wine (ntdll exports wine_get_version);
// false on Windows itself and in a Linux build. Any thread.
bool RunningUnderWine();

#define TARVIK_SKIP_UNDER_WINE(reason)                                                            \
    do                                                                                            \
    {                                                                                             \
        if (RunningUnderWine())                                                                   \
        {                                                                                         \
            GTEST_SKIP() << "skipped under Wine, which differs from Windows here: " << (reason);   \
        }                                                                                         \
    } while (false)
