// Helpers of the settings tests: an isolated temporary directory, byte-exact file access, UTF-16LE
// text and a child process that runs the probe program.
#pragma once

#include "config/CFMParams.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

// Settings on a file of the test's choice instead of the one beside the test program.
class CTestParams : public CFMParams
{
public:
    explicit CTestParams(const std::wstring& szIniPath) : CFMParams(szIniPath) {}
};

// Every test gets a fresh directory; the named objects and the registry live inside it.
class CConfigTest : public ::testing::Test
{
protected:
    void SetUp() override;
    void TearDown() override;

    // Path of a file inside the test's directory, as wide text and as native text.
    std::wstring WidePath(const std::string& szName) const;
    std::string NativePath(const std::string& szName) const;

    std::string m_szDir;
};

std::string ReadBytes(const std::string& szPath);
void WriteBytes(const std::string& szPath, const std::string& szBytes);
bool PathExists(const std::string& szPath);
// UTF-16LE bytes of text made of characters below U+0100 (each char widened as unsigned).
std::string Utf16Le(const std::wstring& szText);
// The lines of a UTF-16LE file after its mark, split at CR LF; empty lines dropped.
std::vector<std::wstring> Utf16Lines(const std::string& szBytes);

// The probe program (built beside the tests) run as a child process with its output on a pipe.
class CProbeProcess
{
public:
    CProbeProcess() = default;
    ~CProbeProcess();
    CProbeProcess(const CProbeProcess&) = delete;
    CProbeProcess& operator=(const CProbeProcess&) = delete;

    // Starts the probe with the arguments; szObjectsDir, when not empty, replaces TARVIK_OBJECTS_DIR.
    void Start(const std::vector<std::string>& arguments, const std::string& szObjectsDir = "");
    // Next line of the probe's output without its line end; false when none came within nTimeoutMs
    // or the output ended.
    bool ReadLine(int nTimeoutMs, std::string& szLine);
    void Kill();
    // Waits for the end of the probe; its exit status as waitpid gives it.
    int Wait();

private:
    int m_nPid = -1;
    int m_nReadFd = -1;
    std::string m_szPending;
};
