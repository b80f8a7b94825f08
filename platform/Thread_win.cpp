// Thread and process identifiers from Windows.
#include "platform/Thread.h"

#include "platform/Windows_win.h"

namespace platform
{

uint32_t GetCurrentThreadId()
{
    return ::GetCurrentThreadId();
}

uint32_t GetCurrentProcessId()
{
    return ::GetCurrentProcessId();
}

} // namespace platform
