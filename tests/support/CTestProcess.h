// A child process of a test: started from an argument list (no shell unless asked for), with its
// output to a file or a pipe, its own working directory and extra variables; waited for, signalled
// or killed. The destructor kills and reaps a child that is still running. One thread only.
// CTestProcess.cpp holds the portable part, CTestProcess_posix.cpp (posix_spawn) and
// CTestProcess_win.cpp (CreateProcessW) the rest.
//
// Windows has no signals. There Signal ends the child at once with TerminateProcess (exit code
// 128 + the signal's number, so no handler of the child runs: a SIGTERM gives it no chance to
// tidy up), and Wait reports -1000 - the signal for such a child, as on Linux. Shell runs the
// command through cmd.exe instead of /bin/sh, m_bQuietErrors sends standard error to NUL, and
// MemoryKiB reads the working set (VmRSS) or its peak (VmHWM).
//
// Under Wine, a Linux program (a first argument that is an absolute Unix path, such as
// /usr/bin/python3, to a file that is no Windows program) starts without a process handle or standard
// handles. Such a child runs inside /bin/sh, which records its process id, output and exit status in a folder
// of its own that this side reads; Signal sends the real signal through /bin/kill. Its arguments are passed
// as they are: paths among them must be host paths (Wine.h, HostPath).
//
//     CTestProcess probe;
//     ASSERT_TRUE(probe.Start({TARVIK_INI_PROBE, "read"}, {.m_bPipeOutput = true}));
//     ASSERT_TRUE(probe.ReadLine(60000, szLine));
//     EXPECT_EQ(probe.Wait(), 0);
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
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

class CTempDir;

class CTestProcess
{
public:
    using SOptions = STestProcessOptions;

    CTestProcess() = default;
    ~CTestProcess();
    CTestProcess(const CTestProcess&) = delete;
    CTestProcess& operator=(const CTestProcess&) = delete;

    // Starts the program; a first argument without '/' is looked up on PATH (on Windows, where
    // CreateProcessW looks: the program's folder, the working folder, the system and PATH). False (see Error)
    // when it could not be started.
    bool Start(const std::vector<std::string>& args, const SOptions& options = SOptions());

    // The next line of piped output without its line end (LF or CR LF); false when none came within
    // nTimeoutMs or the output ended.
    bool ReadLine(int nTimeoutMs, std::string& szLine);
    // The rest of the piped output, up to its end.
    std::string ReadAll();

    // Sends the signal (on Windows: ends the child, see above); Kill sends SIGKILL (9).
    void Signal(int nSignal);
    void Kill();
    static constexpr int kKillSignal = 9;
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
    // Runs a command line through /bin/sh (Windows: cmd.exe /c) to its end; the result of Wait.
    static int Shell(const std::string& szCommand);
    // Runs the program to its end and returns its standard output (standard error is dropped);
    // *pnResult, when given, gets the result of Wait.
    static std::string Output(const std::vector<std::string>& args, int* pnResult = nullptr);

private:
    // Appends to m_szPending what the output pipe delivers within nTimeoutMs (negative: waits for
    // data without limit); false at the time-out, at the end of the output, or without a pipe.
    bool ReadSome(int nTimeoutMs);
    // Closes the output pipe.
    void CloseOutput();
    // Windows under Wine: starts a Linux program inside /bin/sh (see above).
    bool StartHostProgram(const std::vector<std::string>& args, const SOptions& options);

    int m_nPid = -1;
    int m_hOutput = -1;                   // Linux: the pipe's descriptor
    void* m_hProcess = nullptr;           // Windows: the child's process handle
    void* m_hOutputPipe = nullptr;        // Windows: the pipe's read end
    int m_nSignalSent = 0;                // Windows: the signal that Signal ended the child with
    bool m_bShellCommand = false;         // Windows: the last argument goes to cmd.exe as it stands
    std::unique_ptr<CTempDir> m_pHostDir; // Wine: the folder of a Linux child's pid, output, status
    uint64_t m_nHostRead = 0;             // Wine: how much of that child's output was read
    std::string m_szPending;
    std::string m_szError;
};
