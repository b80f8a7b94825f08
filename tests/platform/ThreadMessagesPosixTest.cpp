// The quit signals of the Linux backend end the message loop.
#include "platform/Thread.h"
#include "platform/ThreadMessages.h"

#include <gtest/gtest.h>

#include <csignal>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <thread>

using namespace platform;

TEST(ThreadMessagesTest, QuitSignalEndsTheLoop)
{
    ASSERT_TRUE(InstallQuitRequestHandler());
    // Sent to the waiting thread itself: ThreadSanitizer's own background thread could take a signal
    // sent to the process and defer its handler for ever. (The service program gets kill() from
    // outside; its end-to-end tests cover that.)
    const pthread_t waiter = pthread_self();
    std::thread signaller([waiter]() { pthread_kill(waiter, SIGTERM); });
    SThreadMessage msg;
    EXPECT_EQ(GetThreadMessage(msg), 0);
    EXPECT_TRUE(QuitRequested());
    signaller.join();
    DestroyMessageQueue();
}

// The handle the shell watches (an eventfd here) is readable exactly while messages wait.
TEST(ThreadMessagesPosixTest, WaitHandleIsReadyExactlyWhileMessagesWait)
{
    CreateMessageQueue();
    const uint32_t nMain = GetCurrentThreadId();
    pollfd fd = {static_cast<int>(QueueWaitHandle()), POLLIN, 0};
    SThreadMessage msg;
    EXPECT_EQ(PeekThreadMessage(msg), -1);
    EXPECT_EQ(poll(&fd, 1, 0), 0);

    std::thread(
        [nMain]()
        {
            PostThreadMessage(nMain, 2026, 1, 0);
            PostThreadMessage(nMain, kWmClose, 2, 0);
        })
        .join();
    ASSERT_EQ(poll(&fd, 1, 1000), 1);
    ASSERT_EQ(PeekThreadMessage(msg), 1);
    EXPECT_EQ(msg.nMessage, 2026u);
    // One message is still queued: the handle must stay ready for it.
    EXPECT_EQ(poll(&fd, 1, 0), 1);
    ASSERT_EQ(PeekThreadMessage(msg), 1);
    EXPECT_EQ(msg.nMessage, uint32_t(kWmClose));
    EXPECT_EQ(PeekThreadMessage(msg), -1);
    EXPECT_EQ(poll(&fd, 1, 0), 0);

    PostQuitMessage(3);
    EXPECT_EQ(PeekThreadMessage(msg), 0);
    EXPECT_EQ(msg.wParam, 3u);
    DestroyMessageQueue();
}


