// Crash dumps of a real program that links the handler and crashes: whether a file is written, where
// (the dumps folder of the data folder), its name, mode and streams, how many are kept, LLDB's reading
// of it, and a crash of the service program while it loads its settings.
#include "log/CCrashDumpHandler.h"
#include "platform/KernelObjects.h"
#include "tests/support/CIsolatedEnvironment.h"
#include "tests/support/CTempDir.h"
#include "tests/support/CTestProcess.h"
#include "tests/support/TestFiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <deque>
#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace
{

class CrashDumpTest : public ::testing::Test
{
protected:
    CrashDumpTest() : m_environment(CIsolatedEnvironment::kHeadless), m_temp("crash"), m_dir(m_temp.Path()) {}

    // The probe runs from a copy in the test's folder, which is then its data folder: its dumps go to
    // m_dir/dumps.
    void SetUp() override
    {
        fs::create_directories(KeyDirectory());
        fs::copy_file(CRASH_PROBE, m_probe);
    }

    fs::path KeyDirectory() const
    {
        return m_environment.RegistryDir() / "HKEY_LOCAL_MACHINE/Software/Nordal/Halvane";
    }
    void SetDumpType(const std::string& szText) { std::ofstream(KeyDirectory() / "DumpType") << szText; }

    // Starts the probe in the test directory with the registry fixture, its output piped when asked;
    // the fixture kills what is still running at the end.
    CTestProcess& Start(const std::vector<std::string>& args, bool bPipeOutput = false,
                        const std::string& szProgram = std::string())
    {
        CTestProcess& process = m_children.emplace_back();
        std::vector<std::string> vArgs = {szProgram.empty() ? m_probe.string() : szProgram};
        vArgs.insert(vArgs.end(), args.begin(), args.end());
        CTestProcess::SOptions options;
        options.m_workingDir = m_dir;
        options.m_bPipeOutput = bPipeOutput;
        EXPECT_TRUE(process.Start(vArgs, options)) << process.Error();
        return process;
    }

    // The signal that ended the process; 0 when it ended otherwise.
    static int WaitSignal(CTestProcess& process)
    {
        const int nResult = process.Wait();
        return nResult <= -1000 ? -1000 - nResult : 0;
    }

    std::vector<fs::path> Dumps(const fs::path& folder = fs::path()) const
    {
        std::vector<fs::path> dumps;
        std::error_code error;
        for (const auto& entry : fs::directory_iterator(folder.empty() ? m_dir / "dumps" : folder, error))
            if (entry.path().filename().string().rfind("coredump-", 0) == 0)
                dumps.push_back(entry.path());
        return dumps;
    }

    // Stream types listed in a dump's directory; empty when the header is not a minidump's.
    static std::vector<uint32_t> StreamTypes(const fs::path& dump)
    {
        std::ifstream in(dump, std::ios::binary);
        uint32_t header[4] = {};
        in.read(reinterpret_cast<char*>(header), sizeof(header));
        std::vector<uint32_t> types;
        if (!in || header[0] != 0x504d444d || (header[1] & 0xFFFF) != 0xa793)
            return types;
        in.seekg(header[3]);
        for (uint32_t i = 0; i < header[2]; ++i)
        {
            uint32_t entry[3] = {};
            in.read(reinterpret_cast<char*>(entry), sizeof(entry));
            types.push_back(entry[0]);
        }
        return types;
    }

    static std::string Lldb(const fs::path& dump)
    {
        CTestProcess lldb;
        CTestProcess::SOptions options;
        options.m_bPipeOutput = true;
        options.m_bPipeErrors = true;
        if (!lldb.Start({"lldb", "--batch", "--core", dump.string(), "-o", "thread backtrace"}, options))
            return lldb.Error();
        const std::string szOutput = lldb.ReadAll();
        lldb.Wait();
        return szOutput;
    }

    CIsolatedEnvironment m_environment;
    CTempDir m_temp;
    const fs::path m_dir;
    const fs::path m_probe = m_dir / "crash_probe";
    std::deque<CTestProcess> m_children;
};

TEST(CrashDumpNameTest, NameAndDumpType)
{
    char szName[260];
    const CCrashDumpHandler::STime t{2026, 3, 4, 5, 6, 7, 8};
    ASSERT_GT(CCrashDumpHandler::FormatDumpName(szName, sizeof(szName), 4242, 4243, t), 0u);
    EXPECT_STREQ(szName, "coredump-4242-4243-20260304050607008.dmp");
    EXPECT_EQ(CCrashDumpHandler::FormatDumpName(szName, 20, 4242, 4243, t), 0u) << "too small a buffer";

    const auto tm = CCrashDumpHandler::BreakDownTime(951782400000LL + 3723004, 3600); // 2000-02-29 UTC
    EXPECT_EQ(
        (std::vector<int>{tm.nYear, tm.nMonth, tm.nDay, tm.nHour, tm.nMinute, tm.nSecond, tm.nMillisecond}),
        (std::vector<int>{2000, 2, 29, 2, 2, 3, 4}));

    auto parse = [](const std::string& sz, uint32_t& n)
    { return CCrashDumpHandler::ParseDumpType(sz.data(), sz.size(), n); };
    uint32_t n = 99;
    EXPECT_TRUE(parse("2\n", n));
    EXPECT_EQ(n, 2u);
    EXPECT_TRUE(parse("  17abc", n));
    EXPECT_EQ(n, 17u);
    EXPECT_TRUE(parse("junk", n));
    EXPECT_EQ(n, 0u) << "unreadable text gives 0";
    EXPECT_TRUE(parse("#type=REG_DWORD\n6\n", n));
    EXPECT_EQ(n, 6u) << "a number value reads as its number";
    EXPECT_FALSE(parse("#type=REG_BINARY\n6\n", n));
}

TEST_F(CrashDumpTest, NoDumpTypeWritesNothing)
{
    EXPECT_EQ(WaitSignal(Start({"null"})), SIGSEGV);
    EXPECT_TRUE(Dumps().empty());
}

TEST_F(CrashDumpTest, NullWriteAndAbortGiveDumpsThatLldbReads)
{
    SetDumpType("0\n");
    const auto before = std::chrono::system_clock::now();
    CTestProcess& probe = Start({"null"});
    const int nPid = probe.Pid();
    ASSERT_EQ(WaitSignal(probe), SIGSEGV) << "the default action still ends the process";
    std::vector<fs::path> dumps = Dumps();
    ASSERT_EQ(dumps.size(), 1u);
    std::smatch match;
    const std::string szName = dumps[0].filename().string();
    ASSERT_TRUE(std::regex_match(szName, match, std::regex(R"(coredump-(\d+)-(\d+)-(\d{17})\.dmp)")));
    EXPECT_EQ(match[1].str(), std::to_string(nPid));
    EXPECT_EQ(match[2].str(), std::to_string(nPid)) << "the main thread faulted";
    const time_t now = std::chrono::system_clock::to_time_t(before);
    char szDay[16];
    std::strftime(szDay, sizeof(szDay), "%Y%m%d", std::localtime(&now));
    EXPECT_EQ(match[3].str().substr(0, 8), szDay);
    const std::vector<uint32_t> types = StreamTypes(dumps[0]);
    EXPECT_EQ(types.size(), 7u);
    EXPECT_EQ(std::count(types.begin(), types.end(), 9u), 0) << "no full memory for type 0";
    EXPECT_EQ(fs::status(dumps[0]).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(fs::status(m_dir / "dumps").permissions() & fs::perms::all, fs::perms::owner_all);

    std::string szOutput = Lldb(dumps[0]);
    EXPECT_NE(szOutput.find("CrashProbeNullWrite"), std::string::npos) << szOutput;
    EXPECT_NE(szOutput.find("main"), std::string::npos) << szOutput;
    fs::remove(dumps[0]);

    SetDumpType("#type=REG_DWORD\n2\n");
    ASSERT_EQ(WaitSignal(Start({"abort"})), SIGABRT);
    dumps = Dumps();
    ASSERT_EQ(dumps.size(), 1u);
    const std::vector<uint32_t> fullTypes = StreamTypes(dumps[0]);
    EXPECT_EQ(std::count(fullTypes.begin(), fullTypes.end(), 9u), 1) << "full memory";
    szOutput = Lldb(dumps[0]);
    EXPECT_NE(szOutput.find("CrashProbeAbort"), std::string::npos) << szOutput;
}

TEST_F(CrashDumpTest, SignalFromAnotherProcessAndTwoCrashesAtOnce)
{
    SetDumpType("0");
    CTestProcess& waiting = Start({"wait"}, true);
    const int nWaiting = waiting.Pid();
    std::string szLine;
    ASSERT_TRUE(waiting.ReadLine(60000, szLine));
    ASSERT_TRUE(waiting.Running());
    waiting.Signal(SIGSEGV);
    EXPECT_EQ(WaitSignal(waiting), SIGSEGV);
    ASSERT_EQ(Dumps().size(), 1u);
    EXPECT_NE(Dumps()[0].filename().string().find("coredump-" + std::to_string(nWaiting) + "-"),
              std::string::npos);
    fs::remove(Dumps()[0]);

    // Both crash at the same instant: the process ids keep the names apart.
    const long long nAt = std::chrono::duration_cast<std::chrono::milliseconds>(
                              std::chrono::system_clock::now().time_since_epoch())
                              .count() +
                          300;
    CTestProcess& first = Start({"null", std::to_string(nAt)});
    CTestProcess& second = Start({"null", std::to_string(nAt)});
    EXPECT_EQ(WaitSignal(first), SIGSEGV);
    EXPECT_EQ(WaitSignal(second), SIGSEGV);
    const std::vector<fs::path> dumps = Dumps();
    ASSERT_EQ(dumps.size(), 2u);
    EXPECT_NE(dumps[0].filename(), dumps[1].filename());
}

TEST_F(CrashDumpTest, TheServiceProgramHasTheHandler)
{
    SetDumpType("0");
    fs::create_directories(m_dir / "bin");
    fs::copy_file(fs::path(TARVIK_BIN_DIR) / "tarvik", m_dir / "bin/tarvik");
    const std::string szProgram = (m_dir / "bin/tarvik").string();
    CTestProcess& service = Start({}, false, szProgram);
    const bool bStarted = tests::WaitUntil(
        [&]()
        { return tests::ReadFile(m_dir / "bin/tarvik.log").find("service started") != std::string::npos; },
        30s);
    ASSERT_TRUE(bStarted);
    ASSERT_TRUE(service.Running());
    service.Signal(SIGSEGV);
    EXPECT_EQ(WaitSignal(service), SIGSEGV);
    ASSERT_EQ(Dumps(m_dir / "bin/dumps").size(), 1u);
    EXPECT_EQ(StreamTypes(Dumps(m_dir / "bin/dumps")[0]).size(), 7u);
}

TEST_F(CrashDumpTest, OnlyTheNewestDumpsAreKept)
{
    SetDumpType("0");
    fs::create_directories(m_dir / "dumps");
    const auto old = fs::file_time_type::clock::now() - 48h;
    for (int i = 0; i < 6; ++i)
    {
        const fs::path dump =
            m_dir / "dumps" / ("coredump-1-1-2020010100000000" + std::to_string(i) + ".dmp");
        tests::WriteFile(dump, "old");
        fs::last_write_time(dump, old + std::chrono::minutes(i));
    }
    tests::WriteFile(m_dir / "dumps/notes.txt", "not a dump");
    const int nPid = Start({"null"}).Pid();
    EXPECT_EQ(WaitSignal(m_children.back()), SIGSEGV);
    std::vector<std::string> names;
    for (const fs::path& dump : Dumps())
        names.push_back(dump.filename().string());
    std::sort(names.begin(), names.end());
    ASSERT_EQ(names.size(), CCrashDumpHandler::kKeptDumps);
    EXPECT_EQ(names[0], "coredump-1-1-20200101000000002.dmp") << "the two oldest went";
    EXPECT_EQ(names.back().rfind("coredump-" + std::to_string(nPid) + "-", 0), 0u) << "the new one stays";
    EXPECT_TRUE(fs::exists(m_dir / "dumps/notes.txt"));
}

// The handler is in place before the engine's construction loads the settings: a crash while the
// load waits for the INI file's mutex (held here) leaves a dump.
TEST_F(CrashDumpTest, ACrashDuringTheSettingsLoadWritesADump)
{
    SetDumpType("0");
    platform::HANDLE hMutex = platform::CreateNamedMutexObject(L"Global\\tarvik.ini", false);
    ASSERT_NE(hMutex, platform::kInvalidHandle);
    ASSERT_EQ(platform::WaitForSingleObject(hMutex, 10000), platform::kWaitObject0);
    fs::create_directories(m_dir / "bin");
    fs::copy_file(fs::path(TARVIK_BIN_DIR) / "tarvik", m_dir / "bin/tarvik");
    CTestProcess& service = Start({}, false, (m_dir / "bin/tarvik").string());
    // The service has opened the mutex's file: it is in the load, waiting for the mutex.
    const fs::path fds = fs::path("/proc") / std::to_string(service.Pid()) / "fd";
    const bool bWaiting = tests::WaitUntil(
        [&]()
        {
            std::error_code error;
            for (const auto& entry : fs::directory_iterator(fds, error))
                if (fs::read_symlink(entry.path(), error).filename() == "Global%5Ctarvik.ini")
                    return true;
            return false;
        },
        30s);
    ASSERT_TRUE(bWaiting);
    service.Signal(SIGSEGV);
    EXPECT_EQ(WaitSignal(service), SIGSEGV);
    EXPECT_EQ(Dumps(m_dir / "bin/dumps").size(), 1u);
    EXPECT_EQ(tests::ReadFile(m_dir / "bin/tarvik.log").find("service started"), std::string::npos);
    platform::ReleaseMutexObject(hMutex);
    platform::CloseHandleObject(hMutex);
}

} // namespace
