// Files of the data folder (the contract): only a regular file with a single link is read; the file
// that names the data folder is trusted only when its owner alone may write it.
#include "platform/DataFile.h"

#include "platform/FileSystem.h"
#include "platform/SysError.h"
#include "tests/support/CTempDir.h"
#include "tests/support/TestFiles.h"
#include "tests/support/Wine.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace fs = std::filesystem;
using namespace platform;

TEST(DataFileTest, OnlyARegularFileWithOneLinkIsRead)
{
    CTempDir dir("data");
    tests::WriteFile(dir.Path() / "plain", "settings");
    tests::WriteFile(dir.Path() / "elsewhere", "someone else's");
    fs::create_hard_link(dir.Path() / "elsewhere", dir.Path() / "hard");
    fs::create_directory(dir.Path() / "folder");

    std::string szBytes;
    EXPECT_TRUE(ReadDataFile(dir.Wide("plain"), szBytes));
    EXPECT_EQ(szBytes, "settings");
    EXPECT_TRUE(IsAcceptableDataFile(dir.Wide("plain")));
    EXPECT_TRUE(IsAcceptableDataFile(dir.Wide("missing")));
    EXPECT_FALSE(ReadDataFile(dir.Wide("missing"), szBytes));
    EXPECT_EQ(GetLastError(), kErrorFileNotFound);
    for (const char* szName : {"hard", "folder"})
    {
        EXPECT_FALSE(ReadDataFile(dir.Wide(szName), szBytes)) << szName;
        EXPECT_EQ(GetLastError(), kErrorAccessDenied) << szName;
        EXPECT_TRUE(szBytes.empty()) << szName;
        EXPECT_FALSE(IsAcceptableDataFile(dir.Wide(szName))) << szName;
    }
}

TEST(DataFileTest, ASymbolicLinkIsNeverRead)
{
    TARVIK_SKIP_UNDER_WINE("CreateSymbolicLinkW is a stub that reports success and creates nothing");
    CTempDir dir("data");
    tests::WriteFile(dir.Path() / "elsewhere", "someone else's");
    fs::create_symlink(dir.Path() / "elsewhere", dir.Path() / "soft");
    std::string szBytes;
    EXPECT_FALSE(ReadDataFile(dir.Wide("soft"), szBytes));
    EXPECT_EQ(GetLastError(), kErrorAccessDenied);
    EXPECT_TRUE(szBytes.empty());
    EXPECT_FALSE(IsAcceptableDataFile(dir.Wide("soft")));
}

TEST(DataFileTest, TheFolderNamingFileIsTrustedOnlyWhenItsOwnerAloneWritesIt)
{
    CTempDir dir("trusted");
    tests::WriteFile(dir.Path() / "program", "");
    tests::WriteFile(dir.Path() / "tarvik.datadir", "/var/opt/tarvik\n");
    fs::permissions(dir.Path() / "tarvik.datadir", fs::perms::owner_read | fs::perms::owner_write |
                                                       fs::perms::group_read | fs::perms::others_read);
    std::string szBytes;
    EXPECT_TRUE(ReadTrustedFile(dir.Wide("tarvik.datadir"), dir.Wide("program"), szBytes));
    EXPECT_EQ(szBytes, "/var/opt/tarvik\n");
}

TEST(DataFileTest, TheFolderNamingFileIsNotReadThroughALink)
{
    TARVIK_SKIP_UNDER_WINE("CreateSymbolicLinkW is a stub that reports success and creates nothing");
    CTempDir dir("trusted");
    tests::WriteFile(dir.Path() / "program", "");
    tests::WriteFile(dir.Path() / "real", "/var/opt/tarvik\n");
    fs::permissions(dir.Path() / "real", fs::perms::owner_read | fs::perms::owner_write);
    fs::create_symlink(dir.Path() / "real", dir.Path() / "tarvik.datadir");
    std::string szBytes;
    EXPECT_TRUE(ReadTrustedFile(dir.Wide("real"), dir.Wide("program"), szBytes));
    EXPECT_FALSE(ReadTrustedFile(dir.Wide("tarvik.datadir"), dir.Wide("program"), szBytes));
}
