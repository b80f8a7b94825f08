// The Linux backend of the basics: errno translation, the last error per thread, local time by the
// TZ rules, process ids, and message boxes chosen by TARVIK_HEADLESS and DISPLAY.
#include "platform/Clock.h"
#include "platform/MessageBox.h"
#include "platform/SysError.h"
#include "platform/SysError_posix.h"
#include "platform/Thread.h"
#include "tests/support/CIsolatedEnvironment.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <thread>
#include <unistd.h>

using namespace platform;

namespace
{

TEST(SysErrorTest, EveryTranslatedErrnoHasAMessage)
{
    EXPECT_EQ(ErrorFromErrno(ENOENT), kErrorFileNotFound);
    EXPECT_EQ(ErrorFromErrno(ENOTDIR), kErrorPathNotFound);
    EXPECT_EQ(ErrorFromErrno(EACCES), kErrorAccessDenied);
    EXPECT_EQ(ErrorFromErrno(EEXIST), kErrorFileExists);
    EXPECT_EQ(ErrorFromErrno(ENOTEMPTY), kErrorDirNotEmpty);
    EXPECT_EQ(ErrorFromErrno(ECONNREFUSED), kWsaEconnrefused);
    EXPECT_EQ(ErrorFromErrno(123456), kErrorGenFailure);
    for (int nErrno = 0; nErrno < 200; ++nErrno)
    {
        std::wstring szText;
        EXPECT_TRUE(SystemMessage(ErrorFromErrno(nErrno), szText)) << "errno " << nErrno;
    }
}

TEST(SysErrorTest, LastErrorIsPerThread)
{
    SetLastError(kErrorAccessDenied);
    uint32_t nOther = 1;
    std::thread t(
        [&]
        {
            nOther = GetLastError();
            SetLastErrorFromErrno(ENOENT);
        });
    t.join();
    EXPECT_EQ(nOther, 0u);
    EXPECT_EQ(GetLastError(), kErrorAccessDenied);
    EXPECT_EQ(SetLastErrorFromErrno(EXDEV), kErrorNotSameDevice);
    EXPECT_EQ(GetLastError(), kErrorNotSameDevice);
}

TEST(ClockTest, LocalFileTimeUsesTheOffsetInForceAtThatInstant)
{
    const char* szOld = std::getenv("TZ");
    const std::string szSaved = szOld ? szOld : "";
    ::setenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3", 1);
    ::tzset();
    constexpr uint64_t kHour = 36000000000ull;
    const SFileTime ftWinter = FileTimeFromUnix(1767268800, 0); // 1 January 2026, 12:00 UTC
    const SFileTime ftSummer = FileTimeFromUnix(1782907200, 0); // 1 July 2026, 12:00 UTC
    SFileTime ftLocal;
    ASSERT_TRUE(FileTimeToLocalFileTime(ftWinter, ftLocal));
    EXPECT_EQ(FileTimeToU64(ftLocal) - FileTimeToU64(ftWinter), kHour);
    ASSERT_TRUE(FileTimeToLocalFileTime(ftSummer, ftLocal));
    EXPECT_EQ(FileTimeToU64(ftLocal) - FileTimeToU64(ftSummer), 2 * kHour);
    if (szOld)
    {
        ::setenv("TZ", szSaved.c_str(), 1);
    }
    else
    {
        ::unsetenv("TZ");
    }
    ::tzset();
}

TEST(ClockTest, TickCountAndLocalTimeAdvance)
{
    const uint32_t nStart = GetTickCount();
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    const uint32_t nElapsed = GetTickCount() - nStart;
    EXPECT_GE(nElapsed, 30u);
    EXPECT_LT(nElapsed, 5000u);

    const SSystemTime st = GetLocalTime();
    const time_t now = ::time(nullptr);
    tm local{};
    localtime_r(&now, &local);
    EXPECT_EQ(st.wYear, local.tm_year + 1900);
    EXPECT_LT(st.wMilliseconds, 1000);
    EXPECT_NE(GetCurrentThreadId(), 0u);
    EXPECT_EQ(GetCurrentProcessId(), static_cast<uint32_t>(::getpid()));
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

TEST(MessageBoxTest, DefaultButtonsAndHeadlessPresenter)
{
    EXPECT_EQ(DefaultButton(kMbOk), kIdOk);
    EXPECT_EQ(DefaultButton(kMbYesNoCancel | kMbIconQuestion), kIdYes);
    EXPECT_EQ(DefaultButton(kMbYesNoCancel | kMbDefButton2), kIdNo);
    EXPECT_EQ(DefaultButton(kMbAbortRetryIgnore | kMbDefButton3), kIdIgnore);
    EXPECT_EQ(DefaultButton(kMbOkCancel | kMbDefButton3), kIdOk) << "beyond the set: the first button";

    CIsolatedEnvironment environment;
    environment.Set("TARVIK_HEADLESS", "1");
    CRecordingPresenter presenter;
    EXPECT_EQ(SetMessageBoxPresenter(&presenter), nullptr);
    testing::internal::CaptureStderr();
    EXPECT_EQ(ShowMessageBox(L"Unable to load log file:\r\n - x.log", L"Unable to show log", kMbIconError),
              kIdOk);
    const std::string szShown = testing::internal::GetCapturedStderr();
    EXPECT_NE(szShown.find("Unable to show log"), std::string::npos);
    EXPECT_NE(szShown.find("x.log"), std::string::npos);
    EXPECT_TRUE(presenter.m_szLast.empty()) << "headless never asks the installed presenter";

    environment.Set("TARVIK_HEADLESS", nullptr);
    environment.Set("DISPLAY", ":99");
    EXPECT_EQ(ShowMessageBox(L"question", L"caption", kMbRetryCancel), kIdRetry);
    EXPECT_EQ(presenter.m_szLast, L"question");
    environment.Set("DISPLAY", nullptr);
    EXPECT_EQ(SetMessageBoxPresenter(nullptr), &presenter);
}

} // namespace
