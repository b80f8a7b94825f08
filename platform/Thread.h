// Thread and process identity.
#pragma once

#include <cstdint>

namespace platform
{

// The calling thread's system identifier (the kernel thread id), 32 bits as on Windows.
uint32_t GetCurrentThreadId();
uint32_t GetCurrentProcessId();

} // namespace platform
