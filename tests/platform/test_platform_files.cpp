// File-system calls with Windows semantics on real files in temporary directories: attributes,
// moves that never replace, copies across file systems, directory trees and wildcard searches.
#include "platform/FileSystem.h"
#include "platform/SysError.h"
#include "platform/FileSystem_posix.h"
#include "test_platform_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <thread>
#include <vector>

using namespace platform;
using platform_test::CTempDir;
using platform_test::Exists;
using platform_test::ReadBytes;
using platform_test::WriteBytes;

namespace
{

std::vector<std::string> Entries(const std::string& szDir)
{
    std::vector<std::string> names;
    if (DIR* p = ::opendir(szDir.c_str()))
    {
        while (dirent* e = ::readdir(p))
        {
            if (std::string(e->d_name) != "." && std::string(e->d_name) != "..")
            {
                names.push_back(e->d_name);
            }
        }
        ::closedir(p);
    }
    std::sort(names.begin(), names.end());
    return names;
}

TEST(FileAttributesTest, ReadOnlyFollowsTheWriteBitsAndMissingPathsAreTold)
{
    CTempDir dir;
    WriteBytes(dir.Native("a.txt"), "x");
    uint32_t nAttributes = GetFileAttributes(dir.Wide("a.txt"));
    EXPECT_EQ(nAttributes & (kAttributeReadOnly | kAttributeDirectory), 0u);

    ASSERT_TRUE(SetFileAttributes(dir.Wide("a.txt"), kAttributeReadOnly));
    struct stat st{};
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

TEST(DirectoryTest, CreateRemoveAndTrees)
{
    CTempDir dir;
    EXPECT_TRUE(CreateDirectory(dir.Wide("one")));
    EXPECT_FALSE(CreateDirectory(dir.Wide("one")));
    EXPECT_EQ(GetLastError(), kErrorAlreadyExists);
    EXPECT_FALSE(CreateDirectory(dir.Wide("no/two")));
    EXPECT_EQ(GetLastError(), kErrorPathNotFound);

    EXPECT_TRUE(CreateDirectoryTree(dir.Wide("a/b/c/")));
    EXPECT_TRUE(GetFileAttributes(dir.Wide("a/b/c")) & kAttributeDirectory);
    EXPECT_FALSE(CreateDirectoryTree(dir.Wide("a/b/c")));
    EXPECT_EQ(GetLastError(), kErrorAlreadyExists);
    WriteBytes(dir.Native("file"), "x");
    EXPECT_FALSE(CreateDirectoryTree(dir.Wide("file/sub")));
    EXPECT_EQ(GetLastError(), kErrorPathNotFound);

    EXPECT_FALSE(RemoveDirectory(dir.Wide("a/b")));
    EXPECT_EQ(GetLastError(), kErrorDirNotEmpty);
    EXPECT_TRUE(RemoveDirectory(dir.Wide("a/b/c")));
    EXPECT_FALSE(DeleteFile(dir.Wide("missing")));
    EXPECT_EQ(GetLastError(), kErrorFileNotFound);
    EXPECT_FALSE(DeleteFile(dir.Wide("a")));
    EXPECT_EQ(GetLastError(), kErrorAccessDenied);
    EXPECT_TRUE(DeleteFile(dir.Wide("file")));
    EXPECT_FALSE(Exists(dir.Native("file")));

    // Several threads making the same tree: every one either made it or finds it there.
    std::atomic<int> nMade{0};
    std::atomic<int> nOther{0};
    std::vector<std::thread> threads;
    for (int i = 0; i < 4; ++i)
    {
        threads.emplace_back([&] {
            if (CreateDirectoryTree(dir.Wide("race/x/y/z")))
            {
                ++nMade;
            }
            else if (GetLastError() != kErrorAlreadyExists)
            {
                ++nOther;
            }
        });
    }
    for (auto& t : threads)
    {
        t.join();
    }
    EXPECT_EQ(nMade.load(), 1);
    EXPECT_EQ(nOther.load(), 0);
}

TEST(MoveTest, WithoutReplaceAnExistingTargetIsNeverReplaced)
{
    CTempDir dir;
    WriteBytes(dir.Native("src"), "new");
    WriteBytes(dir.Native("dst"), "old");
    EXPECT_FALSE(MoveFile(dir.Wide("src"), dir.Wide("dst"), 0));
    EXPECT_EQ(GetLastError(), kErrorAlreadyExists);
    EXPECT_EQ(ReadBytes(dir.Native("dst")), "old");
    EXPECT_EQ(ReadBytes(dir.Native("src")), "new");

    EXPECT_TRUE(MoveFile(dir.Wide("src"), dir.Wide("dst"), kMoveReplaceExisting));
    EXPECT_EQ(ReadBytes(dir.Native("dst")), "new");
    EXPECT_FALSE(Exists(dir.Native("src")));

    EXPECT_FALSE(MoveFile(dir.Wide("src"), dir.Wide("other"), 0));
    EXPECT_EQ(GetLastError(), kErrorFileNotFound);
    EXPECT_FALSE(MoveFile(dir.Wide("dst"), dir.Wide("nodir/dst"), 0));
    EXPECT_EQ(GetLastError(), kErrorPathNotFound);

    // Many movers, one target: exactly one wins and its content is whole.
    constexpr int kMovers = 8;
    for (int i = 0; i < kMovers; ++i)
    {
        WriteBytes(dir.Native("m" + std::to_string(i)), std::string(1000, static_cast<char>('a' + i)));
    }
    std::atomic<int> nWon{0};
    std::vector<std::thread> movers;
    for (int i = 0; i < kMovers; ++i)
    {
        movers.emplace_back([&, i] {
            if (MoveFile(dir.Wide("m" + std::to_string(i)), dir.Wide("target"), 0))
            {
                ++nWon;
            }
        });
    }
    for (auto& t : movers)
    {
        t.join();
    }
    EXPECT_EQ(nWon.load(), 1);
    const std::string szTarget = ReadBytes(dir.Native("target"));
    ASSERT_EQ(szTarget.size(), 1000u);
    EXPECT_EQ(std::count(szTarget.begin(), szTarget.end(), szTarget[0]), 1000);
    EXPECT_EQ(Entries(dir.Path()).size(), static_cast<size_t>(kMovers + 1)); // dst, target, the losers
}

TEST(MoveTest, AcrossFileSystemsCopiesFlushesAndThenRemovesTheSource)
{
    struct stat stTmp{};
    struct stat stShm{};
    if (::stat("/tmp", &stTmp) != 0 || ::stat("/dev/shm", &stShm) != 0 || stTmp.st_dev == stShm.st_dev)
    {
        GTEST_SKIP() << "/dev/shm is not a file system of its own here";
    }
    CTempDir from("/tmp");
    CTempDir to("/dev/shm");
    WriteBytes(from.Native("doc.txt"), "File: a.pdf\r\n");
    ::chmod(from.Native("doc.txt").c_str(), 0640);
    struct timespec times[2] = {{1000000000, 0}, {1500000000, 0}};
    ::utimensat(AT_FDCWD, from.Native("doc.txt").c_str(), times, 0);

    EXPECT_FALSE(MoveFile(from.Wide("doc.txt"), to.Wide("doc.txt"), 0));
    EXPECT_EQ(GetLastError(), kErrorNotSameDevice);

    WriteBytes(to.Native("taken.txt"), "keep");
    EXPECT_FALSE(MoveFile(from.Wide("doc.txt"), to.Wide("taken.txt"), kMoveCopyAllowed));
    EXPECT_EQ(GetLastError(), kErrorAlreadyExists);
    EXPECT_EQ(ReadBytes(to.Native("taken.txt")), "keep");
    EXPECT_TRUE(Exists(from.Native("doc.txt")));

    ASSERT_TRUE(MoveFile(from.Wide("doc.txt"), to.Wide("doc.txt"), kMoveCopyAllowed));
    EXPECT_FALSE(Exists(from.Native("doc.txt")));
    EXPECT_EQ(ReadBytes(to.Native("doc.txt")), "File: a.pdf\r\n");
    struct stat st{};
    ::stat(to.Native("doc.txt").c_str(), &st);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    EXPECT_EQ(st.st_mtim.tv_sec, 1500000000);
    EXPECT_EQ(Entries(to.Path()), (std::vector<std::string>{"doc.txt", "taken.txt"})) << "no temporary left";

    WriteBytes(from.Native("again.txt"), "replacement");
    ASSERT_TRUE(MoveFile(from.Wide("again.txt"), to.Wide("taken.txt"), kMoveCopyAllowed | kMoveReplaceExisting));
    EXPECT_EQ(ReadBytes(to.Native("taken.txt")), "replacement");
}

TEST(CopyTest, CopyKeepsContentAndModeAndRefusesAnExistingTargetWhenAsked)
{
    CTempDir dir;
    WriteBytes(dir.Native("src.pdf"), std::string(200000, 'p'));
    ::chmod(dir.Native("src.pdf").c_str(), 0600);
    ASSERT_TRUE(CopyFile(dir.Wide("src.pdf"), dir.Wide("copy.pdf"), true));
    EXPECT_EQ(ReadBytes(dir.Native("copy.pdf")), std::string(200000, 'p'));
    struct stat st{};
    ::stat(dir.Native("copy.pdf").c_str(), &st);
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    WriteBytes(dir.Native("other"), "other");
    EXPECT_FALSE(CopyFile(dir.Wide("other"), dir.Wide("copy.pdf"), true));
    EXPECT_EQ(GetLastError(), kErrorFileExists);
    EXPECT_EQ(ReadBytes(dir.Native("copy.pdf")).size(), 200000u);
    EXPECT_TRUE(CopyFile(dir.Wide("other"), dir.Wide("copy.pdf"), false));
    EXPECT_EQ(ReadBytes(dir.Native("copy.pdf")), "other");

    EXPECT_FALSE(CopyFile(dir.Wide("missing"), dir.Wide("x"), false));
    EXPECT_EQ(GetLastError(), kErrorFileNotFound);
    EXPECT_FALSE(CopyFile(dir.Wide("other"), dir.Wide("nodir/x"), false));
    EXPECT_EQ(GetLastError(), kErrorPathNotFound);
    EXPECT_EQ(Entries(dir.Path()), (std::vector<std::string>{"copy.pdf", "other", "src.pdf"}));
}

TEST(WildcardTest, WindowsMatchingRules)
{
    EXPECT_TRUE(MatchesWildcard(L"*.txt", L"A.TXT"));
    EXPECT_TRUE(MatchesWildcard(L"*.txt", L"b.txt"));
    EXPECT_TRUE(MatchesWildcard(L"*.txt", L"x.y.txt"));
    EXPECT_FALSE(MatchesWildcard(L"*.txt", L"c.txt.bak"));
    EXPECT_FALSE(MatchesWildcard(L"*.txt", L"txt"));
    EXPECT_TRUE(MatchesWildcard(L"*.*", L"noextension"));
    EXPECT_TRUE(MatchesWildcard(L"*.*", L"."));
    EXPECT_TRUE(MatchesWildcard(L"*", L".."));
    EXPECT_TRUE(MatchesWildcard(L"*.", L"noextension"));
    EXPECT_FALSE(MatchesWildcard(L"*.", L"a.b"));
    EXPECT_TRUE(MatchesWildcard(L"a?.txt", L"ab.txt"));
    EXPECT_TRUE(MatchesWildcard(L"a?.txt", L"a.txt"));
    EXPECT_FALSE(MatchesWildcard(L"a?.txt", L"abc.txt"));
    EXPECT_TRUE(MatchesWildcard(L"~*", L"~a.pdf"));
    EXPECT_TRUE(MatchesWildcard(L"r\xE4*", L"R\xC4PORT"));
    EXPECT_FALSE(MatchesWildcard(L"report", L"report2"));
}

TEST(FindFileTest, ListsMatchesWithTheirData)
{
    CTempDir dir;
    WriteBytes(dir.Native("b.txt"), "12345");
    WriteBytes(dir.Native("A.TXT"), "1");
    WriteBytes(dir.Native("c.txt.bak"), "");
    ::mkdir(dir.Native("sub").c_str(), 0755);

    auto list = [&](const std::string& szPattern) {
        std::vector<std::string> names;
        CFindFile find;
        SFindData data;
        if (find.First(dir.Wide() + L"/" + WidePath(szPattern), data))
        {
            do
            {
                names.push_back(NativePath(data.szName));
            } while (find.Next(data));
            EXPECT_EQ(GetLastError(), kErrorNoMoreFiles);
        }
        std::sort(names.begin(), names.end()); // directory order
        return names;
    };
    EXPECT_EQ(list("*.txt"), (std::vector<std::string>{"A.TXT", "b.txt"}));
    EXPECT_EQ(list("*.*"), (std::vector<std::string>{".", "..", "A.TXT", "b.txt", "c.txt.bak", "sub"}));
    EXPECT_EQ(list("*"), list("*.*"));
    EXPECT_EQ(list("b.txt"), (std::vector<std::string>{"b.txt"}));

    CFindFile find;
    SFindData data;
    ASSERT_TRUE(find.First(dir.Wide("b.txt"), data));
    EXPECT_EQ(data.nSize, 5u);
    EXPECT_FALSE(data.nAttributes & kAttributeDirectory);
    EXPECT_NE(FileTimeToU64(data.ftCreation), 0u);
    EXPECT_LE(FileTimeToU64(data.ftCreation), FileTimeToU64(FileTimeFromUnix(::time(nullptr) + 1, 0)));
    ASSERT_TRUE(find.First(dir.Wide("s*"), data));
    EXPECT_TRUE(data.nAttributes & kAttributeDirectory);

    EXPECT_FALSE(find.First(dir.Wide("*.pdf"), data));
    EXPECT_EQ(GetLastError(), kErrorFileNotFound);
    EXPECT_FALSE(find.First(dir.Wide("missing/*.txt"), data));
    EXPECT_EQ(GetLastError(), kErrorPathNotFound);
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
