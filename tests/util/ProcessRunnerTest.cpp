// Running external programs and the system's installer program, with real processes.
#include "util/ProcessRunner.h"
#include "log/ErrorCodes.h"
#include "tests/support/CIsolatedEnvironment.h"
#include "tests/support/CTempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

namespace
{

TEST(ProcessRunnerTest, ResultsAndErrorTexts)
{
    std::wstring szError = L"old";
    EXPECT_FALSE(RunProcessAndWait(L"", szError));
    EXPECT_EQ(szError, L"Empty path passed as parameter for running an external process.");

    szError = L"Before. ";
    const std::wstring szMissing = L"/nonexistent/tarvik-no-such-program --flag";
    EXPECT_FALSE(RunProcessAndWait(szMissing, szError));
    EXPECT_EQ(szError, L"Before. " + SystemErrorText(2) + L" " + szMissing);

    szError.clear();
    EXPECT_TRUE(RunProcessAndWait(L"sh -c \"exit 7\"", szError)) << "any exit code counts as success";
    EXPECT_EQ(szError, L"");
}

TEST(ProcessRunnerTest, InstallerOfTheSystemFolderGetsTheArguments)
{
    const CTempDir temp("sysdir");
    const fs::path dir = temp.Path();
    CIsolatedEnvironment environment;
    environment.Set("TARVIK_SYSTEM_DIR", dir.c_str());
    EXPECT_EQ(WindowsInstallerPath(), dir.wstring() + L"/msiexec");
    EXPECT_FALSE(RunWindowsInstaller(L"/x{1} /qb")) << "no installer program there";

    std::ofstream(dir / "msiexec") << "#!/bin/sh\nprintf '%s|' \"$@\" > '" << (dir / "args").string()
                                   << "'\n";
    fs::permissions(dir / "msiexec", fs::perms::owner_all);
    EXPECT_TRUE(RunWindowsInstaller(L"/x{1} /qb /norestart"));
    std::stringstream ss;
    ss << std::ifstream(dir / "args").rdbuf();
    EXPECT_EQ(ss.str(), "/x{1}|/qb|/norestart|");
    environment.Set("TARVIK_SYSTEM_DIR", nullptr);
    EXPECT_EQ(WindowsInstallerPath(), L"/usr/sbin/msiexec");
}

} // namespace
