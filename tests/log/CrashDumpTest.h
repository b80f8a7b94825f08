// The fixture of the crash dump suites: a copy of the crash probe (CrashProbe.cpp) in a test folder,
// which is then its data folder, and the registry value "DumpType" that asks for dumps (restored
// afterwards: on Windows it is the machine's registry).
#pragma once

#include "platform/Registry.h"
#include "tests/support/CIsolatedEnvironment.h"
#include "tests/support/CTempDir.h"
#include "tests/support/CTestProcess.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

// How a process that died of a fault ends (CTestProcess::Wait): by the signal on Linux, with the
// exception code as its exit code on Windows.
#ifdef _WIN32
inline constexpr int kEndedByAccessViolation = static_cast<int>(0xC0000005u);
inline constexpr int kEndedByIllegalInstruction = static_cast<int>(0xC000001Du);
#else
inline constexpr int kEndedByAccessViolation = -1000 - SIGSEGV;
inline constexpr int kEndedByIllegalInstruction = -1000 - SIGILL;
#endif

class CrashDumpTest : public ::testing::Test
{
protected:
    CrashDumpTest();
    void SetUp() override;
    void TearDown() override;

    // Sets "DumpType" as a string or as a number.
    void SetDumpType(const std::wstring& szText);
    void SetDumpTypeNumber(uint32_t nType);

    // Starts the probe (or szProgram) in the test directory, its output piped when asked; the fixture
    // kills what is still running at the end.
    CTestProcess& Start(const std::vector<std::string>& args, bool bPipeOutput = false,
                        const std::string& szProgram = std::string());

    // The dumps ("coredump-*") of the folder, by default the probe's dumps folder.
    std::vector<std::filesystem::path> Dumps(const std::filesystem::path& folder = {}) const;

    // Stream types listed in a dump's directory; empty when the header is not a minidump's.
    static std::vector<uint32_t> StreamTypes(const std::filesystem::path& dump);

    CIsolatedEnvironment m_environment;
    CTempDir m_temp;
    const std::filesystem::path m_dir;
    const std::filesystem::path m_probe;
    std::deque<CTestProcess> m_children;

private:
    platform::CRegistryKey m_key;
    std::optional<std::wstring> m_savedText;
    std::optional<uint32_t> m_savedNumber;
};
