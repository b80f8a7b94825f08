// The top-level fault filter on Windows: the process's unhandled-exception filter
// (SetUnhandledExceptionFilter), which the system calls on the faulting thread for an exception that
// no frame handled.
#include "platform/UnhandledExceptionFilter.h"

#include "platform/Windows_win.h"

#include <atomic>

namespace platform
{

namespace
{

std::atomic<PTopLevelExceptionFilter> g_pFilter{nullptr};
std::atomic<DWORD> g_nFilterThread{0}; // the thread that runs the filter

LONG WINAPI OnUnhandledException(EXCEPTION_POINTERS* pPointers)
{
    const DWORD nThread = ::GetCurrentThreadId();
    DWORD nExpected = 0;
    if (g_nFilterThread.compare_exchange_strong(nExpected, nThread))
    {
        if (PTopLevelExceptionFilter pFilter = g_pFilter.load())
        {
            SExceptionPointers pointers;
            if (pPointers != nullptr && pPointers->ExceptionRecord != nullptr)
            {
                pointers.nSignal = static_cast<int>(pPointers->ExceptionRecord->ExceptionCode);
                pointers.pSignalInfo = pPointers->ExceptionRecord;
                pointers.pContext = pPointers->ContextRecord;
            }
            pointers.nThreadId = nThread;
            pFilter(&pointers);
        }
    }
    else if (nExpected != nThread)
    {
        // Another thread runs the filter; the process ends when it has done so.
        for (;;)
        {
            ::Sleep(INFINITE);
        }
    }
    // A fault inside the filter comes here again on the same thread and goes straight on to the
    // default handling, which ends the process.
    return EXCEPTION_CONTINUE_SEARCH;
}

} // namespace

PTopLevelExceptionFilter SetUnhandledExceptionFilter(PTopLevelExceptionFilter pFilter)
{
    const PTopLevelExceptionFilter pPrevious = g_pFilter.exchange(pFilter);
    ::SetUnhandledExceptionFilter(pFilter != nullptr ? OnUnhandledException : nullptr);
    return pPrevious;
}

} // namespace platform
