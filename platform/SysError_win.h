// Windows side of the last error. The layer's last error IS the Windows last error of the thread
// (GetLastError), so a backend file lets a failing Win32 call set it and returns. For the *_win.cpp
// files of this layer only.
#pragma once

#include "platform/SysError.h"

#include <cstdint>

namespace platform
{

// Keeps the calling thread's last error across clean-up calls (CloseHandle, FindClose, ...) that
// may change it: the error of the failure is read at construction and set again at destruction.
class CKeepLastError
{
public:
    CKeepLastError();
    ~CKeepLastError();
    CKeepLastError(const CKeepLastError&) = delete;
    CKeepLastError& operator=(const CKeepLastError&) = delete;

private:
    uint32_t m_nError;
};

// Sets the last error from a status that a Win32 function returned instead of setting it (the
// registry functions' LSTATUS, WSAGetLastError, ...) and returns false, for "return FailWith(n);".
bool FailWith(uint32_t nError);

} // namespace platform
