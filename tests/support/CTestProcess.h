// A child process of a test: started from an argument list (no shell unless asked for), with its
// output to a file or a pipe, its own working directory and extra variables; waited for, signalled
// or killed. The destructor kills and reaps a child that is still running. One thread only.
//
//     CTestProcess probe;
//     ASSERT_TRUE(probe.Start({TARVIK_INI_PROBE, "read"}, {.m_bPipeOutput = true}));
//     ASSERT_TRUE(probe.ReadLine(60000, szLine));
//     EXPECT_EQ(probe.Wait(), 0);
#pragma once

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

// How a child of a test is started (see CTestProcess::Start).
struct STestProcessOptions
{
    std::filesystem::path m_workingDir; // empty: the test's own
    std::filesystem::path m_outputFile; // standard output and error go there (empty: inherited)
    bool m_bAppendOutput = false;       // append to m_outputFile instead of truncating it
    bool m_bPipeOutput = false;         // standard output to a pipe read by ReadLine/ReadAll
    bool m_bPipeErrors = false;         // with m_bPipeOutput: standard error into the same pipe
    bool m_bQuietErrors = false;        // standard error to /dev/null (unless m_outputFile)
    std::vector<std::pair<std::string, std::string>> m_environment; // set in the child only
};

class CTestProcess
{
public:
    using SOptions = STestProcessOptions;

    CTestProcess() = default;
    ~CTestProcess();
    CTestProcess(const CTestProcess&) = delete;
    CTestProcess& operator=(const CTestProcess&) = delete;

    // Starts the program; a first argument without '/' is looked up on PATH. False (see Error) when
    // it could not be started.
    bool Start(const std::vector<std::string>& args, const SOptions& options = SOptions());

    // The next line of piped output without its line end; false when none came within nTimeoutMs or
    // the output ended.
    bool ReadLine(int nTimeoutMs, std::string& szLine);
    // The rest of the piped output, up to its end.
    std::string ReadAll();

    // Sends the signal; Kill sends SIGKILL.
    void Signal(int nSignal);
    void Kill();
    // Waits for the end: the exit code, -1000 - the signal that ended it, or -1 when none was running.
    int Wait();
    // As Wait, but false when the child is still running after nTimeoutMs.
    bool WaitFor(int nTimeoutMs, int& nResult);
    bool Running() const { return m_nPid > 0; }
    int Pid() const { return m_nPid; }
    const std::string& Error() const { return m_szError; }
    // A memory figure of the running child in KiB from /proc/<pid>/status, szField naming it
    // ("VmRSS", "VmHWM"); -1 when it cannot be read.
    long MemoryKiB(const char* szField) const;

    // Kills the process of that id; it is not reaped here. kKilledExitCode is the exit code that the
    // platform layer's WaitForProcess then reports for it.
    static void KillId(int nPid);
    static const unsigned kKilledExitCode;

    // Runs the program to its end: the result of Wait, or -1 when it could not be started.
    static int Run(const std::vector<std::string>& args, const SOptions& options = SOptions());
    // Runs a command line through /bin/sh to its end; the result of Wait.
    static int Shell(const std::string& szCommand);
    // Runs the program to its end and returns its standard output (standard error is dropped);
    // *pnResult, when given, gets the result of Wait.
    static std::string Output(const std::vector<std::string>& args, int* pnResult = nullptr);

private:
    static int Decode(int nStatus);

    int m_nPid = -1;
    int m_hOutput = -1;
    std::string m_szPending;
    std::string m_szError;
};
