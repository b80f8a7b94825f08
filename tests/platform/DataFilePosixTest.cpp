// Files of the data folder on Linux: the folder-naming file is refused once its group may write it.
#include "platform/DataFile.h"

#include "platform/SysError.h"
#include "tests/support/CTempDir.h"
#include "tests/support/TestFiles.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace fs = std::filesystem;
using namespace platform;

TEST(DataFilePosixTest, TheFolderNamingFileIsRefusedWhenItsGroupMayWriteIt)
{
    CTempDir dir("trusted");
    tests::WriteFile(dir.Path() / "program", "");
    tests::WriteFile(dir.Path() / "tarvik.datadir", "/var/opt/tarvik\n");
    fs::permissions(dir.Path() / "tarvik.datadir", fs::perms::owner_read | fs::perms::owner_write |
                                                       fs::perms::group_read | fs::perms::others_read);
    std::string szBytes;
    EXPECT_TRUE(ReadTrustedFile(dir.Wide("tarvik.datadir"), dir.Wide("program"), szBytes));

    fs::permissions(dir.Path() / "tarvik.datadir", fs::perms::group_write, fs::perm_options::add);
    EXPECT_FALSE(ReadTrustedFile(dir.Wide("tarvik.datadir"), dir.Wide("program"), szBytes));
    EXPECT_EQ(GetLastError(), kErrorAccessDenied);
}
