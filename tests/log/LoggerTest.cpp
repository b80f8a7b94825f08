// The logger on real files: record layout byte for byte, system-error records, rotation at its exact
// limit, the log-viewer launch, and the debug switch read by a separate process.
// GCC 12 with the sanitizers reports a false "may be used uninitialized" inside the std::regex
// compiler's own code; it is not about this file.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

#include "log/CLogger.h"

#include "log/ErrorCodes.h"
#include "platform/FileSystem.h"
#include "platform/MessageBox.h"
#include "platform/Registry.h"
#include "platform/SysError.h"
#include "tests/support/CIsolatedEnvironment.h"
#include "tests/support/CTempDir.h"
#include "tests/support/CTestProcess.h"
#include "tests/support/TestFiles.h"
#include "tests/support/Wine.h"
#include "util/ProgramPaths.h"
#include "util/utf8_conversion.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <gtest/gtest.h>
#include <regex>
#include <thread>

namespace fs = std::filesystem;

namespace
{

CIsolatedEnvironment* const g_pEnvironment =
    static_cast<CIsolatedEnvironment*>(::testing::AddGlobalTestEnvironment(new CIsolatedEnvironment));

std::vector<std::string> Lines(const std::string& szContent)
{
    std::vector<std::string> lines;
    size_t nStart = 0;
    size_t nEnd;
    while ((nEnd = szContent.find("\r\n", nStart)) != std::string::npos)
    {
        lines.push_back(szContent.substr(nStart, nEnd - nStart));
        nStart = nEnd + 2;
    }
    EXPECT_EQ(nStart, szContent.size()) << "content after the last CR LF";
    return lines;
}

// Splits "c,code,text,date,time,message" and puts a fixed stamp in place of date and time.
std::string WithFixedStamp(const std::string& szLine)
{
    static const std::regex kStamp(
        "^([^,]*,[^,]*,[^,]*),\\d\\d/\\d\\d/\\d{4},\\d\\d:\\d\\d:\\d\\d\\.\\d{3},");
    std::smatch match;
    if (!std::regex_search(szLine, match, kStamp))
        return "malformed: " + szLine;
    return match[1].str() + ",DD/MM/YYYY,hh:mm:ss.mmm," + match.suffix().str();
}

// What a program's file name ends with ("" or ".exe"), as narrow text.
std::string ProgramSuffix()
{
    return fs::path(platform::kProgramSuffix).string();
}

// The text without carriage returns (the C runtime of Windows writes text-mode output with CR LF).
std::string WithoutCr(std::string szText)
{
    std::erase(szText, '\r');
    return szText;
}

class CLoggerTest : public ::testing::Test
{
protected:
    std::wstring LogPath() const { return m_dir.Wide("tarvik.log"); }
    std::string LogContent() const { return tests::ReadFile(m_dir.Path() / "tarvik.log"); }

    CTempDir m_dir;
};

} // namespace

TEST(CLoggerFormat, RecordLayoutByteForByte)
{
    platform::SSystemTime time;
    time.wYear = 2026;
    time.wMonth = 12;
    time.wDay = 7;
    time.wHour = 10;
    time.wMinute = 4;
    time.wSecond = 8;
    time.wMilliseconds = 31;
    EXPECT_EQ(
        CLogger::FormatRecord(36, L"first\r\nsecond\nthird\rfourth", time),
        L"0,0036,Document monitoring service error,07/12/2026,10:04:08.031,first. second. third\rfourth\r\n");
    EXPECT_EQ(CLogger::FormatRecord(4004, L"x", time), L"4,4004,Process info,07/12/2026,10:04:08.031,x\r\n");
    EXPECT_EQ(CLogger::FormatRecord(1016, L"", time),
              L"1,1016,Directory monitor error,07/12/2026,10:04:08.031,\r\n");
    EXPECT_EQ(CLogger::FormatRecord(183, L"y", time), L"0,0183,Unknown Code,07/12/2026,10:04:08.031,y\r\n");
    EXPECT_EQ(CLogger::FlattenMessage(L"\n\r\n\r"), L". . \r");
}

TEST_F(CLoggerTest, WritesUtf8RecordsWithTheLocalTime)
{
    CLogger logger(LogPath());
    logger.Log(4004, std::wstring(L"Gr") + wchar_t(0xF6) + L"\u00DFe " + wchar_t(0x20AC) + L"\nok");
    const std::string szContent = LogContent();
    std::vector<std::string> lines = Lines(szContent);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(WithFixedStamp(lines[0]), "4,4004,Process info,DD/MM/YYYY,hh:mm:ss.mmm,Gr\xC3\xB6\xC3\x9F"
                                        "e \xE2\x82\xAC. ok");
    // The stamp is now: today's date and a time within a few minutes (allowing for midnight).
    const platform::SSystemTime now = platform::GetLocalTime();
    int nDay = 0, nMonth = 0, nYear = 0, nHour = 0, nMinute = 0;
    ASSERT_EQ(std::sscanf(lines[0].c_str(), "4,4004,Process info,%d/%d/%d,%d:%d", &nDay, &nMonth, &nYear,
                          &nHour, &nMinute),
              5);
    int nMinutesApart = std::abs((now.wHour * 60 + now.wMinute) - (nHour * 60 + nMinute));
    EXPECT_TRUE(nMinutesApart <= 5 || nMinutesApart >= 24 * 60 - 5);
    EXPECT_EQ(nYear, now.wYear);
}

TEST_F(CLoggerTest, SystemErrorRecordsCarryTheNumberAsCode)
{
    CLogger logger(LogPath());
    logger.LogSystemError(platform::kErrorAlreadyExists);
    platform::SetLastError(platform::kErrorFileNotFound);
    logger.LogLastError();
    EXPECT_EQ(platform::GetLastError(), platform::kErrorFileNotFound) << "logging changed the last error";

    std::vector<std::string> lines = Lines(LogContent());
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(WithFixedStamp(lines[0]),
              "0,0183,Unknown Code,DD/MM/YYYY,hh:mm:ss.mmm," + utf8_conversion::Encode(SystemErrorText(183)));
    EXPECT_EQ(WithFixedStamp(lines[1]), "0,0002,Failed to wait program,DD/MM/YYYY,hh:mm:ss.mmm," +
                                            utf8_conversion::Encode(SystemErrorText(2)));
}

TEST_F(CLoggerTest, RotatesOnlyPastTheLimitAndReplacesTheBackup)
{
    CLogger logger(LogPath());
    EXPECT_EQ(logger.GetBackupPath(), m_dir.Wide("tarvik.old.log"));
    tests::WriteFile(m_dir.Path() / "tarvik.old.log", "stale backup\r\n");

    const size_t nRecord =
        utf8_conversion::Encode(CLogger::FormatRecord(36, L"m", platform::SSystemTime())).size();
    tests::WriteFile(m_dir.Path() / "tarvik.log", std::string(CLogger::kRotateSize - nRecord, 'x'));
    logger.Log(36, L"m");
    EXPECT_EQ(fs::file_size(m_dir.Path() / "tarvik.log"), CLogger::kRotateSize);
    EXPECT_EQ(tests::ReadFile(m_dir.Path() / "tarvik.old.log"), "stale backup\r\n");

    logger.Log(36, L"m");
    EXPECT_EQ(fs::file_size(m_dir.Path() / "tarvik.old.log"), CLogger::kRotateSize + nRecord);
    EXPECT_EQ(tests::ReadFile(m_dir.Path() / "tarvik.old.log").substr(0, 4), "xxxx");
    std::vector<std::string> lines = Lines(LogContent());
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(WithFixedStamp(lines[0]),
              "4,4003,Logger info,DD/MM/YYYY,hh:mm:ss.mmm,Previous log messages backed up to '" +
                  (m_dir.Path() / "tarvik.old.log").string() + "'. New log file started.");
}

TEST_F(CLoggerTest, UnwritableLogLosesTheRecordSilently)
{
    CLogger logger(m_dir.Wide("missing/dir/tarvik.log"));
    EXPECT_NO_THROW(logger.Log(36, L"lost"));
    EXPECT_FALSE(fs::exists(m_dir.Path() / "missing"));
}

TEST_F(CLoggerTest, LogThatCannotBeOpenedLeavesTheBackupAlone)
{
    fs::create_directories(m_dir.Path() / "tarvik.log");
    tests::WriteFile(m_dir.Path() / "tarvik.old.log", "earlier records\r\n");
    CLogger logger(LogPath());
    logger.Log(36, L"lost");
    EXPECT_EQ(tests::ReadFile(m_dir.Path() / "tarvik.old.log"), "earlier records\r\n");
    EXPECT_TRUE(fs::is_directory(m_dir.Path() / "tarvik.log"));
}

TEST_F(CLoggerTest, LinksUnderItsNameAreNotWrittenThrough)
{
    CLogger logger(LogPath());
    logger.Log(36, L"first");

    // Someone who may write the folder plants a hard link, then a symbolic link, to a file elsewhere.
    tests::WriteFile(m_dir.Path() / "elsewhere", "not the log\n");
    fs::remove(m_dir.Path() / "tarvik.log");
    fs::create_hard_link(m_dir.Path() / "elsewhere", m_dir.Path() / "tarvik.log");
    logger.Log(36, L"through a hard link");
    EXPECT_EQ(tests::ReadFile(m_dir.Path() / "elsewhere"), "not the log\n");

    fs::remove(m_dir.Path() / "tarvik.log");
    TARVIK_SKIP_UNDER_WINE("CreateSymbolicLinkW reports success without making a link");
    ASSERT_TRUE(tests::MakeSymbolicLink(m_dir.Path() / "elsewhere", m_dir.Path() / "tarvik.log"));
    logger.Log(36, L"through a symbolic link");
    EXPECT_EQ(tests::ReadFile(m_dir.Path() / "elsewhere"), "not the log\n");
}

// Another process holds the rotation lock (the test's probe, through the platform's append file).
TEST_F(CLoggerTest, ARotationLockHeldByAnotherProcessDelaysTheRotationAndNeverStopsTheWriter)
{
    tests::WriteFile(m_dir.Path() / "tarvik.log", std::string(CLogger::kRotateSize, 'x'));
    CTestProcess holder;
    CTestProcess::SOptions options;
    options.m_bPipeOutput = true;
    ASSERT_TRUE(holder.Start({LOG_DEBUG_PROBE, "--hold-lock", m_dir.Native("tarvik.log")}, options));
    std::string szLine;
    ASSERT_TRUE(holder.ReadLine(60000, szLine));
    ASSERT_EQ(szLine, "held");

    CLogger logger(LogPath());
    logger.Log(36, L"past the limit while the lock is held");
    EXPECT_FALSE(fs::exists(m_dir.Path() / "tarvik.old.log"));
    EXPECT_GT(fs::file_size(m_dir.Path() / "tarvik.log"), CLogger::kRotateSize);

    holder.Kill();
    holder.Wait();
    logger.Log(36, L"lock released");
    EXPECT_TRUE(fs::exists(m_dir.Path() / "tarvik.old.log"));
    const std::vector<std::string> lines = Lines(LogContent());
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find(",4003,"), std::string::npos);
}

// The package names the data folder in a file beside the executable; the program trusts it only
// when its owner alone may write it.
TEST(CLoggerDefaults, TheDataFolderNamedBesideTheExecutableHoldsTheLog)
{
    CTempDir dir("datadir");
    fs::create_directories(dir.Path() / "bin");
    fs::create_directories(dir.Path() / "data");
    const std::string szProgram = "probe" + ProgramSuffix();
    const std::string szLogName = szProgram + ".log";
    const fs::path probe = dir.Path() / "bin" / szProgram;
    fs::copy_file(LOG_DEBUG_PROBE, probe);
    tests::WriteFile(dir.Path() / "bin" / "tarvik.datadir", (dir.Path() / "data").string() + "\n");
    fs::permissions(dir.Path() / "bin" / "tarvik.datadir", fs::perms::owner_read | fs::perms::owner_write);

    EXPECT_EQ(WithoutCr(CTestProcess::Output({probe.string(), "--default"})),
              (dir.Path() / "data" / szLogName).string() + "\n");
    EXPECT_NE(tests::ReadFile(dir.Path() / "data" / szLogName).find("default log"), std::string::npos);
}

TEST(CLoggerDefaults, LogLiesBesideTheExecutable)
{
    CLogger logger;
    EXPECT_EQ(logger.GetLogPath(), ExecutablePath() + L".log");
    EXPECT_EQ(logger.GetBackupPath(), ExecutablePath() + L".old.log");
}

namespace
{

class CRecordingPresenter : public platform::IMessageBoxPresenter
{
public:
    int Show(const std::wstring& szText, const std::wstring& szCaption, uint32_t nType) override
    {
        m_szText = szText;
        m_szCaption = szCaption;
        m_nType = nType;
        ++m_nShown;
        return platform::kIdOk;
    }
    std::wstring m_szText;
    std::wstring m_szCaption;
    uint32_t m_nType = 0;
    int m_nShown = 0;
};

// The viewer is looked for beside the running executable, which for this suite is the test binary.
fs::path ViewerPath()
{
    return fs::path(ExecutableDirectory()) / ("logvista" + ProgramSuffix());
}

} // namespace

TEST_F(CLoggerTest, ShowLogWithoutViewerCreatesTheFileAndReportsTheFailure)
{
    ASSERT_FALSE(fs::exists(ViewerPath()));
    CRecordingPresenter presenter;
    AnnounceDisplayForScriptedPresenter();
    platform::IMessageBoxPresenter* pPrevious = platform::SetMessageBoxPresenter(&presenter);
    ShowLog(LogPath());
    platform::SetMessageBoxPresenter(pPrevious);

    EXPECT_TRUE(fs::exists(m_dir.Path() / "tarvik.log"));
    EXPECT_EQ(fs::file_size(m_dir.Path() / "tarvik.log"), 0u);
    ASSERT_EQ(presenter.m_nShown, 1);
    EXPECT_EQ(presenter.m_szCaption, L"Unable to show log");
    EXPECT_EQ(presenter.m_szText.rfind(L"Unable to load log file:\r\n - " + LogPath() + L"\r\n", 0), 0u);
    EXPECT_GT(presenter.m_szText.size(), (L"Unable to load log file:\r\n - " + LogPath() + L"\r\n").size());
    EXPECT_TRUE((presenter.m_nType & platform::kMbIconError) == platform::kMbIconError);
}

namespace
{

const wchar_t* const kDebugKey = L"Software\\Nordal\\Halvane";

// Keeps the registry value "Debug" as it was before the test: on Linux the registry is the
// isolated one of this program, on Windows it is the machine's.
class CDebugSwitchGuard
{
public:
    CDebugSwitchGuard()
    {
        platform::CRegistryKey key;
        std::wstring szValue;
        if (key.Open(platform::EHive::LocalMachine, kDebugKey, platform::kRegRead) == 0 &&
            key.QueryString(L"Debug", szValue) == 0)
        {
            m_szPrevious = szValue;
            m_bHadValue = true;
        }
    }
    ~CDebugSwitchGuard() { Set(m_bHadValue ? m_szPrevious.c_str() : nullptr); }

    // Sets the value (removes it when null); false when the key cannot be written.
    static bool Set(const wchar_t* szValue)
    {
        platform::CRegistryKey key;
        if (key.Create(platform::EHive::LocalMachine, kDebugKey, platform::kRegAllAccess) != 0)
            return false;
        if (szValue == nullptr)
        {
            const uint32_t nResult = key.DeleteValue(L"Debug");
            return nResult == 0 || nResult == 2;
        }
        return key.SetString(L"Debug", szValue) == 0;
    }

private:
    std::wstring m_szPrevious;
    bool m_bHadValue = false;
};

// Runs the probe with the registry value "Debug" set to szValue (absent when null); returns what it
// wrote to the debugger output.
std::string RunProbe(const char* szValue, const CTempDir& dir)
{
    const std::wstring szWide = szValue ? platform::WidePath(szValue) : std::wstring();
    EXPECT_TRUE(CDebugSwitchGuard::Set(szValue ? szWide.c_str() : nullptr)) << "cannot set the debug switch";
    CTestProcess::SOptions options;
    options.m_bPipeOutput = true;
    options.m_bPipeErrors = true;
    CTestProcess probe;
    if (!probe.Start({LOG_DEBUG_PROBE, (dir.Path() / "probe.log").string()}, options))
        return probe.Error();
    const std::string szOutput = probe.ReadAll();
    EXPECT_EQ(probe.Wait(), 0);
    return szOutput;
}

} // namespace

TEST(CLoggerDebugSwitch, OnlyTheTextOneTurnsItOn)
{
    CDebugSwitchGuard guard;
    for (const char* szValue : {static_cast<const char*>(nullptr), "0", "true", " 1", "11"})
    {
        CTempDir dir;
        const std::string szOutput = RunProbe(szValue, dir);
        EXPECT_EQ(szOutput.find("probe message"), std::string::npos) << (szValue ? szValue : "(absent)");
        EXPECT_EQ(szOutput.find("CProbe::Outer"), std::string::npos) << (szValue ? szValue : "(absent)");
        // The log record is written whatever the switch says.
        EXPECT_NE(tests::ReadFile(dir.Path() / "probe.log").find("probe message. second line"),
                  std::string::npos);
    }

    CTempDir dir;
    const std::string szOutput = RunProbe("1", dir);
    EXPECT_NE(szOutput.find("probe message. second line"), std::string::npos) << szOutput;
    const size_t nOuterIn = szOutput.find("CProbe::Main: + CProbe::Outer");
    const size_t nInnerIn = szOutput.find("CProbe::Main: +   CProbe::Inner");
    const size_t nInnerOut = szOutput.find("CProbe::Main: -   CProbe::Inner");
    const size_t nOuterOut = szOutput.find("CProbe::Main: - CProbe::Outer");
    ASSERT_NE(nOuterIn, std::string::npos) << szOutput;
    ASSERT_NE(nInnerIn, std::string::npos) << szOutput;
    ASSERT_NE(nInnerOut, std::string::npos) << szOutput;
    ASSERT_NE(nOuterOut, std::string::npos) << szOutput;
    EXPECT_LT(nOuterIn, nInnerIn);
    EXPECT_LT(nInnerIn, nInnerOut);
    EXPECT_LT(nInnerOut, nOuterOut);
    // The debugger gets the message alone, not the record.
    EXPECT_EQ(szOutput.find("Process info"), std::string::npos) << szOutput;
}

TEST(CLoggerViewer, ShowLogStartsTheViewerBesideTheExecutableWithItsArguments)
{
    // A copy of the probe in its own directory, beside a stand-in viewer (the support probe) that
    // records its arguments.
    CTempDir dir;
    const fs::path probe = dir.Path() / ("probe" + ProgramSuffix());
    fs::copy_file(LOG_DEBUG_PROBE, probe);
    fs::copy_file(TARVIK_SUPPORT_PROBE, dir.Path() / ("logvista" + ProgramSuffix()));
    const fs::path output = dir.Path() / "viewer-args.txt";
    const fs::path log = dir.Path() / "tarvik.log";
    tests::WriteFile(log, "kept\r\n");
    CTestProcess::SOptions options;
    options.m_environment = {{"TARVIK_PROBE_ARGS_FILE", output.string()}};
    ASSERT_EQ(CTestProcess::Run({probe.string(), "--show-log", log.string()}, options), 0);

    ASSERT_TRUE(tests::WaitUntil([&] { return fs::exists(output); })) << "the viewer never ran";
    EXPECT_EQ(tests::ReadFile(output), "/path|" + log.string() + "|/language|English|");
    EXPECT_EQ(tests::ReadFile(log), "kept\r\n");
}
