// Bounded reads of regular files only: a FIFO, a socket, a directory and (when asked) a symbolic
// link are refused at once with what they are, a prefix stops at its bound, and the last write
// time follows the file.
#include "platform/Clock.h"
#include "platform/FileSystem.h"
#include "platform/SysError.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace platform;

namespace
{

class FileReadTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_dir = fs::temp_directory_path() / ("tarvik-reads-" + std::to_string(::getpid()));
        fs::remove_all(m_dir);
        fs::create_directories(m_dir);
    }
    void TearDown() override { fs::remove_all(m_dir); }
    std::wstring Path(const char* szName) const { return (m_dir / szName).wstring(); }

    fs::path m_dir;
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

    // A link is read through only when the caller allows it.
    fs::create_symlink(m_dir / "ten", m_dir / "link");
    EXPECT_TRUE(ReadWholeFile(Path("link"), szWhole));
    EXPECT_FALSE(ReadFilePrefix(Path("link"), 100, kReadNoFollow, content));
    EXPECT_EQ(content.eKind, EFileKind::SymbolicLink);
    EXPECT_TRUE(content.szBytes.empty());
    EXPECT_EQ(GetLastError(), kErrorCantResolveFilename);
    EXPECT_EQ(GetFileKind(Path("link"), false), EFileKind::SymbolicLink);
    EXPECT_EQ(GetFileKind(Path("link"), true), EFileKind::Regular);

    EXPECT_FALSE(ReadFilePrefix(Path("none"), 100, 0, content));
    EXPECT_EQ(content.eKind, EFileKind::Missing);
    EXPECT_EQ(GetLastError(), kErrorFileNotFound);
}

TEST_F(FileReadTest, FifoSocketAndDirectoryAreRefusedWithoutBlocking)
{
    ASSERT_EQ(::mkfifo((m_dir / "fifo").c_str(), 0644), 0);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(fd, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string szSocket = (m_dir / "sock").string();
    ASSERT_LT(szSocket.size(), sizeof(address.sun_path));
    szSocket.copy(address.sun_path, szSocket.size());
    ASSERT_EQ(::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)), 0);
    fs::create_directory(m_dir / "dir.txt");

    const struct
    {
        const char* szName;
        EFileKind eKind;
        uint32_t nError;
    } cases[] = {{"fifo", EFileKind::Fifo, kErrorUnsupportedType},
                 {"sock", EFileKind::Socket, kErrorUnsupportedType},
                 {"dir.txt", EFileKind::Directory, kErrorAccessDenied}};
    for (const auto& c : cases)
    {
        SFileContent content;
        EXPECT_FALSE(ReadFilePrefix(Path(c.szName), 100, 0, content)) << c.szName;
        EXPECT_EQ(content.eKind, c.eKind) << c.szName;
        EXPECT_EQ(GetLastError(), c.nError) << c.szName;
        std::string szBytes;
        EXPECT_FALSE(ReadWholeFile(Path(c.szName), szBytes)) << c.szName;
        EXPECT_EQ(GetFileKind(Path(c.szName), true), c.eKind) << c.szName;
    }
    EXPECT_STREQ(FileKindText(EFileKind::Fifo), L"a FIFO");
    ::close(fd);
}

TEST_F(FileReadTest, LastWriteTimeIsTheFilesAndFollowsLinks)
{
    std::ofstream(m_dir / "old", std::ios::binary) << "x";
    fs::last_write_time(m_dir / "old", fs::file_time_type::clock::now() - std::chrono::hours(1));
    fs::create_symlink(m_dir / "old", m_dir / "link");
    SFileTime ftFile, ftLink;
    ASSERT_TRUE(GetLastWriteTime(Path("old"), ftFile));
    ASSERT_TRUE(GetLastWriteTime(Path("link"), ftLink));
    EXPECT_EQ(FileTimeToU64(ftFile), FileTimeToU64(ftLink));
    const double dAge = (FileTimeToU64(GetSystemTimeAsFileTime()) - FileTimeToU64(ftFile)) / 1e7;
    EXPECT_NEAR(dAge, 3600.0, 60.0);
    EXPECT_FALSE(GetLastWriteTime(Path("none"), ftFile));
    EXPECT_EQ(GetLastError(), kErrorFileNotFound);
}

} // namespace
