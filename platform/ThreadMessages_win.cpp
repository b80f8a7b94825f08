// Thread messages on Windows: the system's own thread message queues (PostThreadMessageW,
// GetMessageW, PeekMessageW).
//
// A thread's system queue exists once the thread has called PeekMessageW; CreateMessageQueue does
// that and also enters the thread in the layer's list of queues. The list gives each queue what the
// system does not: a count of the messages posted through this layer and not yet taken (so the bound
// kMaxQueuedMessages holds whatever the system's own limit is), the event that QueueWaitHandle
// returns (set by every post, cleared by PeekThreadMessage), and the end of a queue: the system keeps
// a thread's queue for the thread's life, so DestroyMessageQueue empties it and takes the thread off
// the list, after which posts fail with 1444 as for a thread without a queue.
//
// A quit request from outside is a console control event (Ctrl+C, Ctrl+Break, the console closing,
// log-off or shut-down). The handler, which the system runs on a thread of its own, marks the request,
// sets the queue's event and posts a wake-up to the thread that installed it.
#include "platform/ThreadMessages.h"

#include "platform/SysError.h"
#include "platform/Thread.h"
#include "platform/Windows_win.h"

#include <atomic>
#include <map>
#include <memory>
#include <mutex>

namespace platform
{

namespace
{

// The wake-up that the quit handler posts: a null message with a mark, never handed to the caller.
constexpr WPARAM kQuitWakeMark = 0x7A51u;

struct SQueue
{
    std::atomic<long> nQueued{0};
    ::HANDLE hReady = nullptr; // manual-reset event: set while messages may wait

    SQueue() : hReady(::CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}
    ~SQueue()
    {
        if (hReady != nullptr)
        {
            ::CloseHandle(hReady);
        }
    }
    SQueue(const SQueue&) = delete;
    SQueue& operator=(const SQueue&) = delete;
};

std::mutex& QueuesMutex()
{
    static auto* pMutex = new std::mutex();
    return *pMutex;
}

std::map<uint32_t, std::shared_ptr<SQueue>>& Queues()
{
    static auto* pQueues = new std::map<uint32_t, std::shared_ptr<SQueue>>(); // outlives static destruction
    return *pQueues;
}

std::shared_ptr<SQueue> FindQueue(uint32_t nThreadId)
{
    std::lock_guard<std::mutex> lock(QueuesMutex());
    auto it = Queues().find(nThreadId);
    return it == Queues().end() ? nullptr : it->second;
}

std::atomic<bool> g_bQuitRequested{false};
std::atomic<uint32_t> g_nQuitThread{0};

bool IsQuitWake(const MSG& msg)
{
    return msg.hwnd == nullptr && msg.message == WM_NULL && msg.wParam == kQuitWakeMark;
}

// True when the calling thread's loop ends for a quit request.
bool QuitPendingForCaller()
{
    return g_bQuitRequested.load() && g_nQuitThread.load() == ::GetCurrentThreadId();
}

// Hands a message taken from the system queue to the caller: a message for a window is dispatched to
// it (a box or window of this thread lives on), a thread message is counted off.
bool TakeThreadMessage(SQueue& queue, const MSG& msg, SThreadMessage& out)
{
    if (msg.hwnd != nullptr)
    {
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
        return false;
    }
    if (IsQuitWake(msg))
    {
        return false;
    }
    long nQueued = queue.nQueued.load();
    while (nQueued > 0 && !queue.nQueued.compare_exchange_weak(nQueued, nQueued - 1))
    {
    }
    out.nMessage = msg.message;
    out.wParam = static_cast<uintptr_t>(msg.wParam);
    out.lParam = static_cast<intptr_t>(msg.lParam);
    return true;
}

BOOL WINAPI OnConsoleControl(DWORD nEvent)
{
    g_bQuitRequested.store(true);
    const uint32_t nThread = g_nQuitThread.load();
    if (auto pQueue = FindQueue(nThread))
    {
        ::SetEvent(pQueue->hReady);
    }
    ::PostThreadMessageW(nThread, WM_NULL, kQuitWakeMark, 0);
    if (nEvent == CTRL_CLOSE_EVENT || nEvent == CTRL_LOGOFF_EVENT || nEvent == CTRL_SHUTDOWN_EVENT)
    {
        // The system ends the process when the handler returns: give the loop's thread the time it
        // has to finish (the process exits from main meanwhile).
        ::Sleep(5000);
    }
    return TRUE;
}

} // namespace

void CreateMessageQueue()
{
    MSG msg;
    // The system makes the thread's queue on its first message call.
    ::PeekMessageW(&msg, nullptr, WM_USER, WM_USER, PM_NOREMOVE);
    std::lock_guard<std::mutex> lock(QueuesMutex());
    auto& pQueue = Queues()[::GetCurrentThreadId()];
    if (!pQueue)
    {
        pQueue = std::make_shared<SQueue>();
    }
}

void DestroyMessageQueue()
{
    std::shared_ptr<SQueue> pQueue;
    {
        std::lock_guard<std::mutex> lock(QueuesMutex());
        auto it = Queues().find(::GetCurrentThreadId());
        if (it == Queues().end())
        {
            return;
        }
        pQueue = it->second;
        Queues().erase(it);
    }
    // What is left of the thread messages goes with the queue; window messages are still delivered.
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
    {
        if (msg.hwnd != nullptr)
        {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
    }
}

bool PostThreadMessage(uint32_t nThreadId, uint32_t nMessage, uintptr_t wParam, intptr_t lParam)
{
    std::shared_ptr<SQueue> pQueue = FindQueue(nThreadId);
    if (!pQueue)
    {
        SetLastError(kErrorInvalidThreadId);
        return false;
    }
    if (pQueue->nQueued.fetch_add(1) >= static_cast<long>(kMaxQueuedMessages))
    {
        pQueue->nQueued.fetch_sub(1);
        SetLastError(kErrorNotEnoughQuota);
        return false;
    }
    if (!::PostThreadMessageW(nThreadId, nMessage, static_cast<WPARAM>(wParam), static_cast<LPARAM>(lParam)))
    {
        const DWORD nError = ::GetLastError();
        pQueue->nQueued.fetch_sub(1);
        SetLastError(nError);
        return false;
    }
    ::SetEvent(pQueue->hReady);
    return true;
}

void PostQuitMessage(int nExitCode)
{
    CreateMessageQueue();
    PostThreadMessage(::GetCurrentThreadId(), kWmQuit, static_cast<uintptr_t>(nExitCode), 0);
}

int GetThreadMessage(SThreadMessage& msg)
{
    CreateMessageQueue();
    std::shared_ptr<SQueue> pQueue = FindQueue(::GetCurrentThreadId());
    if (!pQueue)
    {
        SetLastError(kErrorInvalidThreadId);
        return -1;
    }
    for (;;)
    {
        if (QuitPendingForCaller())
        {
            msg = SThreadMessage{kWmQuit, 0, 0};
            return 0;
        }
        MSG native{};
        const BOOL nResult = ::GetMessageW(&native, nullptr, 0, 0);
        if (nResult == -1)
        {
            SetLastError(::GetLastError());
            return -1;
        }
        if (TakeThreadMessage(*pQueue, native, msg))
        {
            return msg.nMessage == kWmQuit ? 0 : 1;
        }
    }
}

int PeekThreadMessage(SThreadMessage& msg)
{
    CreateMessageQueue();
    std::shared_ptr<SQueue> pQueue = FindQueue(::GetCurrentThreadId());
    if (!pQueue)
    {
        return -1;
    }
    ::ResetEvent(pQueue->hReady);
    if (QuitPendingForCaller())
    {
        msg = SThreadMessage{kWmQuit, 0, 0};
        return 0;
    }
    MSG native{};
    while (::PeekMessageW(&native, nullptr, 0, 0, PM_REMOVE))
    {
        if (TakeThreadMessage(*pQueue, native, msg))
        {
            if (::PeekMessageW(&native, nullptr, 0, 0, PM_NOREMOVE))
            {
                ::SetEvent(pQueue->hReady); // the handle stays ready for the rest
            }
            return msg.nMessage == kWmQuit ? 0 : 1;
        }
    }
    return -1;
}

intptr_t QueueWaitHandle()
{
    CreateMessageQueue();
    std::shared_ptr<SQueue> pQueue = FindQueue(::GetCurrentThreadId());
    return pQueue ? reinterpret_cast<intptr_t>(pQueue->hReady) : -1;
}

bool InstallQuitRequestHandler()
{
    CreateMessageQueue();
    g_nQuitThread.store(::GetCurrentThreadId());
    if (!::SetConsoleCtrlHandler(OnConsoleControl, TRUE))
    {
        SetLastError(::GetLastError());
        return false;
    }
    return true;
}

bool QuitRequested()
{
    return g_bQuitRequested.load();
}

} // namespace platform
