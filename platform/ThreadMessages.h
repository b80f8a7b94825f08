// Thread messages: posting a message to a thread's queue and the loop that gets them, like
// PostThreadMessage and GetMessage for messages without a window.
//
// Where this differs from Windows:
//  - A thread has a queue only after it called CreateMessageQueue() (Windows creates one on the
//    thread's first message call); posting to a thread without a queue fails with 1444.
//  - A queue holds at most kMaxQueuedMessages; a post beyond that fails with 1816 (not enough quota),
//    as on Windows, so a loop that stops reading cannot make the poster grow memory without bound.
//  - InstallQuitSignals() lets SIGTERM and SIGINT end a thread's loop: GetThreadMessage then returns
//    0 as after a quit message with exit code 0. The handler only writes to an eventfd, which is safe
//    in a signal handler.
#pragma once

#include <cstddef>
#include <cstdint>

namespace platform
{

enum : uint32_t
{
    kWmNull = 0,
    kWmClose = 16,
    kWmQuit = 18,
    kWmUser = 0x400,
};

enum : uint32_t
{
    kErrorInvalidThreadId = 1444,
    kErrorNotEnoughQuota = 1816,
};

inline constexpr size_t kMaxQueuedMessages = 10000;

struct SThreadMessage
{
    uint32_t nMessage = 0;
    uintptr_t wParam = 0;
    intptr_t lParam = 0;
};

// Gives the calling thread a message queue (nothing when it has one). The queue lives until
// DestroyMessageQueue() on that thread or process end.
void CreateMessageQueue();
void DestroyMessageQueue();

// Appends a message to the queue of the thread with this system id (GetCurrentThreadId). Safe from
// any thread. False with the last error set: 1444 no such queue, 1816 queue full.
bool PostThreadMessage(uint32_t nThreadId, uint32_t nMessage, uintptr_t wParam, intptr_t lParam);

// Posts kWmQuit with the exit code to the calling thread's own queue.
void PostQuitMessage(int nExitCode);

// Waits for the next message of the calling thread's queue (created when missing). Returns 1 with
// the message, 0 for a quit message (msg.wParam holds its exit code) or a quit signal (exit code 0),
// -1 on failure.
int GetThreadMessage(SThreadMessage& msg);

// Makes SIGTERM and SIGINT end the message loop of the calling thread (see GetThreadMessage). The
// thread gets a queue if it had none. Returns false when the handlers could not be installed.
bool InstallQuitSignals();

// True once a quit signal arrived.
bool QuitSignalled();

} // namespace platform
