// The top-level fault filter on Linux: signal handlers on an alternate stack.
#include "platform/UnhandledExceptionFilter.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <sys/syscall.h>
#include <unistd.h>

namespace platform
{

namespace
{

const int kSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT};

std::atomic<PTopLevelExceptionFilter> g_pFilter{nullptr};
std::atomic<long> g_nFilterThread{0}; // the thread that runs the filter
alignas(16) char g_alternateStack[128 * 1024];

void OnFaultSignal(int nSignal, siginfo_t* pInfo, void* pContext)
{
    const int nSavedErrno = errno;
    // From here on the signal's default action applies: to a fault inside the filter, and to the
    // signal when it comes again below.
    struct sigaction action;
    std::memset(&action, 0, sizeof(action));
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    ::sigaction(nSignal, &action, nullptr);

    const long nTid = ::syscall(SYS_gettid);
    long nExpected = 0;
    if (g_nFilterThread.compare_exchange_strong(nExpected, nTid))
    {
        if (PTopLevelExceptionFilter pFilter = g_pFilter.load())
        {
            SExceptionPointers pointers;
            pointers.nSignal = nSignal;
            pointers.nThreadId = static_cast<uint32_t>(nTid);
            pointers.pSignalInfo = pInfo;
            pointers.pContext = pContext;
            pFilter(&pointers);
        }
    }
    else if (nExpected != nTid)
    {
        // Another thread runs the filter; the process ends when it has done so.
        for (;;)
        {
            ::pause();
        }
    }
    // A fault of the program recurs when the handler returns; a signal sent by a process (kill, abort)
    // is sent once more to this thread and delivered on return.
    if (pInfo == nullptr || pInfo->si_code <= 0)
    {
        ::syscall(SYS_tgkill, ::getpid(), nTid, nSignal);
    }
    errno = nSavedErrno;
}

} // namespace

PTopLevelExceptionFilter SetUnhandledExceptionFilter(PTopLevelExceptionFilter pFilter)
{
    const PTopLevelExceptionFilter pPrevious = g_pFilter.exchange(pFilter);
    struct sigaction action;
    std::memset(&action, 0, sizeof(action));
    sigemptyset(&action.sa_mask);
    if (pFilter == nullptr)
    {
        action.sa_handler = SIG_DFL;
    }
    else
    {
        stack_t stack;
        std::memset(&stack, 0, sizeof(stack));
        stack.ss_sp = g_alternateStack;
        stack.ss_size = sizeof(g_alternateStack);
        ::sigaltstack(&stack, nullptr);
        action.sa_sigaction = OnFaultSignal;
        action.sa_flags = SA_SIGINFO | SA_ONSTACK;
    }
    for (int nSignal : kSignals)
    {
        ::sigaction(nSignal, &action, nullptr);
    }
    return pPrevious;
}

} // namespace platform
