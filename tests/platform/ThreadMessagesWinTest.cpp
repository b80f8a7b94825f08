// The Windows backend's thread messages: the queue's wait handle is an event, set exactly while
// messages wait; the messages travel through the system's own thread queue.
#include "platform/Thread.h"
#include "platform/ThreadMessages.h"
#include "platform/Windows_win.h"

#include <gtest/gtest.h>

#include <thread>

TEST(ThreadMessagesWinTest, WaitHandleIsAnEventSetExactlyWhileMessagesWait)
{
    platform::CreateMessageQueue();
    const uint32_t nMain = platform::GetCurrentThreadId();
    const auto hReady = reinterpret_cast<::HANDLE>(platform::QueueWaitHandle());
    platform::SThreadMessage msg;
    EXPECT_EQ(platform::PeekThreadMessage(msg), -1);
    EXPECT_EQ(::WaitForSingleObject(hReady, 0), static_cast<DWORD>(WAIT_TIMEOUT));

    std::thread(
        [nMain]()
        {
            platform::PostThreadMessage(nMain, 2026, 1, 0);
            platform::PostThreadMessage(nMain, platform::kWmClose, 2, 0);
        })
        .join();
    ASSERT_EQ(::WaitForSingleObject(hReady, 1000), static_cast<DWORD>(WAIT_OBJECT_0));
    // The system's queue holds them: a look without the layer sees the first.
    MSG native{};
    ASSERT_TRUE(::PeekMessageW(&native, nullptr, 0, 0, PM_NOREMOVE));
    EXPECT_EQ(native.message, 2026u);
    ASSERT_EQ(platform::PeekThreadMessage(msg), 1);
    EXPECT_EQ(msg.nMessage, 2026u);
    EXPECT_EQ(::WaitForSingleObject(hReady, 0), static_cast<DWORD>(WAIT_OBJECT_0)) << "one is still queued";
    ASSERT_EQ(platform::PeekThreadMessage(msg), 1);
    EXPECT_EQ(msg.nMessage, uint32_t(platform::kWmClose));
    EXPECT_EQ(platform::PeekThreadMessage(msg), -1);
    EXPECT_EQ(::WaitForSingleObject(hReady, 0), static_cast<DWORD>(WAIT_TIMEOUT));

    platform::PostQuitMessage(3);
    EXPECT_EQ(platform::PeekThreadMessage(msg), 0);
    EXPECT_EQ(msg.wParam, 3u);
    platform::DestroyMessageQueue();
}
