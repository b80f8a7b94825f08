// The Windows backend of the basics: the last error is the thread's Windows last error, messages
// beyond the layer's table come from the system, local file times keep their precision, debugger
// output survives text without a UTF-8 form, and message boxes never wait when no one can answer.
#include "platform/Clock.h"
#include "platform/DebugOutput.h"
#include "platform/Encoding.h"
#include "platform/MessageBox.h"
#include "platform/MessageBox_win.h"
#include "platform/SysError.h"
#include "platform/Thread.h"
#include "platform/Windows_win.h"
#include "tests/support/CIsolatedEnvironment.h"
#include "tests/support/Wine.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

using namespace platform;

namespace
{

TEST(SysErrorWinTest, LastErrorIsTheThreadsWindowsLastError)
{
    platform::SetLastError(kErrorSharingViolation);
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(kErrorSharingViolation));
    ::SetLastError(ERROR_PRIVILEGE_NOT_HELD);
    EXPECT_EQ(platform::GetLastError(), static_cast<uint32_t>(ERROR_PRIVILEGE_NOT_HELD));

    uint32_t nOther = 1;
    uint32_t nOtherId = 0;
    std::thread(
        [&]
        {
            nOther = platform::GetLastError();
            nOtherId = platform::GetCurrentThreadId();
        })
        .join();
    EXPECT_EQ(nOther, 0u) << "every thread has its own";
    EXPECT_NE(nOtherId, platform::GetCurrentThreadId());
}

TEST(SysErrorWinTest, NumbersBeyondTheTableHaveTheSystemsMessage)
{
    // 126 is what LoadLibraryW leaves for a missing module: not in the layer's own table.
    ::SetLastError(ERROR_SHARING_VIOLATION);
    std::wstring szText;
    ASSERT_TRUE(SystemMessage(ERROR_MOD_NOT_FOUND, szText));
    ASSERT_GE(szText.size(), 3u);
    EXPECT_EQ(szText.substr(szText.size() - 2), L"\r\n");
    EXPECT_NE(szText[szText.size() - 3], L'\n');
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION))
        << "reading a message keeps the error";
    // The table's English text wins over the system's, whatever its language.
    ASSERT_TRUE(SystemMessage(kErrorFileNotFound, szText));
    EXPECT_EQ(szText, L"The system cannot find the file specified.\r\n");
}

TEST(ClockWinTest, LocalFileTimesFollowTheLocalClockAndKeepTheirPrecision)
{
    const SFileTime ftNow = GetSystemTimeAsFileTime();
    SFileTime ftLocal;
    ASSERT_TRUE(FileTimeToLocalFileTime(ftNow, ftLocal));
    const int64_t nOffset = static_cast<int64_t>(FileTimeToU64(ftLocal) - FileTimeToU64(ftNow));
    EXPECT_EQ(nOffset % 600000000, 0) << "an offset of whole minutes: no 100-ns digit lost";

    const SSystemTime stClock = GetLocalTime();
    SSystemTime stConverted;
    ASSERT_TRUE(FileTimeToSystemTime(ftLocal, stConverted));
    SYSTEMTIME a{stClock.wYear, stClock.wMonth,  stClock.wDayOfWeek, stClock.wDay,
                 stClock.wHour, stClock.wMinute, stClock.wSecond,    stClock.wMilliseconds};
    FILETIME ftClock{};
    ASSERT_TRUE(::SystemTimeToFileTime(&a, &ftClock));
    const uint64_t nClock = (static_cast<uint64_t>(ftClock.dwHighDateTime) << 32) | ftClock.dwLowDateTime;
    const int64_t nApart = static_cast<int64_t>(nClock - FileTimeToU64(ftLocal));
    EXPECT_LT(nApart < 0 ? -nApart : nApart, 50000000) << "the local clock and the converted time agree";
}

TEST(EncodingWinTest, AnsiIsTheSystemsCodePageAndOthersAreConvertedExactly)
{
    std::string szBytes;
    std::wstring szWide;
    ASSERT_TRUE(WideToMultiByte(1252, L"\x20AC\xE4", szBytes));
    EXPECT_EQ(szBytes, "\x80\xE4");
    ASSERT_TRUE(MultiByteToWide(1253, "\xE1\xC1", szWide));
    EXPECT_EQ(szWide, L"\x3B1\x391");
    platform::SetLastError(0);
    EXPECT_FALSE(WideToMultiByte(1252, L"\x3B1", szBytes)) << "no best-fit 'a' for an alpha";
    EXPECT_EQ(platform::GetLastError(), kErrorNoUnicodeTranslation);
    EXPECT_TRUE(szBytes.empty());

    const std::wstring szSample = L"K\xE4se";
    std::string szAnsi;
    std::string szExplicit;
    ASSERT_TRUE(WideToMultiByte(kCodePageAnsi, szSample, szAnsi));
    ASSERT_TRUE(WideToMultiByte(::GetACP(), szSample, szExplicit));
    EXPECT_EQ(szAnsi, szExplicit);
}

TEST(DebugOutputWinTest, TextWithoutAUtf8FormStillGivesItsLine)
{
    testing::internal::CaptureStderr();
    OutputDebugText(std::wstring{L'a', wchar_t(0xD800), L'b'});
    OutputDebugText(std::wstring{L'n', L'\0', L'l'});
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "a\xEF\xBF\xBD"
                                                      "b\nn l\n");
}

class CRecordingPresenter : public IMessageBoxPresenter
{
public:
    int Show(const std::wstring& szText, const std::wstring&, uint32_t) override
    {
        m_szLast = szText;
        return kIdRetry;
    }
    std::wstring m_szLast;
};

// Under Wine a desktop means an X or Wayland display (its window station never shows itself as
// visible); on Windows the process's window station.
void AnnounceDesktop(CIsolatedEnvironment& environment)
{
    environment.Set("TARVIK_HEADLESS", nullptr);
    if (RunningUnderWine() && std::getenv("DISPLAY") == nullptr && std::getenv("WAYLAND_DISPLAY") == nullptr)
    {
        environment.Set("DISPLAY", "tarvik-test:0");
    }
}

TEST(MessageBoxWinTest, NoBoxWaitsWhenNoOneCanAnswer)
{
    CIsolatedEnvironment environment;
    environment.Set("TARVIK_HEADLESS", "1");
    CRecordingPresenter presenter;
    SetMessageBoxPresenter(&presenter);
    testing::internal::CaptureStderr();
    EXPECT_EQ(ShowMessageBox(L"Unable to load log file:\r\n - x.log", L"Unable to show log", kMbIconError),
              kIdOk);
    EXPECT_EQ(SystemMessageBoxPresenter().Show(L"Retry?", L"Tarvik", kMbYesNoCancel | kMbDefButton2), kIdNo);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "[Unable to show log] Unable to load log file:   - x.log\n[Tarvik] Retry?\n");
    EXPECT_TRUE(presenter.m_szLast.empty()) << "headless never asks the installed presenter";

    AnnounceDesktop(environment);
    if (IsHeadless())
    {
        SetMessageBoxPresenter(nullptr);
        GTEST_SKIP() << "this session's window station is not interactive (a service)";
    }
    EXPECT_EQ(ShowMessageBox(L"question", L"caption", kMbRetryCancel), kIdRetry);
    EXPECT_EQ(presenter.m_szLast, L"question");
    EXPECT_EQ(SetMessageBoxPresenter(nullptr), &presenter);
}

// The system's box really waits for its answer: a second thread finds it by its caption and presses
// its "No" button.
TEST(MessageBoxWinTest, TheSystemBoxReturnsTheButtonPressed)
{
    CIsolatedEnvironment environment;
    environment.Set("TARVIK_HEADLESS", nullptr);
    if (IsHeadless())
    {
        GTEST_SKIP() << "no desktop to show a box on (Wine needs an X display for it)";
    }
    const std::wstring szCaption = L"Tarvik box test " + std::to_wstring(platform::GetCurrentProcessId());
    std::atomic<bool> bShown{false};
    std::thread answer(
        [&]
        {
            for (int n = 0; n < 600 && !bShown; ++n)
            {
                if (const HWND hBox = ::FindWindowW(nullptr, szCaption.c_str()))
                {
                    bShown = true;
                    ::PostMessageW(hBox, WM_COMMAND, MAKEWPARAM(IDNO, BN_CLICKED), 0);
                }
                ::Sleep(50);
            }
        });
    const int nResult = SystemMessageBoxPresenter().Show(L"Delete the control file?", szCaption, kMbYesNo);
    bShown = true;
    answer.join();
    EXPECT_EQ(nResult, kIdNo);
}

} // namespace
