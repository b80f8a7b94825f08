// Thread and process identifiers from the kernel.
#include "platform/Thread.h"

#include <sys/syscall.h>
#include <unistd.h>

namespace platform
{

uint32_t GetCurrentThreadId()
{
    thread_local const uint32_t t_nId = static_cast<uint32_t>(::gettid());
    return t_nId;
}

uint32_t GetCurrentProcessId()
{
    return static_cast<uint32_t>(::getpid());
}

} // namespace platform
