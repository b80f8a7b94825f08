// Bounded reads on Linux: a FIFO, a socket and a directory are refused at once with what they are,
// without blocking on the FIFO.
#include "platform/FileSystem.h"
#include "platform/SysError.h"
#include "tests/support/CTempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace platform;

namespace
{

class FileReadPosixTest : public ::testing::Test
{
protected:
    std::wstring Path(const char* szName) const { return m_temp.Wide(szName); }

    CTempDir m_temp{"reads"};
    const fs::path m_dir = m_temp.Path();
};

TEST_F(FileReadPosixTest, FifoSocketAndDirectoryAreRefusedWithoutBlocking)
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

} // namespace
