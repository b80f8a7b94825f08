// Thread messages: posting a message to a thread's queue and the loop that gets them, like
// PostThreadMessage and GetMessage for messages without a window.
//
// Where this differs from Windows:
//  - A thread has a queue only after it called CreateMessageQueue() (Windows creates one on the
//    thread's first message call); posting to a thread without a queue fails with 1444.
//  - A queue holds at most kMaxQueuedMessages; a post beyond that fails with 1816 (not enough quota),
//    as on Windows, so a loop that stops reading cannot make the poster grow memory without bound.
//  - A quit request from outside the process (InstallQuitRequestHandler) ends a thread's loop:
//    GetThreadMessage then returns 0 as after a quit message with exit code 0. On Linux the request
//    is SIGTERM or SIGINT.
//  - A thread whose loop is another toolkit's (the desktop shell's) watches QueueWaitHandle() and
//    takes the messages with PeekThreadMessage when it is ready.
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

// Takes the next message of the calling thread's queue without waiting: 1 with the message, 0 for a
// quit message or a quit request (as GetThreadMessage), -1 when there is none. Clears the readiness of
// QueueWaitHandle() first, so that a message posted later makes the handle ready again.
int PeekThreadMessage(SThreadMessage& msg);

// A handle that is ready whenever the calling thread's queue holds a message or a quit request
// arrived (the queue is created when missing). Valid until DestroyMessageQueue(); owned by the queue.
// On Linux it is a file descriptor that polls readable (an eventfd); on Windows it would be an event.
intptr_t QueueWaitHandle();

// Makes a request from outside the process to end it (on Linux SIGTERM or SIGINT) end the message loop
// of the calling thread (see GetThreadMessage). The thread gets a queue if it had none. Call it first
// in main, so that no such request is lost or kills the process during start-up. Returns false when
// the request could not be hooked.
bool InstallQuitRequestHandler();

// True once a quit request arrived.
bool QuitRequested();

} // namespace platform
