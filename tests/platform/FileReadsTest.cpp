// Bounded reads (the contract): a prefix stops at its bound, a symbolic link is read through only
// when the caller allows it, and the last write time follows the file.
#include "platform/Clock.h"
#include "platform/FileSystem.h"
#include "platform/SysError.h"
#include "tests/support/CTempDir.h"
#include "tests/support/Wine.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;
using namespace platform;

namespace
{

class FileReadTest : public ::testing::Test
{
protected:
    std::wstring Path(const char* szName) const { return m_temp.Wide(szName); }

    CTempDir m_temp{"reads"};
    const fs::path m_dir = m_temp.Path();
};

TEST_F(FileReadTest, PrefixStopsAtItsBoundAndReportsTheWholeSize)
{
    std::ofstream(m_dir / "ten", std::ios::binary) << "0123456789";
    SFileContent content;
    ASSERT_TRUE(ReadFilePrefix(Path("ten"), 4, kReadNoFollow, content));
    EXPECT_EQ(content.szBytes, "0123");
    EXPECT_EQ(content.nSize, 10u);
    EXPECT_EQ(content.eKind, EFileKind::Regular);
    std::string szWhole;
    ASSERT_TRUE(ReadWholeFile(Path("ten"), szWhole));
    EXPECT_EQ(szWhole, "0123456789");

    EXPECT_FALSE(ReadFilePrefix(Path("none"), 100, 0, content));
    EXPECT_EQ(content.eKind, EFileKind::Missing);
    EXPECT_EQ(GetLastError(), kErrorFileNotFound);
}

TEST_F(FileReadTest, ALinkIsReadThroughOnlyWhenTheCallerAllowsIt)
{
    TARVIK_SKIP_UNDER_WINE("CreateSymbolicLinkW is a stub that reports success and creates nothing");
    std::ofstream(m_dir / "ten", std::ios::binary) << "0123456789";
    fs::create_symlink(m_dir / "ten", m_dir / "link");
    SFileContent content;
    std::string szWhole;
    EXPECT_TRUE(ReadWholeFile(Path("link"), szWhole));
    EXPECT_EQ(szWhole, "0123456789");
    EXPECT_FALSE(ReadFilePrefix(Path("link"), 100, kReadNoFollow, content));
    EXPECT_EQ(content.eKind, EFileKind::SymbolicLink);
    EXPECT_TRUE(content.szBytes.empty());
    EXPECT_EQ(GetLastError(), kErrorCantResolveFilename);
    EXPECT_EQ(GetFileKind(Path("link"), false), EFileKind::SymbolicLink);
    EXPECT_EQ(GetFileKind(Path("link"), true), EFileKind::Regular);
}

TEST_F(FileReadTest, LastWriteTimeIsTheFilesAndFollowsLinks)
{
    std::ofstream(m_dir / "old", std::ios::binary) << "x";
    fs::last_write_time(m_dir / "old", fs::file_time_type::clock::now() - std::chrono::hours(1));
    SFileTime ftFile;
    ASSERT_TRUE(GetLastWriteTime(Path("old"), ftFile));
    const double dAge = (FileTimeToU64(GetSystemTimeAsFileTime()) - FileTimeToU64(ftFile)) / 1e7;
    EXPECT_NEAR(dAge, 3600.0, 60.0);
    EXPECT_FALSE(GetLastWriteTime(Path("none"), ftFile));
    EXPECT_EQ(GetLastError(), kErrorFileNotFound);
}

TEST_F(FileReadTest, LastWriteTimeOfALinkIsItsTargets)
{
    TARVIK_SKIP_UNDER_WINE("CreateSymbolicLinkW is a stub that reports success and creates nothing");
    std::ofstream(m_dir / "old", std::ios::binary) << "x";
    fs::last_write_time(m_dir / "old", fs::file_time_type::clock::now() - std::chrono::hours(1));
    fs::create_symlink(m_dir / "old", m_dir / "link");
    SFileTime ftFile, ftLink;
    ASSERT_TRUE(GetLastWriteTime(Path("old"), ftFile));
    ASSERT_TRUE(GetLastWriteTime(Path("link"), ftLink));
    EXPECT_EQ(FileTimeToU64(ftFile), FileTimeToU64(ftLink));
}

} // namespace
