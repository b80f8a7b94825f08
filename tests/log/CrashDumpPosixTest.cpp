// Crash dumps on Linux: the registry stand-in's value file read at the crash, the dump's mode and its
// folder's, LLDB's reading of a dump, abort and a fault signal sent by another process, and a crash
// of the service program, running or while it loads its settings.
#include "tests/log/CrashDumpTest.h"

#include "platform/KernelObjects.h"
#include "tests/support/TestFiles.h"

#include <algorithm>
#include <chrono>
#include <fstream>
#include <regex>

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace
{

class CrashDumpPosixTest : public CrashDumpTest
{
protected:
    // Writes the value file of "DumpType" in the registry stand-in as it is.
    void WriteDumpTypeFile(const std::string& szText)
    {
        const fs::path key = m_environment.RegistryDir() / "HKEY_LOCAL_MACHINE/Software/Nordal/Halvane";
        fs::create_directories(key);
        std::ofstream(key / "DumpType") << szText;
    }

    // The signal that ended the process; 0 when it ended otherwise.
    static int WaitSignal(CTestProcess& process)
    {
        const int nResult = process.Wait();
        return nResult <= -1000 ? -1000 - nResult : 0;
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
};

TEST_F(CrashDumpPosixTest, NullWriteAndAbortGiveDumpsThatLldbReads)
{
    WriteDumpTypeFile("0\n");
    CTestProcess& probe = Start({"null"});
    const int nPid = probe.Pid();
    ASSERT_EQ(WaitSignal(probe), SIGSEGV) << "the default action still ends the process";
    std::vector<fs::path> dumps = Dumps();
    ASSERT_EQ(dumps.size(), 1u);
    std::smatch match;
    const std::string szName = dumps[0].filename().string();
    ASSERT_TRUE(std::regex_match(szName, match, std::regex(R"(coredump-(\d+)-(\d+)-(\d{17})\.dmp)")));
    EXPECT_EQ(match[2].str(), std::to_string(nPid)) << "the main thread faulted";
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

    WriteDumpTypeFile("#type=REG_DWORD\n2\n");
    ASSERT_EQ(WaitSignal(Start({"abort"})), SIGABRT);
    dumps = Dumps();
    ASSERT_EQ(dumps.size(), 1u);
    const std::vector<uint32_t> fullTypes = StreamTypes(dumps[0]);
    EXPECT_EQ(std::count(fullTypes.begin(), fullTypes.end(), 9u), 1) << "full memory";
    szOutput = Lldb(dumps[0]);
    EXPECT_NE(szOutput.find("CrashProbeAbort"), std::string::npos) << szOutput;
}

TEST_F(CrashDumpPosixTest, SignalFromAnotherProcess)
{
    WriteDumpTypeFile("0");
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
}

TEST_F(CrashDumpPosixTest, TheServiceProgramHasTheHandler)
{
    WriteDumpTypeFile("0");
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

// The handler is in place before the engine's construction loads the settings: a crash while the
// load waits for the INI file's mutex (held here) leaves a dump.
TEST_F(CrashDumpPosixTest, ACrashDuringTheSettingsLoadWritesADump)
{
    WriteDumpTypeFile("0");
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
