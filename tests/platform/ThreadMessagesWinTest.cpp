// The Windows backend's thread messages: the queue's wait handle is an event, set exactly while
// messages wait; the messages travel through the system's own thread queue; a console's Ctrl+Break
// is the quit request.
#include "platform/Thread.h"
#include "platform/ThreadMessages.h"
#include "platform/Windows_win.h"
#include "tests/support/CTempDir.h"
#include "tests/support/TestFiles.h"
#include "tests/support/Wine.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

using namespace std::chrono_literals;

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

// A console's Ctrl+Break is a quit request: it ends the message loop of the thread that hooked it.
TEST(ThreadMessagesWinTest, CtrlBreakEndsTheLoopOfTheHookingThread)
{
    TARVIK_SKIP_UNDER_WINE(
        "GenerateConsoleCtrlEvent fails with 12 (invalid access) and delivers no Ctrl+Break");
    CTempDir dir("quit");
    const std::wstring szCommand = L"\"" + std::filesystem::path(TARVIK_PLATFORM_HELPER).wstring() +
                                   L"\" quit-loop x \"" + dir.Wide("ready") + L"\" \"" + dir.Wide("out") +
                                   L"\"";
    std::wstring szLine = szCommand;
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    // A process group of its own, so that the Ctrl+Break reaches the helper alone.
    ASSERT_TRUE(::CreateProcessW(nullptr, szLine.data(), nullptr, nullptr, FALSE, CREATE_NEW_PROCESS_GROUP,
                                 nullptr, nullptr, &startup, &process));
    ::CloseHandle(process.hThread);
    const bool bReady = tests::WaitUntil([&] { return tests::PathExists(dir.Path() / "ready"); }, 10s);
    if (bReady && !::GenerateConsoleCtrlEvent(CTRL_BREAK_EVENT, process.dwProcessId))
    {
        ::TerminateProcess(process.hProcess, 1);
        ::CloseHandle(process.hProcess);
        GTEST_SKIP() << "this test program has no console to send Ctrl+Break on: " << ::GetLastError();
    }
    EXPECT_TRUE(bReady);
    const DWORD nWait = ::WaitForSingleObject(process.hProcess, 10000);
    if (nWait != WAIT_OBJECT_0)
        ::TerminateProcess(process.hProcess, 1);
    ::CloseHandle(process.hProcess);
    ASSERT_EQ(nWait, static_cast<DWORD>(WAIT_OBJECT_0));
    EXPECT_EQ(tests::ReadFile(dir.Path() / "out"), "0 18 quit");
}
