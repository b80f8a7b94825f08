// The code table and the system error texts.
#include "log/ErrorCodes.h"

#include "platform/SysError.h"

#include <gtest/gtest.h>

TEST(ErrorCodes, TableHoldsExactlyTheSharedRows)
{
    int nRows = 0;
    for (int32_t nCode = -2000; nCode <= 10000; ++nCode)
    {
        if (ErrorCodeText(nCode) != L"Unknown Code")
            ++nRows;
    }
    EXPECT_EQ(nRows, 76);
    EXPECT_EQ(ErrorCodeText(0), L"Unknown Code");
    EXPECT_EQ(ErrorCodeText(-36), L"Unknown Code");
    EXPECT_EQ(ErrorCodeText(183), L"Unknown Code");
    EXPECT_EQ(ErrorCodeText(1), L"Failed to launch program");
    EXPECT_EQ(ErrorCodeText(36), L"Document monitoring service error");
    EXPECT_EQ(ErrorCodeText(3009), ErrorCodeText(36));
    EXPECT_EQ(ErrorCodeText(1005), L"Destination files already exists - deleting existing files");
    EXPECT_EQ(ErrorCodeText(1014), L"INI file error");
    EXPECT_EQ(ErrorCodeText(1016), L"Directory monitor error");
    EXPECT_EQ(ErrorCodeText(1901), L"Ostrel-Mail error");
    EXPECT_EQ(ErrorCodeText(4003), L"Logger info");
    EXPECT_EQ(ErrorCodeText(4004), L"Process info");
    EXPECT_EQ(ErrorCodeText(38), L"Object isn't initialized");
}

TEST(ErrorCodes, SystemTextIsTheFirstLineButTheResultKeepsTheWholeMessage)
{
    uint32_t nMultiLine = 0;
    std::wstring szFull;
    for (uint32_t nError = 1; nError < 20000 && nMultiLine == 0; ++nError)
    {
        std::wstring szMessage;
        if (platform::SystemMessage(nError, szMessage) && szMessage.find(L"\r\n") + 2 < szMessage.size())
        {
            nMultiLine = nError;
            szFull = szMessage;
        }
    }
    ASSERT_NE(nMultiLine, 0u) << "the platform has no message of two lines";
    const std::wstring szFirst = SystemErrorText(nMultiLine);
    EXPECT_EQ(szFirst, szFull.substr(0, szFull.find(L'\r')));
    EXPECT_EQ(szFirst.find_first_of(L"\r\n"), std::wstring::npos);
    EXPECT_EQ(SSystemError(nMultiLine).m_szMessage, szFull);
    EXPECT_EQ(SSystemError(nMultiLine).m_nCode, static_cast<int32_t>(nMultiLine));

    std::wstring szNotFound;
    ASSERT_TRUE(platform::SystemMessage(platform::kErrorFileNotFound, szNotFound));
    EXPECT_EQ(SystemErrorText(platform::kErrorFileNotFound), szNotFound.substr(0, szNotFound.find(L'\r')));
    EXPECT_EQ(SystemErrorText(0xFFFFFFF0u), L"Unknown Error");
}

TEST(ErrorCodes, SystemErrorResult)
{
    SSystemError fresh;
    EXPECT_EQ(fresh.m_szMessage, L"No error");
    EXPECT_EQ(fresh.m_nCode, 0);
    SSystemError fromText(std::wstring(L"Disk gone"));
    EXPECT_EQ(fromText.m_szMessage, L"Disk gone");
    EXPECT_EQ(fromText.m_nCode, 0);
}
