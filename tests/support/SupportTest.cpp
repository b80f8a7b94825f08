// The shared test helpers on real processes, directories and variables: what every suite relies on.
#include "tests/support/CIsolatedEnvironment.h"
#include "tests/support/CTempDir.h"
#include "tests/support/CTestProcess.h"
#include "tests/support/TestFiles.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

namespace fs = std::filesystem;

namespace
{

TEST(CTestProcessTest, ResultsOutputEnvironmentAndWorkingDirectory)
{
    EXPECT_EQ(CTestProcess::Shell("exit 7"), 7);
    EXPECT_EQ(CTestProcess::Shell("kill -9 $$"), -1009);
    CTestProcess missing;
    EXPECT_FALSE(missing.Start({"tarvik-no-such-program"}));
    EXPECT_NE(missing.Error().find("tarvik-no-such-program"), std::string::npos);
    EXPECT_EQ(CTestProcess::Run({"tarvik-no-such-program"}), -1);

    // Standard output only; standard error is dropped.
    EXPECT_EQ(CTestProcess::Output({"/bin/sh", "-c", "echo out; echo err >&2"}), "out\n");

    CTempDir dir;
    CTestProcess child;
    CTestProcess::SOptions options;
    options.m_bPipeOutput = true;
    options.m_workingDir = dir.Path();
    options.m_environment = {{"TARVIK_SUPPORT_PROBE", "child value"}, {"HOME", "/nowhere"}};
    ASSERT_TRUE(child.Start({"/bin/sh", "-c", "pwd; echo \"$TARVIK_SUPPORT_PROBE|$HOME\"; exec sleep 600"}, options));
    std::string szLine;
    ASSERT_TRUE(child.ReadLine(60000, szLine));
    EXPECT_EQ(fs::canonical(szLine), fs::canonical(dir.Path()));
    ASSERT_TRUE(child.ReadLine(60000, szLine));
    EXPECT_EQ(szLine, "child value|/nowhere");
    EXPECT_EQ(std::getenv("TARVIK_SUPPORT_PROBE"), nullptr) << "the variable is the child's alone";
    EXPECT_FALSE(child.ReadLine(100, szLine)) << "nothing more while the child waits";
    int nResult = 0;
    EXPECT_FALSE(child.WaitFor(0, nResult));
    child.Kill();
    EXPECT_EQ(child.Wait(), -1009);

    // Output files are truncated, or appended to when asked.
    CTestProcess::SOptions toFile;
    toFile.m_outputFile = dir.Path() / "out.txt";
    ASSERT_EQ(CTestProcess::Run({"/bin/sh", "-c", "echo one; echo two >&2"}, toFile), 0);
    EXPECT_EQ(tests::ReadFile(toFile.m_outputFile), "one\ntwo\n");
    toFile.m_bAppendOutput = true;
    ASSERT_EQ(CTestProcess::Run({"echo", "three"}, toFile), 0);
    EXPECT_EQ(tests::ReadFile(toFile.m_outputFile), "one\ntwo\nthree\n");
}

TEST(CTempDirTest, GoesWithEverythingInItAndTakesABase)
{
    fs::path path;
    fs::path nested;
    {
        CTempDir dir("support");
        path = dir.Path();
        EXPECT_EQ(path.filename().string().rfind("tarvik-support-", 0), 0u);
        fs::create_directories(dir.Path() / "a" / "b");
        ASSERT_TRUE(tests::WriteFile(dir.Path() / "a" / "b" / "f.txt", "x"));
        fs::permissions(dir.Path() / "a", fs::perms::owner_read | fs::perms::owner_exec);
        EXPECT_EQ(dir.Native("a/b"), (path / "a" / "b").string());
        EXPECT_EQ(dir.Wide("a"), (path / "a").wstring());
        CTempDir inner("inner", dir.Path());
        nested = inner.Path();
        EXPECT_EQ(nested.parent_path(), path);
    }
    EXPECT_FALSE(tests::PathExists(path));
}

TEST(CIsolatedEnvironmentTest, SetsItsDirectoriesAndRestoresEveryVariable)
{
    ::setenv("TARVIK_HEADLESS", "before", 1);
    ::unsetenv("TARVIK_SUPPORT_PROBE");
    const char* szObjectsBefore = std::getenv("TARVIK_OBJECTS_DIR");
    const std::string szSaved = szObjectsBefore ? szObjectsBefore : "";
    {
        CIsolatedEnvironment environment(CIsolatedEnvironment::kHeadless | CIsolatedEnvironment::kPdfLibrary);
        EXPECT_EQ(std::getenv("TARVIK_OBJECTS_DIR"), environment.ObjectsDir().string());
        EXPECT_EQ(std::getenv("TARVIK_REGISTRY_DIR"), environment.RegistryDir().string());
        EXPECT_TRUE(fs::is_directory(environment.ObjectsDir()));
        EXPECT_TRUE(fs::is_directory(environment.RegistryDir()));
        EXPECT_STREQ(std::getenv("TARVIK_HEADLESS"), "1");
        EXPECT_STREQ(std::getenv("TARVIK_LIBRARY_PATH"), TARVIK_BIN_DIR);
        environment.Set("TARVIK_SUPPORT_PROBE", "x");
        environment.Set("TARVIK_HEADLESS", nullptr);
        EXPECT_EQ(std::getenv("TARVIK_HEADLESS"), nullptr);
    }
    EXPECT_STREQ(std::getenv("TARVIK_HEADLESS"), "before") << "the first value seen comes back";
    EXPECT_EQ(std::getenv("TARVIK_SUPPORT_PROBE"), nullptr);
    EXPECT_EQ(szObjectsBefore ? std::string(std::getenv("TARVIK_OBJECTS_DIR")) : std::string(), szSaved);
    ::unsetenv("TARVIK_HEADLESS");
}

TEST(TestFilesTest, Utf16IniAndWaiting)
{
    EXPECT_EQ(tests::Utf16Ini(L"a\x20AC"), std::string("\xFF\xFE"
                                                       "a\0\xAC\x20",
                                                       6));
    EXPECT_EQ(tests::Utf16Le(std::wstring(1, static_cast<wchar_t>(0x1F600))),
              std::string("\x3D\xD8\x00\xDE", 4));
    EXPECT_EQ(tests::Utf16Ini("K=v"), tests::Utf16Ini(L"K=v"));
    EXPECT_EQ(tests::Utf16Lines(tests::Utf16Ini(L"[A]\r\n\r\nK=\xE4\r\n")),
              (std::vector<std::wstring>{L"[A]", L"K=\xE4"}));

    int nAsked = 0;
    EXPECT_TRUE(tests::WaitUntil([&] { return ++nAsked == 3; }));
    EXPECT_EQ(nAsked, 3);
    EXPECT_FALSE(tests::WaitUntil([] { return false; }, std::chrono::milliseconds(50)));
}

} // namespace
