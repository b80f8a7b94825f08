// The shared test helpers on real directories and variables: what every suite relies on, on every
// system (the child processes are tried in SupportPosixTest.cpp and SupportWinTest.cpp).
#include "tests/support/CIsolatedEnvironment.h"
#include "tests/support/CTempDir.h"
#include "tests/support/TestFiles.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

namespace fs = std::filesystem;

namespace
{

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
        EXPECT_TRUE(fs::path(dir.Native("a/b")) == path / "a" / "b") << dir.Native("a/b");
        EXPECT_EQ(dir.Wide("a"), (path / "a").wstring());
        CTempDir inner("inner", dir.Path());
        nested = inner.Path();
        EXPECT_EQ(nested.parent_path(), path);
    }
    EXPECT_FALSE(tests::PathExists(path));
}

TEST(CIsolatedEnvironmentTest, SetsItsDirectoriesAndRestoresEveryVariable)
{
    tests::SetVariable("TARVIK_HEADLESS", "before");
    tests::SetVariable("TARVIK_SUPPORT_PROBE", nullptr);
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
    tests::SetVariable("TARVIK_HEADLESS", nullptr);
}

TEST(TestFilesTest, Utf16IniAndWaiting)
{
    EXPECT_EQ(tests::Utf16Ini(L"a\x20AC"), std::string("\xFF\xFE"
                                                       "a\0\xAC\x20",
                                                       6));
    // A character beyond U+FFFF: a pair of units as it stands, and (where wchar_t has 32 bits) one
    // wide character becomes that pair.
    EXPECT_EQ(tests::Utf16Le(L"\xD83D\xDE00"), std::string("\x3D\xD8\x00\xDE", 4));
    if constexpr (sizeof(wchar_t) == 4)
    {
        EXPECT_EQ(tests::Utf16Le(std::wstring(1, static_cast<wchar_t>(0x1F600))),
                  std::string("\x3D\xD8\x00\xDE", 4));
    }
    EXPECT_EQ(tests::Utf16Ini("K=v"), tests::Utf16Ini(L"K=v"));
    EXPECT_EQ(tests::Utf16Lines(tests::Utf16Ini(L"[A]\r\n\r\nK=\xE4\r\n")),
              (std::vector<std::wstring>{L"[A]", L"K=\xE4"}));

    int nAsked = 0;
    EXPECT_TRUE(tests::WaitUntil([&] { return ++nAsked == 3; }));
    EXPECT_EQ(nAsked, 3);
    EXPECT_FALSE(tests::WaitUntil([] { return false; }, std::chrono::milliseconds(50)));
}

} // namespace
