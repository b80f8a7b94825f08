// Thread messages: posting between threads, the loop's quit and queue bounds. Portable: every
// backend passes these.
#include "platform/SysError.h"
#include "platform/Thread.h"
#include "platform/ThreadMessages.h"

#include <gtest/gtest.h>

#include <atomic>
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
