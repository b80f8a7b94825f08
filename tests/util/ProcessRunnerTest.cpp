// Running external programs and the system's installer program, with real processes.
#include "util/ProcessRunner.h"
#include "log/ErrorCodes.h"
#include "platform/FileSystem.h"
#include "tests/support/CIsolatedEnvironment.h"
#include "tests/support/CTempDir.h"
#include "tests/support/TestFiles.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace fs = std::filesystem;

namespace
{

TEST(ProcessRunnerTest, ResultsAndErrorTexts)
{
    std::wstring szError = L"old";
    EXPECT_FALSE(RunProcessAndWait(L"", szError));
    EXPECT_EQ(szError, L"Empty path passed as parameter for running an external process.");

    szError = L"Before. ";
    const CTempDir temp("missing");
    const std::wstring szMissing =
        temp.Wide("tarvik-no-such-program") + platform::kProgramSuffix + L" --flag";
    EXPECT_FALSE(RunProcessAndWait(szMissing, szError));
    EXPECT_EQ(szError, L"Before. " + SystemErrorText(2) + L" " + szMissing);

    szError.clear();
    const std::wstring szProbe = fs::path(TARVIK_SUPPORT_PROBE).make_preferred().wstring();
    EXPECT_TRUE(RunProcessAndWait(L"\"" + szProbe + L"\" exit 7", szError))
        << "any exit code counts as success";
    EXPECT_EQ(szError, L"");
}

TEST(ProcessRunnerTest, InstallerOfTheSystemFolderGetsTheArguments)
{
    const CTempDir temp("sysdir");
    const fs::path dir = temp.Path();
    CIsolatedEnvironment environment;
    environment.Set("TARVIK_SYSTEM_DIR", dir.string().c_str());
    const std::wstring szInstaller = std::wstring(L"msiexec") + platform::kProgramSuffix;
    EXPECT_EQ(WindowsInstallerPath(), dir.wstring() + platform::kPathSeparatorText + szInstaller);
    EXPECT_FALSE(RunWindowsInstaller(L"/x{1} /qb")) << "no installer program there";

    // The probe, copied as the installer, writes down the arguments it was given.
    fs::copy_file(TARVIK_SUPPORT_PROBE, dir / szInstaller);
    environment.Set("TARVIK_PROBE_ARGS_FILE", (dir / "args").string().c_str());
    EXPECT_TRUE(RunWindowsInstaller(L"/x{1} /qb /norestart"));
    EXPECT_EQ(tests::ReadFile(dir / "args"), "/x{1}|/qb|/norestart|");
    environment.Set("TARVIK_SYSTEM_DIR", nullptr);
#ifdef _WIN32
    EXPECT_TRUE(WindowsInstallerPath().ends_with(L"\\msiexec.exe")) << "in the system folder";
#else
    EXPECT_EQ(WindowsInstallerPath(), L"/usr/sbin/msiexec");
#endif
}

} // namespace
