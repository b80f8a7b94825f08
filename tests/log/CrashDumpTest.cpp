// Crash dumps of a real program that links the handler and crashes: whether a file is written, its
// name, its streams, and LLDB's reading of it.
#include "log/CCrashDumpHandler.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace
{

class CrashDumpTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        char szTemplate[] = "/tmp/tarvik-crash-XXXXXX";
        ASSERT_NE(::mkdtemp(szTemplate), nullptr);
        m_dir = szTemplate;
        fs::create_directories(KeyDirectory());
    }
    void TearDown() override { fs::remove_all(m_dir); }

    fs::path KeyDirectory() const { return m_dir / "reg/HKEY_LOCAL_MACHINE/Software/Nordal/Halvane"; }
    void SetDumpType(const std::string& szText) { std::ofstream(KeyDirectory() / "DumpType") << szText; }

    // Starts the probe in the test directory with the registry fixture; returns its pid.
    pid_t Start(const std::vector<std::string>& args, int* pStdout = nullptr,
                const char* szProgram = CRASH_PROBE)
    {
        int pipeFds[2] = {-1, -1};
        if (pStdout != nullptr && ::pipe(pipeFds) != 0)
            return -1;
        const pid_t nPid = ::fork();
        if (nPid == 0)
        {
            if (pStdout != nullptr)
                ::dup2(pipeFds[1], 1);
            if (::chdir(m_dir.c_str()) != 0)
                ::_exit(127);
            ::setenv("TARVIK_REGISTRY_DIR", (m_dir / "reg").c_str(), 1);
            ::setenv("TARVIK_OBJECTS_DIR", (m_dir / "obj").c_str(), 1);
            ::setenv("TARVIK_HEADLESS", "1", 1);
            std::vector<char*> argv{const_cast<char*>(szProgram)};
            for (const std::string& sz : args)
                argv.push_back(const_cast<char*>(sz.c_str()));
            argv.push_back(nullptr);
            ::execv(szProgram, argv.data());
            ::_exit(127);
        }
        if (pStdout != nullptr)
        {
            ::close(pipeFds[1]);
            *pStdout = pipeFds[0];
        }
        return nPid;
    }

    static int WaitSignal(pid_t nPid)
    {
        int nStatus = 0;
        if (::waitpid(nPid, &nStatus, 0) != nPid || !WIFSIGNALED(nStatus))
            return 0;
        return WTERMSIG(nStatus);
    }

    std::vector<fs::path> Dumps() const
    {
        std::vector<fs::path> dumps;
        for (const auto& entry : fs::directory_iterator(m_dir))
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
        const std::string szCommand =
            "lldb --batch --core '" + dump.string() + "' -o 'thread backtrace' 2>&1";
        std::string szOutput;
        if (FILE* pPipe = ::popen(szCommand.c_str(), "r"))
        {
            char buffer[4096];
            size_t n = 0;
            while ((n = std::fread(buffer, 1, sizeof(buffer), pPipe)) > 0)
                szOutput.append(buffer, n);
            ::pclose(pPipe);
        }
        return szOutput;
    }

    fs::path m_dir;
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
    const pid_t nPid = Start({"null"});
    ASSERT_EQ(WaitSignal(nPid), SIGSEGV) << "the default action still ends the process";
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
    int nStdout = -1;
    const pid_t nWaiting = Start({"wait"}, &nStdout);
    char buffer[8] = {};
    ASSERT_GT(::read(nStdout, buffer, sizeof(buffer) - 1), 0);
    ::close(nStdout);
    ASSERT_EQ(::kill(nWaiting, SIGSEGV), 0);
    EXPECT_EQ(WaitSignal(nWaiting), SIGSEGV);
    ASSERT_EQ(Dumps().size(), 1u);
    EXPECT_NE(Dumps()[0].filename().string().find("coredump-" + std::to_string(nWaiting) + "-"),
              std::string::npos);
    fs::remove(Dumps()[0]);

    // Both crash at the same instant: the process ids keep the names apart.
    const long long nAt = std::chrono::duration_cast<std::chrono::milliseconds>(
                              std::chrono::system_clock::now().time_since_epoch())
                              .count() +
                          300;
    const pid_t nFirst = Start({"null", std::to_string(nAt)});
    const pid_t nSecond = Start({"null", std::to_string(nAt)});
    EXPECT_EQ(WaitSignal(nFirst), SIGSEGV);
    EXPECT_EQ(WaitSignal(nSecond), SIGSEGV);
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
    const pid_t nPid = Start({}, nullptr, szProgram.c_str());
    bool bStarted = false;
    for (int i = 0; i < 3000 && !bStarted; ++i, ::usleep(10000))
    {
        std::ifstream log(m_dir / "bin/tarvik.log");
        bStarted =
            std::string(std::istreambuf_iterator<char>(log), {}).find("service started") != std::string::npos;
    }
    ASSERT_TRUE(bStarted);
    ASSERT_EQ(::kill(nPid, SIGSEGV), 0);
    EXPECT_EQ(WaitSignal(nPid), SIGSEGV);
    ASSERT_EQ(Dumps().size(), 1u);
    EXPECT_EQ(StreamTypes(Dumps()[0]).size(), 7u);
}

} // namespace
