// The quit signals of the Linux backend end the message loop.
#include "platform/ThreadMessages.h"

#include <gtest/gtest.h>

#include <csignal>
#include <pthread.h>
#include <signal.h>
#include <thread>

using namespace platform;

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
