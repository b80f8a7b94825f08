// Error messages, file-time conversions, code pages and the debugger output stand-in. Portable:
// every backend passes these.
#include "platform/Clock.h"
#include "platform/DebugOutput.h"
#include "platform/Encoding.h"
#include "platform/SysError.h"

#include <gtest/gtest.h>

#include <string>

using namespace platform;

namespace
{

SFileTime Ft(uint64_t n)
{
    return FileTimeFromU64(n);
}

TEST(SysErrorTest, MessagesEndWithCrLfAndOneSpansTwoLines)
{
    std::wstring szText;
    ASSERT_TRUE(SystemMessage(kErrorFileNotFound, szText));
    EXPECT_EQ(szText, L"The system cannot find the file specified.\r\n");
    ASSERT_TRUE(SystemMessage(kErrorAlreadyExists, szText));
    EXPECT_EQ(szText, L"Cannot create a file when that file already exists.\r\n");

    ASSERT_TRUE(SystemMessage(kErrorWrongDisk, szText));
    const size_t nFirstEnd = szText.find(L"\r\n");
    ASSERT_NE(nFirstEnd, std::wstring::npos);
    EXPECT_LT(nFirstEnd + 2, szText.size()) << "a second line follows the first line end";

    EXPECT_FALSE(SystemMessage(99999, szText));
    EXPECT_TRUE(szText.empty());
}

TEST(ClockTest, FileTimesConvertToCalendarFields)
{
    EXPECT_EQ(FileTimeToU64(FileTimeFromUnix(0, 0)), 116444736000000000ull);
    SSystemTime st;
    ASSERT_TRUE(FileTimeToSystemTime(FileTimeFromUnix(0, 0), st));
    EXPECT_EQ(st.wYear, 1970);
    EXPECT_EQ(st.wMonth, 1);
    EXPECT_EQ(st.wDay, 1);
    EXPECT_EQ(st.wDayOfWeek, 4); // a Thursday

    // 7 December 2026, 10:24:58.031 UTC (a Monday).
    ASSERT_TRUE(FileTimeToSystemTime(FileTimeFromUnix(1796639098, 31000000), st));
    EXPECT_EQ(st.wYear, 2026);
    EXPECT_EQ(st.wMonth, 12);
    EXPECT_EQ(st.wDay, 7);
    EXPECT_EQ(st.wDayOfWeek, 1);
    EXPECT_EQ(st.wHour, 10);
    EXPECT_EQ(st.wMinute, 24);
    EXPECT_EQ(st.wSecond, 58);
    EXPECT_EQ(st.wMilliseconds, 31);

    ASSERT_TRUE(FileTimeToSystemTime(Ft(0), st));
    EXPECT_EQ(st.wYear, 1601);
    EXPECT_EQ(st.wDayOfWeek, 1);
    ASSERT_TRUE(FileTimeToSystemTime(FileTimeFromUnix(951782400, 0), st)); // 29 February 2000
    EXPECT_EQ(st.wMonth, 2);
    EXPECT_EQ(st.wDay, 29);

    // Values with the top bit set are refused by both conversions, as on Windows.
    SFileTime ftLocal;
    EXPECT_FALSE(FileTimeToSystemTime(Ft(0x8000000000000000ull), st));
    EXPECT_FALSE(FileTimeToLocalFileTime(Ft(0x8000000000000000ull), ftLocal));
    EXPECT_TRUE(FileTimeToSystemTime(Ft(0x7FFFFFFFFFFFFFFFull), st));
    EXPECT_EQ(st.wYear, 30828);
}

TEST(EncodingTest, Utf8RoundTripsAndRefusesInvalidBytes)
{
    const std::wstring szWide = {L'A', 0xE9, 0x20AC, 0xD83D, 0xDE00};
    std::string szBytes;
    ASSERT_TRUE(WideToMultiByte(kCodePageUtf8, szWide, szBytes));
    EXPECT_EQ(szBytes, "A\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80");
    std::wstring szBack;
    ASSERT_TRUE(MultiByteToWide(kCodePageUtf8, szBytes, szBack));
    EXPECT_EQ(szBack, szWide);

    for (const char* szBad : {"\xC0\x80", "\xED\xA0\x80", "\x80", "ab\xE2\x82", "\xF5\x80\x80\x80"})
    {
        SetLastError(0);
        EXPECT_FALSE(MultiByteToWide(kCodePageUtf8, szBad, szBack)) << szBad;
        EXPECT_TRUE(szBack.empty());
        EXPECT_EQ(GetLastError(), kErrorNoUnicodeTranslation);
    }
    EXPECT_FALSE(WideToMultiByte(kCodePageUtf8, std::wstring(1, wchar_t(0xDC00)), szBytes));
}

TEST(EncodingTest, Latin1MapsEachByteToTheSameCode)
{
    std::wstring szWide;
    ASSERT_TRUE(MultiByteToWide(kCodePageLatin1, "K\xE4se\xFF", szWide));
    EXPECT_EQ(szWide, (std::wstring{L'K', 0xE4, L's', L'e', 0xFF}));
    std::string szBytes;
    ASSERT_TRUE(WideToMultiByte(kCodePageAnsi, szWide, szBytes));
    EXPECT_EQ(szBytes, "K\xE4se\xFF");
    EXPECT_FALSE(WideToMultiByte(kCodePageLatin1, L"\x20AC", szBytes));
    EXPECT_FALSE(MultiByteToWide(1234, "x", szWide));
    EXPECT_EQ(GetLastError(), kErrorInvalidParameter);
}

TEST(EncodingTest, CaseFoldingCoversMoreThanAscii)
{
    EXPECT_EQ(ToUpperChar(L'a'), L'A');
    EXPECT_EQ(ToUpperChar(wchar_t(0xE4)), wchar_t(0xC4));
    EXPECT_EQ(ToUpperChar(wchar_t(0x3B1)), wchar_t(0x391)); // Greek alpha
    EXPECT_TRUE(EqualsNoCase(L"E-mail", L"e-MAIL"));
    EXPECT_FALSE(EqualsNoCase(L"mail", L"mails"));
    EXPECT_LT(CompareNoCase(L"alpha", L"BETA"), 0);
    EXPECT_EQ(CompareNoCase(L"Tarvik", L"TARVIK"), 0);
}

TEST(DebugOutputTest, EveryCallIsOneLineOnStandardError)
{
    testing::internal::CaptureStderr();
    OutputDebugText(L"CFMonitorApp::Run: + CQuickPdfDoc::Open");
    OutputDebugText(L"two\r\nlines\n");
    OutputDebugText(std::wstring{L'K', 0xE4, L's', L'e'});
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "CFMonitorApp::Run: + CQuickPdfDoc::Open\ntwo  lines\nK\xC3\xA4se\n");
}

} // namespace
