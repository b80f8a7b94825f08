// Machine-wide names and the already-exists report of the named-object builder.
#include "config/CGlobalObjectsBuilder.h"
#include "config/CIniFile.h"
#include "platform/SysError.h"
#include "tests/config/ConfigTestSupport.h"

using CGlobalObjectsBuilderTest = CConfigTest;

TEST_F(CGlobalObjectsBuilderTest, NamesCarryTheGlobalPrefixAndAreCut)
{
    CGlobalObjectsBuilder builder;
    EXPECT_EQ(builder.FullName(L"tarvik.ini"), L"Global\\tarvik.ini");
    std::wstring szFull = builder.FullName(std::wstring(300, L'x'));
    EXPECT_EQ(szFull.size(), 260u);
    EXPECT_EQ(szFull.substr(0, 8), L"Global\\x");

    // The INI mutex is named after the file name alone, whatever the directory.
    EXPECT_EQ(CIniFile::MutexNameOf(tests::SystemPath(L"/opt/a/tarvik.ini")), L"Global\\tarvik.ini");
    EXPECT_EQ(CIniFile::MutexNameOf(tests::SystemPath(L"/srv/other/tarvik.ini")), L"Global\\tarvik.ini");
    EXPECT_EQ(CIniFile::MutexNameOf(L"plain.ini"), L"Global\\plain.ini");
}

TEST_F(CGlobalObjectsBuilderTest, SecondCreateReportsAlreadyExists)
{
    CGlobalObjectsBuilder builder;
    platform::HANDLE hFirst = builder.CreateEvent(L"{builder-test-event}");
    ASSERT_NE(hFirst, platform::kInvalidHandle);
    EXPECT_EQ(builder.LastError(), 0u);
    platform::HANDLE hSecond = builder.CreateEvent(L"{builder-test-event}");
    ASSERT_NE(hSecond, platform::kInvalidHandle);
    EXPECT_EQ(builder.LastError(), platform::kErrorAlreadyExists);

    // A manual-reset event, initially not set, shared by both handles.
    EXPECT_FALSE(platform::IsEventSet(hSecond));
    ASSERT_TRUE(platform::SetEventObject(hFirst));
    EXPECT_EQ(platform::WaitForSingleObject(hSecond, 10000), platform::kWaitObject0);
    EXPECT_EQ(platform::WaitForSingleObject(hSecond, 10000), platform::kWaitObject0);

    platform::HANDLE hMutex = builder.CreateMutex(L"builder-test-mutex");
    ASSERT_NE(hMutex, platform::kInvalidHandle);
    EXPECT_EQ(builder.LastError(), 0u);
    platform::HANDLE hMutexAgain = builder.CreateMutex(L"builder-test-mutex");
    EXPECT_EQ(builder.LastError(), platform::kErrorAlreadyExists);

    for (platform::HANDLE h : {hFirst, hSecond, hMutex, hMutexAgain})
    {
        platform::CloseHandleObject(h);
    }
}
