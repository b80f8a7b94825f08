// The Windows backend's kernel objects are the system's own: "Global\\" objects that another
// process reaches through the system's functions, their descriptor, and a mutex abandoned by a
// killed holder as the system itself reports it.
#include "platform/KernelObjects.h"
#include "platform/Process.h"
#include "platform/SysError.h"
#include "platform/Windows_win.h"
#include "tests/support/CTempDir.h"
#include "tests/support/CTestProcess.h"
#include "tests/support/TestFiles.h"

#include <aclapi.h>
#include <sddl.h>

#include <gtest/gtest.h>

#include <chrono>
#include <string>

namespace
{

using namespace std::chrono_literals;

// A name of this run alone: other test programs of the machine use the same namespace.
std::wstring UniqueName(const wchar_t* szStem)
{
    return std::wstring(L"Global\\tarvik-wintest-") + szStem + L"-" +
           std::to_wstring(::GetCurrentProcessId());
}

std::string Narrow(const std::wstring& szText)
{
    return std::string(szText.begin(), szText.end()); // the names here are ASCII
}

class KernelObjectsWinTest : public ::testing::Test
{
protected:
    void TearDown() override
    {
        if (m_nHelper > 0)
        {
            platform::TerminateProcessById(m_nHelper);
            uint32_t nCode = 0;
            platform::WaitForProcess(platform::SProcessInfo{m_nHelper}, nCode);
        }
    }

    // Starts the helper program with a command and an object name, and waits (bounded) for its ready
    // file; returns the file's content.
    std::string StartHelper(const std::string& szCommand, const std::wstring& szName)
    {
        const std::string szReady = m_dir.Native("ready");
        platform::SProcessInfo info;
        const std::string szLine = std::string("\"") + TARVIK_PLATFORM_HELPER + "\" " + szCommand + " " +
                                   Narrow(szName) + " \"" + szReady + "\"";
        EXPECT_TRUE(platform::CreateProcessFromCommandLine(std::wstring(szLine.begin(), szLine.end()), info))
            << platform::GetLastError();
        m_nHelper = info.nProcessId;
        EXPECT_TRUE(tests::WaitUntil([&] { return tests::PathExists(szReady); }, 10s));
        return tests::ReadFile(szReady);
    }

    CTempDir m_dir{"kernel-win"};
    int m_nHelper = 0;
};

TEST_F(KernelObjectsWinTest, NamedEventOfTheLayerIsTheSystemsObjectForOtherProcesses)
{
    const std::wstring szName = UniqueName(L"event");
    EXPECT_EQ(StartHelper("hold-event", szName), "0") << "the helper created it";

    // The system's own open finds what the other process created under exactly that name.
    ::HANDLE hOpened = ::OpenEventW(EVENT_MODIFY_STATE | SYNCHRONIZE, FALSE, szName.c_str());
    ASSERT_NE(hOpened, nullptr) << ::GetLastError();
    platform::HANDLE h = platform::CreateNamedEventObject(szName, true, false);
    ASSERT_NE(h, platform::kInvalidHandle);
    EXPECT_EQ(platform::GetLastError(), platform::kErrorAlreadyExists);
    EXPECT_FALSE(platform::IsEventSet(h));
    ASSERT_TRUE(::SetEvent(hOpened));
    EXPECT_TRUE(platform::IsEventSet(h));
    EXPECT_EQ(platform::WaitForSingleObject(h, 0), platform::kWaitObject0);
    ::CloseHandle(hOpened);
    platform::CloseHandleObject(h);

    // Killed, the helper holds nothing: the name is gone from the namespace.
    ASSERT_TRUE(platform::TerminateProcessById(m_nHelper));
    ASSERT_EQ(platform::WaitForProcessEnd(m_nHelper, 10000), platform::EProcessWait::Ended);
    EXPECT_EQ(::OpenEventW(SYNCHRONIZE, FALSE, szName.c_str()), nullptr);
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST_F(KernelObjectsWinTest, MutexHeldByAKilledProcessIsAbandonedForTheSystemsWaitToo)
{
    const std::wstring szName = UniqueName(L"mutex");
    EXPECT_EQ(StartHelper("hold-mutex", szName), std::to_string(platform::kWaitObject0));

    ::HANDLE hNative = ::CreateMutexW(nullptr, TRUE, szName.c_str());
    ASSERT_NE(hNative, nullptr);
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    EXPECT_EQ(::WaitForSingleObject(hNative, 0), static_cast<DWORD>(WAIT_TIMEOUT))
        << "an initial ownership is not granted for an existing mutex";

    ASSERT_TRUE(platform::TerminateProcessById(m_nHelper));
    EXPECT_EQ(::WaitForSingleObject(hNative, 10000), static_cast<DWORD>(WAIT_ABANDONED));
    EXPECT_TRUE(::ReleaseMutex(hNative));
    ::CloseHandle(hNative);
}

TEST_F(KernelObjectsWinTest, NamedObjectsAreNotEveryonesToOpen)
{
    const std::wstring szName = UniqueName(L"secured");
    platform::HANDLE h = platform::CreateNamedMutexObject(szName, false);
    ASSERT_NE(h, platform::kInvalidHandle);
    PACL pDacl = nullptr;
    PSECURITY_DESCRIPTOR pDescriptor = nullptr;
    ASSERT_EQ(::GetSecurityInfo(reinterpret_cast<::HANDLE>(h), SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION,
                                nullptr, nullptr, &pDacl, nullptr, &pDescriptor),
              static_cast<DWORD>(ERROR_SUCCESS));
    ASSERT_NE(pDacl, nullptr) << "a null access list would let every user hold the mutex";
    bool bEveryone = false;
    bool bSystem = false;
    for (DWORD i = 0; i < pDacl->AceCount; ++i)
    {
        void* pAce = nullptr;
        ASSERT_TRUE(::GetAce(pDacl, i, &pAce));
        const auto* pAllowed = static_cast<ACCESS_ALLOWED_ACE*>(pAce);
        const PSID pSid = const_cast<DWORD*>(&pAllowed->SidStart);
        bEveryone = bEveryone || ::IsWellKnownSid(pSid, WinWorldSid);
        bSystem = bSystem || ::IsWellKnownSid(pSid, WinLocalSystemSid);
    }
    ::LocalFree(pDescriptor);
    EXPECT_FALSE(bEveryone);
    EXPECT_TRUE(bSystem) << "the service's account may open it";
    // The creator itself reaches it through the system's open.
    ::HANDLE hOpened = ::OpenMutexW(SYNCHRONIZE | MUTEX_MODIFY_STATE, FALSE, szName.c_str());
    EXPECT_NE(hOpened, nullptr) << ::GetLastError();
    ::CloseHandle(hOpened);
    platform::CloseHandleObject(h);
}

} // namespace
