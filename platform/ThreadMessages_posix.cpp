// Thread message queues: a mutex-guarded deque per thread plus an eventfd that the waiting thread
// sleeps on (or that another event loop watches), so that both other threads and a signal handler
// can wake it. A quit request is SIGTERM or SIGINT.
#include "platform/ThreadMessages.h"

#include "platform/SysError.h"
#include "platform/Thread.h"
#include "platform/SysError_posix.h"

#include <poll.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <deque>
#include <map>
#include <memory>
#include <mutex>

namespace platform
{

namespace
{

struct SQueue
{
    std::mutex mutex;
    std::deque<SThreadMessage> messages;
    int nEvent = -1;

    SQueue() : nEvent(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}
    ~SQueue()
    {
        if (nEvent >= 0)
            close(nEvent);
    }
    void Wake()
    {
        uint64_t nOne = 1;
        ssize_t nWritten = write(nEvent, &nOne, sizeof(nOne));
        (void)nWritten;
    }
};

std::mutex& RegistryMutex()
{
    static std::mutex mutex;
    return mutex;
}

std::map<uint32_t, std::shared_ptr<SQueue>>& Registry()
{
    static auto* pRegistry = new std::map<uint32_t, std::shared_ptr<SQueue>>; // outlives static destruction
    return *pRegistry;
}

std::shared_ptr<SQueue> FindQueue(uint32_t nThreadId)
{
    std::lock_guard<std::mutex> lock(RegistryMutex());
    auto it = Registry().find(nThreadId);
    return it == Registry().end() ? nullptr : it->second;
}

volatile sig_atomic_t g_bQuitSignalled = 0;
std::atomic<int> g_nSignalEvent{-1};

void OnQuitSignal(int)
{
    int nSavedErrno = errno;
    g_bQuitSignalled = 1;
    int nEvent = g_nSignalEvent.load();
    if (nEvent >= 0)
    {
        uint64_t nOne = 1;
        ssize_t nWritten = write(nEvent, &nOne, sizeof(nOne));
        (void)nWritten;
    }
    errno = nSavedErrno;
}

} // namespace

void CreateMessageQueue()
{
    std::lock_guard<std::mutex> lock(RegistryMutex());
    auto& pQueue = Registry()[GetCurrentThreadId()];
    if (!pQueue)
        pQueue = std::make_shared<SQueue>();
}

void DestroyMessageQueue()
{
    std::shared_ptr<SQueue> pQueue;
    {
        std::lock_guard<std::mutex> lock(RegistryMutex());
        auto it = Registry().find(GetCurrentThreadId());
        if (it == Registry().end())
            return;
        pQueue = it->second;
        Registry().erase(it);
    }
    int nEvent = pQueue->nEvent;
    g_nSignalEvent.compare_exchange_strong(nEvent, -1);
}

bool PostThreadMessage(uint32_t nThreadId, uint32_t nMessage, uintptr_t wParam, intptr_t lParam)
{
    std::shared_ptr<SQueue> pQueue = FindQueue(nThreadId);
    if (!pQueue)
    {
        SetLastError(kErrorInvalidThreadId);
        return false;
    }
    {
        std::lock_guard<std::mutex> lock(pQueue->mutex);
        if (pQueue->messages.size() >= kMaxQueuedMessages)
        {
            SetLastError(kErrorNotEnoughQuota);
            return false;
        }
        pQueue->messages.push_back(SThreadMessage{nMessage, wParam, lParam});
    }
    pQueue->Wake();
    return true;
}

void PostQuitMessage(int nExitCode)
{
    CreateMessageQueue();
    PostThreadMessage(GetCurrentThreadId(), kWmQuit, static_cast<uintptr_t>(nExitCode), 0);
}

int GetThreadMessage(SThreadMessage& msg)
{
    CreateMessageQueue();
    std::shared_ptr<SQueue> pQueue = FindQueue(GetCurrentThreadId());
    if (!pQueue || pQueue->nEvent < 0)
        return -1;
    for (;;)
    {
        bool bSignalQueue = g_nSignalEvent.load() == pQueue->nEvent;
        if (bSignalQueue && g_bQuitSignalled)
        {
            msg = SThreadMessage{kWmQuit, 0, 0};
            return 0;
        }
        {
            std::lock_guard<std::mutex> lock(pQueue->mutex);
            if (!pQueue->messages.empty())
            {
                msg = pQueue->messages.front();
                pQueue->messages.pop_front();
                return msg.nMessage == kWmQuit ? 0 : 1;
            }
        }
        pollfd fd = {pQueue->nEvent, POLLIN, 0};
        int nReady = poll(&fd, 1, -1);
        if (nReady < 0 && errno != EINTR)
        {
            SetLastErrorFromErrno();
            return -1;
        }
        uint64_t nCount = 0;
        ssize_t nRead = read(pQueue->nEvent, &nCount, sizeof(nCount)); // drains the wake-ups
        (void)nRead;
    }
}

int PeekThreadMessage(SThreadMessage& msg)
{
    CreateMessageQueue();
    std::shared_ptr<SQueue> pQueue = FindQueue(GetCurrentThreadId());
    if (!pQueue || pQueue->nEvent < 0)
        return -1;
    uint64_t nCount = 0;
    ssize_t nRead = read(pQueue->nEvent, &nCount, sizeof(nCount)); // non-blocking; drains the wake-ups
    (void)nRead;
    if (g_nSignalEvent.load() == pQueue->nEvent && g_bQuitSignalled)
    {
        msg = SThreadMessage{kWmQuit, 0, 0};
        return 0;
    }
    std::lock_guard<std::mutex> lock(pQueue->mutex);
    if (pQueue->messages.empty())
        return -1;
    msg = pQueue->messages.front();
    pQueue->messages.pop_front();
    if (!pQueue->messages.empty())
        pQueue->Wake(); // the handle stays ready for the rest
    return msg.nMessage == kWmQuit ? 0 : 1;
}

intptr_t QueueWaitHandle()
{
    CreateMessageQueue();
    std::shared_ptr<SQueue> pQueue = FindQueue(GetCurrentThreadId());
    return pQueue ? pQueue->nEvent : -1;
}

bool InstallQuitRequestHandler()
{
    CreateMessageQueue();
    std::shared_ptr<SQueue> pQueue = FindQueue(GetCurrentThreadId());
    g_nSignalEvent.store(pQueue->nEvent);
    struct sigaction action = {};
    action.sa_handler = OnQuitSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    return sigaction(SIGTERM, &action, nullptr) == 0 && sigaction(SIGINT, &action, nullptr) == 0;
}

bool QuitRequested()
{
    return g_bQuitSignalled != 0;
}

} // namespace platform
