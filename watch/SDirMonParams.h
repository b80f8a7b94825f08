// The settings the directory monitor's file-list half works with.
#pragma once

#include <cstdint>
#include <string>

struct SDirMonParams
{
    std::wstring m_szDirectory; // the watched directory
    std::wstring m_szMasks;     // file masks separated by any of ',', ';', LF and TAB
    bool m_bSubfolders = true;  // list subfolders (100 levels) or the directory alone
    int32_t m_nReserved = 5;    // kept, not used by the monitor
    int32_t m_nMaxFiles = -1;   // listing is skipped while this many records are held; below 1: no limit
    int32_t m_nValidationTimeout = 1; // seconds
    int32_t m_nCheckInterval = 500;   // milliseconds
};
