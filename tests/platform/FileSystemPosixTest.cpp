// The Linux backend of the file-system calls: attributes in mode bits and extended attributes, moves
// across file systems that keep mode and times, copies that keep the mode, paths that are not
// UTF-8, and the identity of the process.
#include "platform/FileSystem.h"
#include "platform/FileSystem_posix.h"
#include "platform/SysError.h"
#include "tests/support/CTempDir.h"
#include "tests/support/TestFiles.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <string>
#include <vector>

using namespace platform;
using tests::ListDirectory;
using tests::PathExists;
using tests::ReadFile;
using tests::WriteFile;

namespace
{

TEST(FileAttributesTest, ReadOnlyFollowsTheWriteBitsAndMissingPathsAreTold)
{
    CTempDir dir;
    WriteFile(dir.Native("a.txt"), "x");
    uint32_t nAttributes = GetFileAttributes(dir.Wide("a.txt"));
    EXPECT_EQ(nAttributes & (kAttributeReadOnly | kAttributeDirectory), 0u);

    ASSERT_TRUE(SetFileAttributes(dir.Wide("a.txt"), kAttributeReadOnly));
    struct stat st
    {
    };
    ::stat(dir.Native("a.txt").c_str(), &st);
    EXPECT_EQ(st.st_mode & 0222, 0u);
    EXPECT_TRUE(GetFileAttributes(dir.Wide("a.txt")) & kAttributeReadOnly);

    ASSERT_TRUE(SetFileAttributes(dir.Wide("a.txt"), kAttributeNormal));
    ::stat(dir.Native("a.txt").c_str(), &st);
    EXPECT_TRUE(st.st_mode & S_IWUSR);
    EXPECT_FALSE(GetFileAttributes(dir.Wide("a.txt")) & kAttributeReadOnly);
    EXPECT_TRUE(GetFileAttributes(dir.Wide()) & kAttributeDirectory);

    EXPECT_EQ(GetFileAttributes(dir.Wide("missing.txt")), kInvalidFileAttributes);
    EXPECT_EQ(GetLastError(), kErrorFileNotFound);
    EXPECT_EQ(GetFileAttributes(dir.Wide("missing/a.txt")), kInvalidFileAttributes);
    EXPECT_EQ(GetLastError(), kErrorPathNotFound);
    EXPECT_EQ(GetFileAttributes(dir.Wide("a.txt/b")), kInvalidFileAttributes);
    EXPECT_EQ(GetLastError(), kErrorPathNotFound);
}

TEST(FileAttributesTest, HiddenAndSystemLiveInTheDosAttribute)
{
    CTempDir dir;
    ::mkdir(dir.Native("folder").c_str(), 0755);
    ASSERT_TRUE(SetFileAttributes(dir.Wide("folder"), kAttributeHidden | kAttributeSystem));
    // Where the file system keeps user attributes they read back; elsewhere the call still succeeds.
    char buf[16];
    const ssize_t n = ::getxattr(dir.Native("folder").c_str(), "user.DOSATTRIB", buf, sizeof(buf));
    if (n > 0)
    {
        EXPECT_EQ(std::string(buf, static_cast<size_t>(n)), "0x6");
        EXPECT_EQ(GetFileAttributes(dir.Wide("folder")) & (kAttributeHidden | kAttributeSystem),
                  kAttributeHidden | kAttributeSystem);
        ASSERT_TRUE(SetFileAttributes(dir.Wide("folder"), kAttributeNormal));
        EXPECT_EQ(GetFileAttributes(dir.Wide("folder")) & kAttributeHidden, 0u);
    }
    else
    {
        EXPECT_EQ(GetFileAttributes(dir.Wide("folder")) & kAttributeHidden, 0u);
    }
}

TEST(MoveTest, AcrossFileSystemsCopiesFlushesAndThenRemovesTheSource)
{
    struct stat stTmp
    {
    };
    struct stat stShm
    {
    };
    if (::stat("/tmp", &stTmp) != 0 || ::stat("/dev/shm", &stShm) != 0 || stTmp.st_dev == stShm.st_dev)
    {
        GTEST_SKIP() << "/dev/shm is not a file system of its own here";
    }
    CTempDir from("move", "/tmp");
    CTempDir to("move", "/dev/shm");
    WriteFile(from.Native("doc.txt"), "File: a.pdf\r\n");
    ::chmod(from.Native("doc.txt").c_str(), 0640);
    struct timespec times[2] = {{1000000000, 0}, {1500000000, 0}};
    ::utimensat(AT_FDCWD, from.Native("doc.txt").c_str(), times, 0);

    EXPECT_FALSE(MoveFile(from.Wide("doc.txt"), to.Wide("doc.txt"), 0));
    EXPECT_EQ(GetLastError(), kErrorNotSameDevice);

    WriteFile(to.Native("taken.txt"), "keep");
    EXPECT_FALSE(MoveFile(from.Wide("doc.txt"), to.Wide("taken.txt"), kMoveCopyAllowed));
    EXPECT_EQ(GetLastError(), kErrorAlreadyExists);
    EXPECT_EQ(ReadFile(to.Native("taken.txt")), "keep");
    EXPECT_TRUE(PathExists(from.Native("doc.txt")));

    ASSERT_TRUE(MoveFile(from.Wide("doc.txt"), to.Wide("doc.txt"), kMoveCopyAllowed));
    EXPECT_FALSE(PathExists(from.Native("doc.txt")));
    EXPECT_EQ(ReadFile(to.Native("doc.txt")), "File: a.pdf\r\n");
    struct stat st
    {
    };
    ::stat(to.Native("doc.txt").c_str(), &st);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    EXPECT_EQ(st.st_mtim.tv_sec, 1500000000);
    EXPECT_EQ(ListDirectory(to.Path()), (std::vector<std::string>{"doc.txt", "taken.txt"}))
        << "no temporary left";

    WriteFile(from.Native("again.txt"), "replacement");
    ASSERT_TRUE(
        MoveFile(from.Wide("again.txt"), to.Wide("taken.txt"), kMoveCopyAllowed | kMoveReplaceExisting));
    EXPECT_EQ(ReadFile(to.Native("taken.txt")), "replacement");
}

TEST(CopyTest, CopyKeepsContentAndModeAndRefusesAnExistingTargetWhenAsked)
{
    CTempDir dir;
    WriteFile(dir.Native("src.pdf"), std::string(200000, 'p'));
    ::chmod(dir.Native("src.pdf").c_str(), 0600);
    ASSERT_TRUE(CopyFile(dir.Wide("src.pdf"), dir.Wide("copy.pdf"), true));
    EXPECT_EQ(ReadFile(dir.Native("copy.pdf")), std::string(200000, 'p'));
    struct stat st
    {
    };
    ::stat(dir.Native("copy.pdf").c_str(), &st);
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    WriteFile(dir.Native("other"), "other");
    EXPECT_FALSE(CopyFile(dir.Wide("other"), dir.Wide("copy.pdf"), true));
    EXPECT_EQ(GetLastError(), kErrorFileExists);
    EXPECT_EQ(ReadFile(dir.Native("copy.pdf")).size(), 200000u);
    EXPECT_TRUE(CopyFile(dir.Wide("other"), dir.Wide("copy.pdf"), false));
    EXPECT_EQ(ReadFile(dir.Native("copy.pdf")), "other");

    EXPECT_FALSE(CopyFile(dir.Wide("missing"), dir.Wide("x"), false));
    EXPECT_EQ(GetLastError(), kErrorFileNotFound);
    EXPECT_FALSE(CopyFile(dir.Wide("other"), dir.Wide("nodir/x"), false));
    EXPECT_EQ(GetLastError(), kErrorPathNotFound);
    EXPECT_EQ(ListDirectory(dir.Path()), (std::vector<std::string>{"copy.pdf", "other", "src.pdf"}));
}

TEST(PathsTest, NamesThatAreNotUtf8SurviveTheRoundTrip)
{
    const std::string szRaw = "/tmp/caf\xE9-\xC3\xA4";
    const std::wstring szWide = WidePath(szRaw);
    EXPECT_EQ(szWide, (std::wstring{L'/', L't', L'm', L'p', L'/', L'c', L'a', L'f', 0xDCE9, L'-', 0xE4}));
    EXPECT_EQ(NativePath(szWide), szRaw);
    EXPECT_EQ(NativePath(std::wstring{0xD83D, 0xDE00}), "\xF0\x9F\x98\x80");
}

TEST(IdentityTest, ExecutableComputerAndUser)
{
    const std::wstring szExe = GetExecutablePath();
    EXPECT_EQ(szExe.substr(szExe.rfind(kPathSeparator) + 1), L"test_platform_files");
    EXPECT_FALSE(GetComputerName().empty());
    EXPECT_EQ(GetComputerName().find(L'.'), std::wstring::npos);
    if (::getuid() == 0)
    {
        EXPECT_EQ(GetUserName(), L"SYSTEM");
    }
    else
    {
        EXPECT_FALSE(GetUserName().empty());
    }
}

} // namespace
