// The uninstall switch, the uninstall entry, and `tarvik -x` end to end: real tarvik programs, a real
// log viewer process, the real installer program and a removal script, on a registry fixture.
#include "UninstallFixture.h"
#include "shell/CUninstall.h"

#include <gtest/gtest.h>

#include <csignal>

namespace fs = std::filesystem;
using namespace uninstall_test;

namespace
{

TEST(UninstallSwitchTest, TrimmedArgumentStartingWithLowerCaseX)
{
    for (const wchar_t* szArg : {L"/x", L"-x", L"--xyz", L"\"x\"", L" /x ", L"x"})
        EXPECT_TRUE(CUninstall::IsUninstallSwitch(szArg)) << szArg;
    for (const wchar_t* szArg : {L"-X", L"--", L"/", L"", L"\" \"", L"-autostart", L"/ax"})
        EXPECT_FALSE(CUninstall::IsUninstallSwitch(szArg)) << szArg;
    EXPECT_FALSE(CUninstall::HasUninstallSwitch({L"/opt/x/xtarvik"}))
        << "the program itself is not looked at";
    EXPECT_TRUE(CUninstall::HasUninstallSwitch({L"tarvik", L"-autostart", L"/x"}));
}

TEST(UninstallSwitchTest, InstallerArgumentsFromTheUninstallCommand)
{
    EXPECT_EQ(CUninstall::InstallerArguments(L"MsiExec.exe /I{ABC}"), L"/x{ABC} /qb /norestart");
    EXPECT_EQ(CUninstall::InstallerArguments(L"MsiExec.exe /X{ABC}"), L"/X{ABC} /qb /norestart");
    // Too short to hold more than the installer's name: nothing to run, nothing read past the end.
    EXPECT_EQ(CUninstall::InstallerArguments(L""), L"");
    EXPECT_EQ(CUninstall::InstallerArguments(L"MsiExec.exe "), L"");
    EXPECT_EQ(CUninstall::InstallerArguments(L"/I"), L"");
}

TEST_F(UninstallTest, FindsTheEntryByDisplayName)
{
    EXPECT_EQ(CUninstall().FindUninstallCommand(), L"");
    SetValue("SOFTWARE/Microsoft/Windows/CurrentVersion/Uninstall/{0-other}", "DisplayName", "Other");
    SetValue("SOFTWARE/Microsoft/Windows/CurrentVersion/Uninstall/{0-other}", "UninstallString",
             "MsiExec.exe /I{0}");
    // A number is not a display name.
    SetValue("SOFTWARE/Microsoft/Windows/CurrentVersion/Uninstall/{1-dword}", "DisplayName",
             "#type=REG_DWORD\n5");
    // Names and the display name compare without regard to letter case.
    SetValue("SOFTWARE/Microsoft/Windows/CurrentVersion/Uninstall/{2-tarvik}", "displayname", "TARVIK");
    SetValue("SOFTWARE/Microsoft/Windows/CurrentVersion/Uninstall/{2-tarvik}", "uninstallstring",
             "MsiExec.exe /I{2}");
    EXPECT_EQ(CUninstall().FindUninstallCommand(), L"MsiExec.exe /I{2}");
}

TEST_F(UninstallTest, UninstallEndsTheOtherInstanceAndTheViewerAndRemovesTheProduct)
{
    AddEntry();
    CTestProcess& first = Start({(m_root / "first/tarvik").string()});
    ASSERT_TRUE(WaitForLog("first", "monitoring service started"));
    CTestProcess& viewer = Start({(m_root / "viewer/logvista").string(), "300"});

    CTestProcess& uninstall = Start({(m_root / "second/tarvik").string(), "-x"}, m_root / "msiexec.out");
    EXPECT_EQ(Wait(uninstall), 0);
    EXPECT_EQ(Wait(first), 0) << "the running instance quits by itself when asked";
    EXPECT_EQ(Wait(viewer), -1000 - SIGKILL);
    EXPECT_EQ(tests::ReadFile(m_root / "removed.txt"), "removed\n") << "the removal ran once";
    EXPECT_FALSE(fs::exists(Key("SOFTWARE/Microsoft/Windows/CurrentVersion/Run/VeltraneMonitor")));
    EXPECT_FALSE(fs::exists(Entry())) << "the installer deletes the entry after the removal";
    EXPECT_NE(tests::ReadFile(m_root / "msiexec.out").find("Removal complete"), std::string::npos);
    EXPECT_EQ(tests::ReadFile(m_root / "second/tarvik.log").find("monitoring service started"),
              std::string::npos)
        << "no engine started";
}

TEST_F(UninstallTest, WithoutAnEntryTheProgramStartsNormally)
{
    CTestProcess& program = Start({(m_root / "second/tarvik").string(), "/x"});
    ASSERT_TRUE(WaitForLog("second", "monitoring service started"));
    program.Signal(SIGTERM);
    EXPECT_EQ(Wait(program), 0);
    EXPECT_FALSE(fs::exists(m_root / "removed.txt"));
}

} // namespace
