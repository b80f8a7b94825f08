// Fixture of the uninstall tests: copies of tarvik and the installer program, a log viewer process
// stand-in, and a registry fixture in a temporary directory.
#pragma once

#include "platform/FileSystem.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace uninstall_test
{

namespace fs = std::filesystem;
using namespace std::chrono_literals;

inline const std::string kCode = "{6F1C2A3B-1234-4ABC-9DEF-0123456789AB}";

inline std::string ReadAll(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

class UninstallTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        char szTemplate[] = "/tmp/tarvik-uninstall-XXXXXX";
        ASSERT_NE(::mkdtemp(szTemplate), nullptr);
        m_root = szTemplate;
        for (const char* szDir : {"first", "second", "sys", "obj", "viewer"})
            fs::create_directories(m_root / szDir);
        // Two copies of the program, so that each has its own log beside it.
        fs::copy_file(fs::path(TARVIK_BIN_DIR) / "tarvik", m_root / "first/tarvik");
        fs::copy_file(fs::path(TARVIK_BIN_DIR) / "tarvik", m_root / "second/tarvik");
        fs::copy_file(fs::path(TARVIK_BIN_DIR) / "msiexec", m_root / "sys/msiexec");
        fs::copy_file("/bin/sleep", m_root / "viewer/logvista");
        ::setenv("TARVIK_REGISTRY_DIR", (m_root / "reg").c_str(), 1);
        ::setenv("TARVIK_OBJECTS_DIR", (m_root / "obj").c_str(), 1);
        ::setenv("TARVIK_SYSTEM_DIR", (m_root / "sys").c_str(), 1);
        ::setenv("TARVIK_HEADLESS", "1", 1);
        SetValue("SOFTWARE/Microsoft/Windows/CurrentVersion/Run", "VeltraneMonitor",
                 "/opt/tarvik/tarvik -autostart");
    }
    void TearDown() override
    {
        for (pid_t nPid : m_children)
        {
            ::kill(nPid, SIGKILL);
            ::waitpid(nPid, nullptr, 0);
        }
        fs::remove_all(m_root);
    }

    fs::path Key(const std::string& szKey) const { return m_root / "reg/HKEY_LOCAL_MACHINE" / szKey; }
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

    pid_t Start(const std::vector<std::string>& args, const fs::path& output = fs::path())
    {
        const pid_t nPid = ::fork();
        if (nPid == 0)
        {
            if (!output.empty())
            {
                std::FILE* pOut = std::freopen(output.c_str(), "w", stdout);
                (void)pOut;
            }
            std::vector<char*> argv;
            for (const std::string& sz : args)
                argv.push_back(const_cast<char*>(sz.c_str()));
            argv.push_back(nullptr);
            ::execv(argv[0], argv.data());
            ::_exit(127);
        }
        m_children.push_back(nPid);
        return nPid;
    }

    // Waits for a child; its exit code, or 128 + the signal that ended it, or -1 after 60 seconds.
    int Wait(pid_t nPid)
    {
        for (int i = 0; i < 6000; ++i)
        {
            int nStatus = 0;
            if (::waitpid(nPid, &nStatus, WNOHANG) == nPid)
            {
                std::erase(m_children, nPid);
                return WIFEXITED(nStatus) ? WEXITSTATUS(nStatus) : 128 + WTERMSIG(nStatus);
            }
            std::this_thread::sleep_for(10ms);
        }
        return -1;
    }

    bool WaitForLog(const std::string& szDir, const std::string& szText)
    {
        for (int i = 0; i < 3000; ++i)
        {
            if (ReadAll(m_root / szDir / "tarvik.log").find(szText) != std::string::npos)
                return true;
            std::this_thread::sleep_for(10ms);
        }
        return false;
    }

    fs::path m_root;
    std::vector<pid_t> m_children;
};

} // namespace uninstall_test
