// The settings object: defaults, directories with their trailing separator, the saved layout, files
// in other encodings, and settings that survive a dead or missing INI mutex.
#include "config/CGlobalObjectsBuilder.h"
#include "platform/KernelObjects.h"
#include "tests/config/ConfigTestSupport.h"

#include <filesystem>

using CFMParamsTest = CConfigTest;
using tests::SystemPath;

namespace
{

void ExpectDefaults(const CFMParams& params)
{
    EXPECT_EQ(params.m_nAttemptTimeout, 5);
    EXPECT_EQ(params.m_szTxtInDir, L"");
    EXPECT_EQ(params.m_szTxtOutDir, L"");
    EXPECT_EQ(params.m_szPdfDefDir, L"");
    EXPECT_EQ(params.m_nAttempts, 5);
    EXPECT_EQ(params.m_bMoveErr, 0);
    EXPECT_EQ(params.m_szTxtErrDir, L"");
    EXPECT_EQ(params.m_szDefEmail, L"");
    EXPECT_EQ(params.m_szEmSmtpServer, L"");
    EXPECT_EQ(params.m_szEmSenderEmail, L"");
    EXPECT_EQ(params.m_szEmSenderName, L"");
    EXPECT_EQ(params.m_szEmSubject, L"");
    EXPECT_EQ(params.m_nEmPort, 25);
}

} // namespace

TEST_F(CFMParamsTest, KeysAreMemberNamesWithoutTheirPrefix)
{
    EXPECT_EQ(CFMParams::KeyFromMemberName(L"m_nAttemptTimeout"), L"AttemptTimeout");
    EXPECT_EQ(CFMParams::KeyFromMemberName(L"m_szTxtInDir"), L"TxtInDir");
    EXPECT_EQ(CFMParams::KeyFromMemberName(L"m_bMoveErr"), L"MoveErr");
    EXPECT_EQ(CFMParams::KeyFromMemberName(L"m_nothing"), L"");
}

TEST_F(CFMParamsTest, FreshStartCreatesTheMarkAndGivesDefaults)
{
    CTestParams params(WidePath("tarvik.ini"));
    EXPECT_EQ(ReadFile(NativePath("tarvik.ini")), "\xFF\xFE");
    ExpectDefaults(params);
    EXPECT_EQ(params.IniPath(), WidePath("tarvik.ini"));
}

TEST_F(CFMParamsTest, SaveWritesEveryKeyInOrderAndLoadsBack)
{
    {
        CTestParams params(WidePath("tarvik.ini"));
        params.m_nAttemptTimeout = 7;
        params.m_szTxtInDir = SystemPath(L"/in");
        params.m_szTxtOutDir = SystemPath(L"/out/");
        params.m_szPdfDefDir = SystemPath(L"/pdf/");
        params.m_nAttempts = 3;
        params.m_bMoveErr = 1;
        params.m_szTxtErrDir = SystemPath(L"/err/");
        params.m_szDefEmail = L"ops@example.org";
        params.m_szEmSmtpServer = L"mail.example.org";
        params.m_szEmSenderEmail = L"tarvik@example.org";
        params.m_szEmSenderName = L"J\u00F6rg";
        params.m_szEmSubject = L"Report";
        params.m_nEmPort = 2525;
        EXPECT_TRUE(params.Save());

        const std::string szBytes = ReadFile(NativePath("tarvik.ini"));
        EXPECT_EQ(szBytes.substr(0, 2), "\xFF\xFE");
        const std::vector<std::wstring> expected = {L"[General]",
                                                    L"AttemptTimeout=7",
                                                    SystemPath(L"TxtInDir=/in"),
                                                    SystemPath(L"TxtOutDir=/out/"),
                                                    SystemPath(L"PdfDefDir=/pdf/"),
                                                    L"Attempts=3",
                                                    L"MoveErr=1",
                                                    SystemPath(L"TxtErrDir=/err/"),
                                                    L"[E-mail]",
                                                    L"DefEmail=ops@example.org",
                                                    L"EmSmtpServer=mail.example.org",
                                                    L"EmSenderEmail=tarvik@example.org",
                                                    L"EmSenderName=J\u00F6rg",
                                                    L"EmSubject=Report",
                                                    L"EmPort=2525"};
        EXPECT_EQ(Utf16Lines(szBytes), expected);
        params.m_nAttempts = 9; // saved again by the destructor
    }

    CTestParams loaded(WidePath("tarvik.ini"));
    EXPECT_EQ(loaded.m_nAttemptTimeout, 7);
    EXPECT_EQ(loaded.m_szTxtInDir, SystemPath(L"/in/"));
    EXPECT_EQ(loaded.m_szTxtOutDir, SystemPath(L"/out/"));
    EXPECT_EQ(loaded.m_nAttempts, 9);
    EXPECT_EQ(loaded.m_bMoveErr, 1);
    EXPECT_EQ(loaded.m_szEmSenderName, L"J\u00F6rg");
    EXPECT_EQ(loaded.m_nEmPort, 2525);
}

TEST_F(CFMParamsTest, DirectoriesGainTheSeparatorOnLoadAndKeepItOnSave)
{
    ASSERT_TRUE(
        WriteFile(NativePath("tarvik.ini"),
                  Utf16Ini(SystemPath(
                      L"[General]\r\nTxtInDir=/in\r\nTxtOutDir=\r\nPdfDefDir=/pdf/\r\nTxtErrDir=/err\r\n"))));
    {
        CTestParams params(WidePath("tarvik.ini"));
        EXPECT_EQ(params.m_szTxtInDir, SystemPath(L"/in/"));
        EXPECT_EQ(params.m_szTxtOutDir, L"");
        EXPECT_EQ(params.m_szPdfDefDir, SystemPath(L"/pdf/"));
        EXPECT_EQ(params.m_szTxtErrDir, SystemPath(L"/err/"));
    }
    const std::vector<std::wstring> lines = Utf16Lines(ReadFile(NativePath("tarvik.ini")));
    EXPECT_NE(std::find(lines.begin(), lines.end(), SystemPath(L"TxtInDir=/in/")), lines.end());
    EXPECT_NE(std::find(lines.begin(), lines.end(), L"TxtOutDir="), lines.end());
    EXPECT_NE(std::find(lines.begin(), lines.end(), SystemPath(L"TxtErrDir=/err/")), lines.end());
}

TEST_F(CFMParamsTest, EightBitIniIsConvertedAndLoaded)
{
    ASSERT_TRUE(WriteFile(NativePath("tarvik.ini"), "[General]\r\nTxtInDir=sp\xE4ol\r\nAttempts=8\r\n"
                                                    "[E-mail]\r\nEmPort=abc\r\nEmSubject=" +
                                                        std::string(5000, 'x') + "\r\n"));
    CTestParams params(WidePath("tarvik.ini"));
    EXPECT_EQ(params.m_szTxtInDir, SystemPath(L"sp\u00E4ol/"));
    EXPECT_EQ(params.m_nAttempts, 8);
    EXPECT_EQ(params.m_nEmPort, 0); // letters without leading digits
    EXPECT_EQ(params.m_szEmSubject, std::wstring(4095, L'x'));
    EXPECT_EQ(ReadFile(NativePath("tarvik.ini")).substr(0, 2), "\xFF\xFE");
    EXPECT_FALSE(PathExists(NativePath("tarvik.ini.tmp")));
}

TEST_F(CFMParamsTest, Utf8MarkHidesTheFirstSection)
{
    // The UTF-8 mark's three bytes become three characters in front of "[General]".
    ASSERT_TRUE(
        WriteFile(NativePath("tarvik.ini"),
                  "\xEF\xBB\xBF[General]\r\nAttemptTimeout=9\r\nTxtInDir=x\r\n[E-mail]\r\nEmPort=2525\r\n"));
    CTestParams params(WidePath("tarvik.ini"));
    EXPECT_EQ(params.m_nAttemptTimeout, 5);
    EXPECT_EQ(params.m_szTxtInDir, L"");
    EXPECT_EQ(params.m_nEmPort, 2525);
}

// A process that died holding the INI mutex must not cost any setting: the next load reads them all.
TEST_F(CFMParamsTest, MutexOfADeadProcessIsTakenOver)
{
    // An 8-bit file, so that the first access after the takeover has work to do: the conversion.
    ASSERT_TRUE(WriteFile(NativePath("tarvik.ini"),
                          "[General]\r\nAttemptTimeout=17\r\nTxtInDir=keep\r\n[E-mail]\r\nEmPort=2525\r\n"));
    // The mutex outlives its dead holder only while another process keeps a handle to it.
    std::filesystem::create_directory(NativePath("keeper"));
    CIniFile keeper(WidePath("keeper/tarvik.ini"));
    CTestProcess holder;
    ASSERT_TRUE(StartProbe(holder, {"hold", NativePath("tarvik.ini")}));
    std::string szLine;
    ASSERT_TRUE(holder.ReadLine(60000, szLine));
    ASSERT_EQ(szLine, "held");
    holder.Kill();
    holder.Wait();

    {
        CTestParams params(WidePath("tarvik.ini"));
        EXPECT_EQ(params.m_nAttemptTimeout, 17);
        EXPECT_EQ(params.m_szTxtInDir, SystemPath(L"keep/"));
        EXPECT_EQ(params.m_nEmPort, 2525);
        EXPECT_EQ(ReadFile(NativePath("tarvik.ini")).substr(0, 2), "\xFF\xFE");
    }
    CTestParams reloaded(WidePath("tarvik.ini"));
    EXPECT_EQ(reloaded.m_nAttemptTimeout, 17);
}

// Without a usable mutex the file is never touched, and the settings keep their defaults, not zeros.
TEST_F(CFMParamsTest, UnusableMutexKeepsDefaultsAndLeavesTheFile)
{
    const std::string szOriginal = Utf16Ini(L"[General]\r\nAttemptTimeout=17\r\nTxtInDir=/in\r\n");
    ASSERT_TRUE(WriteFile(NativePath("tarvik.ini"), szOriginal));
#ifdef _WIN32
    // An event under the mutex's name: Windows then makes no mutex of that name (6, invalid handle).
    platform::HANDLE hBlocker = CGlobalObjectsBuilder().CreateEvent(L"tarvik.ini");
    ASSERT_NE(hBlocker, platform::kInvalidHandle);
    const std::string szObjectsDir;
#else
    // The named objects' folder cannot be made.
    ASSERT_TRUE(WriteFile(NativePath("not-a-directory"), ""));
    const std::string szObjectsDir = NativePath("not-a-directory/objects");
#endif

    CTestProcess probe;
    ASSERT_TRUE(StartProbe(probe, {"load", NativePath("tarvik.ini")}, szObjectsDir));
    std::vector<std::string> values;
    std::string szLine;
    while (values.size() < 4 && probe.ReadLine(60000, szLine))
    {
        values.push_back(szLine);
    }
    EXPECT_EQ(probe.Wait(), 0);
    EXPECT_EQ(values, (std::vector<std::string>{"5", "5", "25", ""}));
    EXPECT_EQ(ReadFile(NativePath("tarvik.ini")), szOriginal);
#ifdef _WIN32
    platform::CloseHandleObject(hBlocker);
#endif
}
