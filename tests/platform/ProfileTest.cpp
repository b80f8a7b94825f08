// INI functions on real files: both encodings, case-insensitive names, the buffer cut, integer reads
// and writes that keep the rest of the file byte for byte.
#include "platform/Profile.h"
#include "platform/SysError.h"
#include "tests/support/CTempDir.h"
#include "tests/support/TestFiles.h"

#include <gtest/gtest.h>

using namespace platform;
using tests::ReadFile;
using tests::Utf16Ini;
using tests::WriteFile;

namespace
{

TEST(ProfileTest, Utf16FileKeepsItsEncodingThroughWrites)
{
    CTempDir dir;
    const std::wstring szIni = dir.Wide("tarvik.ini");
    WriteFile(dir.Native("tarvik.ini"), "\xFF\xFE");
    ASSERT_TRUE(WritePrivateProfileString(L"General", L"AttemptTimeout", L"5", szIni));
    ASSERT_TRUE(WritePrivateProfileString(L"General", L"TxtInDir", L"/spool/in/\x20AC\xE4/", szIni));
    ASSERT_TRUE(WritePrivateProfileString(L"E-mail", L"EmPort", L"25", szIni));
    EXPECT_EQ(
        ReadFile(dir.Native("tarvik.ini")),
        Utf16Ini(
            L"[General]\r\nAttemptTimeout=5\r\nTxtInDir=/spool/in/\x20AC\xE4/\r\n[E-mail]\r\nEmPort=25\r\n"));
    EXPECT_EQ(GetPrivateProfileString(L"General", L"TxtInDir", L"", szIni), L"/spool/in/\x20AC\xE4/");
    EXPECT_EQ(GetPrivateProfileInt(L"E-mail", L"EmPort", 0, szIni), 25);
}

TEST(ProfileTest, EightBitFileStaysEightBit)
{
    CTempDir dir;
    const std::wstring szIni = dir.Wide("old.ini");
    WriteFile(dir.Native("old.ini"), "[General]\r\nTxtInDir=C:\\K\xE4se\\\r\n");
    EXPECT_EQ(GetPrivateProfileString(L"General", L"TxtInDir", L"", szIni), L"C:\\K\xE4se\\");
    ASSERT_TRUE(WritePrivateProfileString(L"General", L"TxtOutDir", L"\xF6\x20AC", szIni));
    EXPECT_EQ(ReadFile(dir.Native("old.ini")), "[General]\r\nTxtInDir=C:\\K\xE4se\\\r\nTxtOutDir=\xF6?\r\n");

    // A write that creates the file makes an 8-bit one, as Windows does.
    const std::wstring szNew = dir.Wide("new.ini");
    ASSERT_TRUE(WritePrivateProfileString(L"S", L"k", L"v", szNew));
    EXPECT_EQ(ReadFile(dir.Native("new.ini")), "[S]\r\nk=v\r\n");
    EXPECT_FALSE(WritePrivateProfileString(L"S", L"k", L"v", dir.Wide("nodir/x.ini")));
    EXPECT_EQ(GetLastError(), kErrorPathNotFound);
}

TEST(ProfileTest, NamesCompareWithoutCaseAndBlanksAreIgnored)
{
    CTempDir dir;
    const std::wstring szIni = dir.Wide("a.ini");
    WriteFile(dir.Native("a.ini"),
              "[ general ]\nattempttimeout = 7 \n[E-MAIL]\nDefEmail=  \"ops@example.org\"\n"
              "[General]\nAttemptTimeout=99\n");
    EXPECT_EQ(GetPrivateProfileInt(L"General", L"AttemptTimeout", 5, szIni), 7) << "the first section counts";
    EXPECT_EQ(GetPrivateProfileString(L"e-mail", L"DEFEMAIL", L"", szIni), L"ops@example.org");
    EXPECT_EQ(GetPrivateProfileString(L"E-mail", L"Missing", L"dflt  ", szIni), L"dflt");
    EXPECT_EQ(GetPrivateProfileString(L"Nowhere", L"x", L"d", szIni), L"d");
    EXPECT_EQ(GetPrivateProfileString(L"S", L"x", L"d", dir.Wide("missing.ini")), L"d");

    ASSERT_TRUE(WritePrivateProfileString(L"GENERAL", L"ATTEMPTTIMEOUT", L"8", szIni));
    EXPECT_EQ(ReadFile(dir.Native("a.ini")),
              "[ general ]\nattempttimeout=8\n[E-MAIL]\nDefEmail=  \"ops@example.org\"\n"
              "[General]\nAttemptTimeout=99\n");
}

TEST(ProfileTest, WritesKeepEveryOtherLine)
{
    CTempDir dir;
    const std::wstring szIni = dir.Wide("keep.ini");
    const std::string szBefore = "; settings\r\n[General]\r\nAttempts=5\r\n\r\n[E-mail]\r\nEmPort=25\r\n"
                                 "odd line\r\n[Other]\nx=1";
    WriteFile(dir.Native("keep.ini"), szBefore);
    ASSERT_TRUE(WritePrivateProfileString(L"General", L"MoveErr", L"1", szIni));
    ASSERT_TRUE(WritePrivateProfileString(L"Other", L"y", L"2", szIni));
    ASSERT_TRUE(WritePrivateProfileString(L"New", L"z", L"3", szIni));
    EXPECT_EQ(ReadFile(dir.Native("keep.ini")),
              "; settings\r\n[General]\r\nAttempts=5\r\nMoveErr=1\r\n\r\n[E-mail]\r\nEmPort=25\r\n"
              "odd line\r\n[Other]\nx=1\r\ny=2\r\n[New]\r\nz=3\r\n");
}

TEST(ProfileTest, LongValuesAreCutToTheBuffer)
{
    CTempDir dir;
    const std::wstring szIni = dir.Wide("long.ini");
    const std::wstring szLong(5000, L'd');
    ASSERT_TRUE(WritePrivateProfileString(L"General", L"TxtInDir", szLong, szIni));
    EXPECT_EQ(GetPrivateProfileString(L"General", L"TxtInDir", L"", szIni).size(), 4095u);
    EXPECT_EQ(GetPrivateProfileString(L"General", L"TxtInDir", L"", szIni, 10), std::wstring(9, L'd'));
    EXPECT_EQ(GetPrivateProfileString(L"General", L"Missing", std::wstring(5000, L'x'), szIni).size(), 4095u);
}

TEST(ProfileTest, IntegersTakeSignAndLeadingDigits)
{
    CTempDir dir;
    const std::wstring szIni = dir.Wide("int.ini");
    WriteFile(dir.Native("int.ini"), "[N]\na=42\nb=-17\nc=+5\nd=12abc\ne=abc\nf=\ng=  9\nh=0x10\n");
    EXPECT_EQ(GetPrivateProfileInt(L"N", L"a", 0, szIni), 42);
    EXPECT_EQ(GetPrivateProfileInt(L"N", L"b", 0, szIni), -17);
    EXPECT_EQ(GetPrivateProfileInt(L"N", L"c", 0, szIni), 5);
    EXPECT_EQ(GetPrivateProfileInt(L"N", L"d", 0, szIni), 12);
    EXPECT_EQ(GetPrivateProfileInt(L"N", L"e", 25, szIni), 0) << "letters only read as 0, not the default";
    EXPECT_EQ(GetPrivateProfileInt(L"N", L"f", 25, szIni), 0);
    EXPECT_EQ(GetPrivateProfileInt(L"N", L"g", 0, szIni), 9);
    EXPECT_EQ(GetPrivateProfileInt(L"N", L"h", 0, szIni), 0);
    EXPECT_EQ(GetPrivateProfileInt(L"N", L"missing", 25, szIni), 25);
}

} // namespace
