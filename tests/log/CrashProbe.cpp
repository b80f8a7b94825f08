// A program that links the crash dump handler and dies on request:
//   crash_probe null [<epoch ms>]  writes through a null pointer (at the given time, if any)
//   crash_probe abort              calls abort() (on Windows not a fault: the run-time library ends the
//                                  process with exit code 3 and no exception)
//   crash_probe illegal            executes an illegal instruction
//   crash_probe wait               prints "ready" and waits to be killed
// A second thread waits in a system call the whole time, so the dump has more than one thread.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

#ifdef _WIN32
#include "platform/Windows_win.h"
#endif

namespace
{

// Read at run time, so the compiler cannot see the null pointer.
int* volatile g_pNull = nullptr;

__attribute__((noinline)) void CrashProbeNullWrite()
{
    *g_pNull = 42;
}

__attribute__((noinline)) void CrashProbeAbort()
{
    std::abort();
}

__attribute__((noinline)) void CrashProbeIllegal()
{
    __builtin_trap();
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2)
    {
        std::fprintf(stderr, "usage: crash_probe null [epoch-ms] | abort | illegal | wait\n");
        return 2;
    }
#ifdef _WIN32
    // A fault ends the probe without the system's error report window.
    ::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
#endif
    std::thread(
        []
        {
            for (;;)
                std::this_thread::sleep_for(std::chrono::hours(24));
        })
        .detach();
    if (std::strcmp(argv[1], "null") == 0)
    {
        if (argc > 2)
        {
            const auto when =
                std::chrono::system_clock::time_point(std::chrono::milliseconds(std::atoll(argv[2])));
            std::this_thread::sleep_until(when);
        }
        CrashProbeNullWrite();
    }
    else if (std::strcmp(argv[1], "abort") == 0)
    {
        CrashProbeAbort();
    }
    else if (std::strcmp(argv[1], "illegal") == 0)
    {
        CrashProbeIllegal();
    }
    else if (std::strcmp(argv[1], "wait") == 0)
    {
        std::printf("ready\n");
        std::fflush(stdout);
        for (;;)
            std::this_thread::sleep_for(std::chrono::hours(24));
    }
    return 2;
}
