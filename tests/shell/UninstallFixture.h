// Fixture of the uninstall tests: copies of tarvik and the installer program, a log viewer process
// stand-in, and a registry fixture in a temporary directory.
#pragma once

#include "tests/support/CIsolatedEnvironment.h"
#include "tests/support/CTempDir.h"
#include "tests/support/CTestProcess.h"
#include "tests/support/TestFiles.h"

#include <gtest/gtest.h>

#include <chrono>
#include <deque>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace uninstall_test
{

namespace fs = std::filesystem;
using namespace std::chrono_literals;

inline const std::string kCode = "{6F1C2A3B-1234-4ABC-9DEF-0123456789AB}";

class UninstallTest : public ::testing::Test
{
protected:
    UninstallTest() : m_environment(CIsolatedEnvironment::kHeadless), m_dir("uninstall"), m_root(m_dir.Path())
    {
    }

    void SetUp() override
    {
        for (const char* szDir : {"first", "second", "sys", "viewer"})
            fs::create_directories(m_root / szDir);
        // Two copies of the program, so that each has its own log beside it.
        fs::copy_file(fs::path(TARVIK_BIN_DIR) / "tarvik", m_root / "first/tarvik");
        fs::copy_file(fs::path(TARVIK_BIN_DIR) / "tarvik", m_root / "second/tarvik");
        fs::copy_file(fs::path(TARVIK_BIN_DIR) / "msiexec", m_root / "sys/msiexec");
        fs::copy_file("/bin/sleep", m_root / "viewer/logvista");
        m_environment.Set("TARVIK_SYSTEM_DIR", (m_root / "sys").c_str());
        SetValue("SOFTWARE/Microsoft/Windows/CurrentVersion/Run", "VeltraneMonitor",
                 "/opt/tarvik/tarvik -autostart");
    }

    fs::path Key(const std::string& szKey) const
    {
        return m_environment.RegistryDir() / "HKEY_LOCAL_MACHINE" / szKey;
    }
    void SetValue(const std::string& szKey, const std::string& szName, const std::string& szText)
    {
        fs::create_directories(Key(szKey));
        std::ofstream(Key(szKey) / szName) << szText << "\n";
    }
    fs::path Entry() const { return Key("SOFTWARE/Microsoft/Windows/CurrentVersion/Uninstall/" + kCode); }

    // The product's entry; the removal script counts its runs in removed.txt.
    void AddEntry()
    {
        const std::string szKey = "SOFTWARE/Microsoft/Windows/CurrentVersion/Uninstall/" + kCode;
        SetValue(szKey, "DisplayName", "Tarvik");
        SetValue(szKey, "UninstallString", "MsiExec.exe /I" + kCode);
        const fs::path script = m_root / "remove.sh";
        std::ofstream(script) << "#!/bin/sh\necho removed >> '" << (m_root / "removed.txt").string() << "'\n";
        fs::permissions(script, fs::perms::owner_all);
        SetValue(szKey, "RemovalCommand", script.string());
    }

    // Starts the program, its output into the file when one is given; the fixture kills what is
    // still running at the end.
    CTestProcess& Start(const std::vector<std::string>& args, const fs::path& output = fs::path())
    {
        CTestProcess& process = m_children.emplace_back();
        CTestProcess::SOptions options;
        options.m_outputFile = output;
        EXPECT_TRUE(process.Start(args, options)) << process.Error();
        return process;
    }

    // Waits for a child: the result of CTestProcess::Wait, or -1 when it still runs after 60 seconds.
    static int Wait(CTestProcess& process)
    {
        int nResult = -1;
        return process.WaitFor(60000, nResult) ? nResult : -1;
    }

    bool WaitForLog(const std::string& szDir, const std::string& szText) const
    {
        return tests::WaitUntil(
            [&]()
            { return tests::ReadFile(m_root / szDir / "tarvik.log").find(szText) != std::string::npos; },
            30s);
    }

    CIsolatedEnvironment m_environment;
    CTempDir m_dir;
    const fs::path m_root;
    std::deque<CTestProcess> m_children;
};

} // namespace uninstall_test
