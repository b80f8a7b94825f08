// Thread messages: posting between threads, the loop's quit, queue bounds, and the quit signal.
#include "platform/SysError.h"
#include "platform/Thread.h"
#include "platform/ThreadMessages.h"

#include <gtest/gtest.h>

#include <atomic>
#include <csignal>
#include <pthread.h>
#include <signal.h>
#include <thread>

using namespace platform;

TEST(ThreadMessagesTest, MessagesFromAnotherThreadArriveInOrderThenQuit)
{
    CreateMessageQueue();
    const uint32_t nMain = GetCurrentThreadId();
    std::thread poster(
        [nMain]()
        {
            for (uint32_t i = 0; i < 100; ++i)
                EXPECT_TRUE(PostThreadMessage(nMain, 2026, i, 0));
            EXPECT_TRUE(PostThreadMessage(nMain, kWmClose, 0, 0));
        });
    SThreadMessage msg;
    for (uint32_t i = 0; i < 100; ++i)
    {
        ASSERT_EQ(GetThreadMessage(msg), 1);
        EXPECT_EQ(msg.nMessage, 2026u);
        EXPECT_EQ(msg.wParam, i);
    }
    ASSERT_EQ(GetThreadMessage(msg), 1);
    EXPECT_EQ(msg.nMessage, kWmClose);
    poster.join();
    PostQuitMessage(3);
    EXPECT_EQ(GetThreadMessage(msg), 0);
    EXPECT_EQ(msg.wParam, 3u);
    DestroyMessageQueue();
}

TEST(ThreadMessagesTest, PostingFailsWithoutQueueAndWhenFull)
{
    uint32_t nOther = 0;
    std::thread([&nOther]() { nOther = GetCurrentThreadId(); }).join();
    EXPECT_FALSE(PostThreadMessage(nOther, 2026, 0, 0));
    EXPECT_EQ(GetLastError(), kErrorInvalidThreadId);

    CreateMessageQueue();
    const uint32_t nMain = GetCurrentThreadId();
    for (size_t i = 0; i < kMaxQueuedMessages; ++i)
        ASSERT_TRUE(PostThreadMessage(nMain, 2026, 0, 0));
    EXPECT_FALSE(PostThreadMessage(nMain, 2026, 0, 0));
    EXPECT_EQ(GetLastError(), kErrorNotEnoughQuota);
    DestroyMessageQueue();
}

TEST(ThreadMessagesTest, QuitSignalEndsTheLoop)
{
    ASSERT_TRUE(InstallQuitSignals());
    // Sent to the waiting thread itself: ThreadSanitizer's own background thread could take a signal
    // sent to the process and defer its handler for ever. (The service program gets kill() from
    // outside; its end-to-end tests cover that.)
    const pthread_t waiter = pthread_self();
    std::thread signaller([waiter]() { pthread_kill(waiter, SIGTERM); });
    SThreadMessage msg;
    EXPECT_EQ(GetThreadMessage(msg), 0);
    EXPECT_TRUE(QuitSignalled());
    signaller.join();
    DestroyMessageQueue();
}
