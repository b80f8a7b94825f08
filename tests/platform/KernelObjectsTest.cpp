// Events, named events and named mutexes: waits across threads and across real processes.
#include "platform/KernelObjects.h"
#include "platform/FileSystem.h"
#include "platform/Process.h"
#include "platform/SysError.h"
#include "tests/support/CIsolatedEnvironment.h"
#include "tests/support/CTestProcess.h"
#include "tests/support/TestFiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <ctime>
#include <thread>
#include <vector>

using namespace platform;

namespace
{

using namespace std::chrono_literals;

// Every test gets its own objects directory, so that names never meet those of other runs.
class KernelObjectsTest : public ::testing::Test
{
protected:
    void TearDown() override
    {
        for (int nPid : m_helpers)
        {
            CTestProcess::KillId(nPid);
            uint32_t nCode = 0;
            WaitForProcess(SProcessInfo{nPid}, nCode);
        }
    }

    // A file beside the named objects.
    std::string ObjectFile(const std::string& szName) const { return (m_env.ObjectsDir() / szName).string(); }

    // Starts the helper program with the arguments; returns its process id.
    int StartHelper(const std::string& szArgs)
    {
        SProcessInfo info;
        const std::wstring szCommand = WidePath(std::string(TARVIK_PLATFORM_HELPER) + " " + szArgs);
        EXPECT_TRUE(CreateProcessFromCommandLine(szCommand, info)) << GetLastError();
        m_helpers.push_back(info.nProcessId);
        return info.nProcessId;
    }

    // Waits (bounded) until the helper has written its ready file, and returns its content.
    std::string WaitForFile(const std::string& szPath)
    {
        EXPECT_TRUE(tests::WaitUntil([&] { return tests::PathExists(szPath); }, 5s)) << szPath;
        return tests::ReadFile(szPath);
    }

    uint32_t KillHelper(int nPid)
    {
        CTestProcess::KillId(nPid);
        uint32_t nCode = 0;
        EXPECT_TRUE(WaitForProcess(SProcessInfo{nPid}, nCode));
        m_helpers.erase(std::remove(m_helpers.begin(), m_helpers.end(), nPid), m_helpers.end());
        return nCode;
    }

    CIsolatedEnvironment m_env;
    std::vector<int> m_helpers;
};

TEST_F(KernelObjectsTest, ManualResetEventReleasesEveryWaiterAndStaysSet)
{
    HANDLE h = CreateEventObject(true, false);
    ASSERT_NE(h, kInvalidHandle);
    EXPECT_FALSE(IsEventSet(h));
    EXPECT_EQ(WaitForSingleObject(h, 0), kWaitTimeout);

    std::atomic<int> nReleased{0};
    std::vector<std::thread> waiters;
    for (int i = 0; i < 4; ++i)
    {
        waiters.emplace_back([&] {
            if (WaitForSingleObject(h, 10000) == kWaitObject0)
            {
                ++nReleased;
            }
        });
    }
    ASSERT_TRUE(SetEventObject(h));
    for (auto& t : waiters)
    {
        t.join();
    }
    EXPECT_EQ(nReleased.load(), 4);
    EXPECT_TRUE(IsEventSet(h));
    EXPECT_EQ(WaitForSingleObject(h, 0), kWaitObject0);
    ASSERT_TRUE(ResetEventObject(h));
    EXPECT_FALSE(IsEventSet(h));
    EXPECT_TRUE(CloseHandleObject(h));
}

TEST_F(KernelObjectsTest, AutoResetEventReleasesExactlyOneWaiterPerSet)
{
    HANDLE h = CreateEventObject(false, false);
    ASSERT_NE(h, kInvalidHandle);
    constexpr int kWaiters = 4;
    std::atomic<int> nReleased{0};
    std::vector<std::thread> waiters;
    for (int i = 0; i < kWaiters; ++i)
    {
        waiters.emplace_back([&] {
            if (WaitForSingleObject(h, 20000) == kWaitObject0)
            {
                ++nReleased;
            }
        });
    }
    std::this_thread::sleep_for(50ms); // let every waiter sleep in the kernel
    for (int nSet = 1; nSet <= kWaiters; ++nSet)
    {
        ASSERT_TRUE(SetEventObject(h));
        for (int i = 0; i < 500 && nReleased.load() < nSet; ++i)
        {
            std::this_thread::sleep_for(2ms);
        }
        // Give a wrongly released second waiter time to show up.
        std::this_thread::sleep_for(50ms);
        EXPECT_EQ(nReleased.load(), nSet);
        EXPECT_FALSE(IsEventSet(h)) << "the released waiter resets the event";
    }
    for (auto& t : waiters)
    {
        t.join();
    }
    // Set twice with nobody waiting: one wait succeeds, the next times out.
    SetEventObject(h);
    SetEventObject(h);
    EXPECT_EQ(WaitForSingleObject(h, 0), kWaitObject0);
    EXPECT_EQ(WaitForSingleObject(h, 0), kWaitTimeout);
    CloseHandleObject(h);
}

TEST_F(KernelObjectsTest, WaitForMultipleReturnsLowestSignalledIndexAndConsumesOnlyIt)
{
    HANDLE e0 = CreateEventObject(true, false);
    HANDLE e1 = CreateEventObject(true, true);
    HANDLE e2 = CreateEventObject(false, true);
    const HANDLE list[] = {e0, e1, e2};
    EXPECT_EQ(WaitForMultipleObjects(list, 3, 0), kWaitObject0 + 1);
    EXPECT_TRUE(IsEventSet(e2)) << "a higher auto-reset event is left alone";
    ResetEventObject(e1);
    EXPECT_EQ(WaitForMultipleObjects(list, 3, 0), kWaitObject0 + 2);
    EXPECT_FALSE(IsEventSet(e2));
    EXPECT_EQ(WaitForMultipleObjects(list, 3, 0), kWaitTimeout);

    // A set from another thread ends a sleeping wait with that index.
    std::thread setter([&] {
        std::this_thread::sleep_for(30ms);
        SetEventObject(e2);
    });
    EXPECT_EQ(WaitForMultipleObjects(list, 3, 10000), kWaitObject0 + 2);
    setter.join();
    for (HANDLE h : list)
    {
        CloseHandleObject(h);
    }
}

TEST_F(KernelObjectsTest, WaitTimesOutAndBadArgumentsFail)
{
    HANDLE h = CreateEventObject(true, false);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(WaitForSingleObject(h, 60), kWaitTimeout);
    EXPECT_GE(std::chrono::steady_clock::now() - start, 60ms);

    HANDLE hMutex = CreateNamedMutexObject(L"Global\\wait-args", false);
    ASSERT_NE(hMutex, kInvalidHandle);
    const HANDLE withMutex[] = {h, hMutex};
    EXPECT_EQ(WaitForMultipleObjects(withMutex, 2, 0), kWaitFailed);
    std::vector<HANDLE> tooMany(65, h);
    EXPECT_EQ(WaitForMultipleObjects(tooMany.data(), tooMany.size(), 0), kWaitFailed);
    EXPECT_EQ(GetLastError(), kErrorInvalidParameter);

    CloseHandleObject(h);
    EXPECT_EQ(WaitForSingleObject(h, 0), kWaitFailed) << "a closed handle is no handle";
    EXPECT_EQ(GetLastError(), kErrorInvalidHandle);
    EXPECT_FALSE(SetEventObject(hMutex));
    CloseHandleObject(hMutex);
}

TEST_F(KernelObjectsTest, NamedEventExistsWhileHeldAndStartsFreshAfterTheLastClose)
{
    const std::wstring szName = L"Global\\{6A1E1E38-9D3B-4C55-8F7E-2B1D7C0E9A11}";
    HANDLE h1 = CreateNamedEventObject(szName, true, false);
    ASSERT_NE(h1, kInvalidHandle);
    EXPECT_EQ(GetLastError(), kErrorSuccess);
    HANDLE h2 = CreateNamedEventObject(szName, true, true);
    ASSERT_NE(h2, kInvalidHandle);
    EXPECT_EQ(GetLastError(), kErrorAlreadyExists);
    EXPECT_FALSE(IsEventSet(h1)) << "the initial state of an existing event is ignored";
    SetEventObject(h2);
    EXPECT_TRUE(IsEventSet(h1));
    CloseHandleObject(h1);
    CloseHandleObject(h2);

    HANDLE h3 = CreateNamedEventObject(szName, true, false);
    EXPECT_EQ(GetLastError(), kErrorSuccess);
    EXPECT_FALSE(IsEventSet(h3)) << "a fresh object does not keep the old state";
    CloseHandleObject(h3);

    HANDLE hEvent = CreateNamedEventObject(L"Global\\kind", true, false);
    EXPECT_EQ(CreateNamedMutexObject(L"Global\\kind", false), kInvalidHandle);
    EXPECT_EQ(GetLastError(), kErrorInvalidHandle);
    CloseHandleObject(hEvent);
}

TEST_F(KernelObjectsTest, NamedObjectsHeldByAnotherProcessExistUntilItIsKilled)
{
    const std::string szReady = ObjectFile("ready-event");
    const int nPid = StartHelper("hold-event Global\\instance " + szReady);
    EXPECT_EQ(WaitForFile(szReady), "0");
    HANDLE h = CreateNamedEventObject(L"Global\\instance", true, false);
    ASSERT_NE(h, kInvalidHandle);
    EXPECT_EQ(GetLastError(), kErrorAlreadyExists);
    CloseHandleObject(h);

    EXPECT_EQ(KillHelper(nPid), CTestProcess::kKilledExitCode);
    h = CreateNamedEventObject(L"Global\\instance", true, false);
    ASSERT_NE(h, kInvalidHandle);
    EXPECT_EQ(GetLastError(), kErrorSuccess) << "a killed holder holds nothing";
    CloseHandleObject(h);
}

TEST_F(KernelObjectsTest, NamedEventSetInAnotherProcessEndsTheWaitWithin100ms)
{
    HANDLE h = CreateNamedEventObject(L"Global\\wake", true, false);
    ASSERT_NE(h, kInvalidHandle);
    const std::string szStamp = ObjectFile("stamp");
    StartHelper("set-event Global\\wake 200 " + szStamp);
    ASSERT_EQ(WaitForSingleObject(h, 10000), kWaitObject0);
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    const long long nWoken = static_cast<long long>(ts.tv_sec) * 1000000000LL + ts.tv_nsec;
    const long long nSet = std::stoll(WaitForFile(szStamp));
    EXPECT_LT(nWoken - nSet, 100000000LL);
    EXPECT_TRUE(IsEventSet(h)) << "the setter's exit does not clear the event for the holders";
    CloseHandleObject(h);
}

TEST_F(KernelObjectsTest, TwoProcessesRacingForANamedMutexNeverOverlap)
{
    const std::string szCounter = ObjectFile("counter");
    tests::WriteFile(szCounter, "0");
    constexpr int kRounds = 300;
    std::vector<int> pids;
    for (int i = 0; i < 2; ++i)
    {
        pids.push_back(StartHelper("race-mutex Global\\race.ini " + szCounter + " " + std::to_string(kRounds)));
    }
    for (int nPid : pids)
    {
        uint32_t nCode = 99;
        ASSERT_TRUE(WaitForProcess(SProcessInfo{nPid}, nCode));
        EXPECT_EQ(nCode, 0u);
    }
    m_helpers.clear();
    EXPECT_EQ(tests::ReadFile(szCounter), std::to_string(2 * kRounds));
}

TEST_F(KernelObjectsTest, MutexOfAKilledOwnerIsObtainedAbandoned)
{
    const std::string szReady = ObjectFile("ready-mutex");
    const int nPid = StartHelper("hold-mutex Global\\tarvik.ini " + szReady);
    EXPECT_EQ(WaitForFile(szReady), std::to_string(kWaitObject0));

    HANDLE h = CreateNamedMutexObject(L"Global\\tarvik.ini", false);
    ASSERT_NE(h, kInvalidHandle);
    EXPECT_EQ(GetLastError(), kErrorAlreadyExists);
    EXPECT_EQ(WaitForSingleObject(h, 50), kWaitTimeout);

    std::atomic<uint32_t> nResult{kWaitFailed};
    std::thread waiter([&] { nResult = WaitForSingleObject(h, kInfinite); });
    std::this_thread::sleep_for(50ms);
    KillHelper(nPid);
    waiter.join();
    EXPECT_EQ(nResult.load(), kWaitAbandoned0);
    // The waiter thread has ended without releasing: the next owner is told again.
    EXPECT_EQ(WaitForSingleObject(h, 1000), kWaitAbandoned0);
    EXPECT_TRUE(ReleaseMutexObject(h));
    EXPECT_EQ(WaitForSingleObject(h, 1000), kWaitObject0);
    EXPECT_TRUE(ReleaseMutexObject(h));
    CloseHandleObject(h);

    // Nobody holds it now: a new create starts a fresh, unowned mutex.
    h = CreateNamedMutexObject(L"Global\\tarvik.ini", false);
    EXPECT_EQ(GetLastError(), kErrorSuccess);
    EXPECT_EQ(WaitForSingleObject(h, 0), kWaitObject0);
    ReleaseMutexObject(h);
    CloseHandleObject(h);
}

TEST_F(KernelObjectsTest, NamedMutexWorksInStaticDestructorsAtExit)
{
    SProcessInfo info;
    ASSERT_TRUE(CreateProcessFromCommandLine(
        WidePath(std::string(TARVIK_PLATFORM_HELPER) + " exit-mutex Global\\exit.ini"), info));
    uint32_t nCode = 99;
    ASSERT_TRUE(WaitForProcess(info, nCode));
    EXPECT_EQ(nCode, 0u);
}

TEST_F(KernelObjectsTest, NamedMutexIsRecursiveForItsOwnerAndExcludesOtherThreads)
{
    HANDLE h1 = CreateNamedMutexObject(L"Global\\recursive", false);
    HANDLE h2 = CreateNamedMutexObject(L"Global\\recursive", false);
    EXPECT_EQ(GetLastError(), kErrorAlreadyExists);
    ASSERT_EQ(WaitForSingleObject(h1, kInfinite), kWaitObject0);
    ASSERT_EQ(WaitForSingleObject(h2, kInfinite), kWaitObject0) << "the owner enters again through any handle";

    std::atomic<uint32_t> nOther{0};
    std::thread other([&] { nOther = WaitForSingleObject(h1, 50); });
    other.join();
    EXPECT_EQ(nOther.load(), kWaitTimeout);

    std::thread notOwner([&] { nOther = ReleaseMutexObject(h1) ? 1 : GetLastError(); });
    notOwner.join();
    EXPECT_EQ(nOther.load(), kErrorNotOwner);

    EXPECT_TRUE(ReleaseMutexObject(h1));
    std::thread stillOwned([&] { nOther = WaitForSingleObject(h1, 50); });
    stillOwned.join();
    EXPECT_EQ(nOther.load(), kWaitTimeout) << "one release of two leaves it owned";
    EXPECT_TRUE(ReleaseMutexObject(h2));

    std::thread now([&] {
        nOther = WaitForSingleObject(h2, 1000);
        ReleaseMutexObject(h2);
    });
    now.join();
    EXPECT_EQ(nOther.load(), kWaitObject0);
    EXPECT_FALSE(ReleaseMutexObject(h1));
    CloseHandleObject(h1);
    CloseHandleObject(h2);
}

} // namespace
