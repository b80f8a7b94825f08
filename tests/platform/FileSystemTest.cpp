// File-system calls with Windows semantics on real files in temporary directories: directory trees,
// moves that never replace, wildcards and searches. Portable: every backend passes these.
#include "platform/FileSystem.h"
#include "platform/SysError.h"
#include "tests/support/CTempDir.h"
#include "tests/support/TestFiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <ctime>
#include <filesystem>
#include <thread>
#include <vector>

using namespace platform;
using tests::ListDirectory;
using tests::PathExists;
using tests::ReadFile;
using tests::WriteFile;

namespace
{

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
    WriteFile(dir.Native("file"), "x");
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
    EXPECT_FALSE(PathExists(dir.Native("file")));

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
    WriteFile(dir.Native("src"), "new");
    WriteFile(dir.Native("dst"), "old");
    EXPECT_FALSE(MoveFile(dir.Wide("src"), dir.Wide("dst"), 0));
    EXPECT_EQ(GetLastError(), kErrorAlreadyExists);
    EXPECT_EQ(ReadFile(dir.Native("dst")), "old");
    EXPECT_EQ(ReadFile(dir.Native("src")), "new");

    EXPECT_TRUE(MoveFile(dir.Wide("src"), dir.Wide("dst"), kMoveReplaceExisting));
    EXPECT_EQ(ReadFile(dir.Native("dst")), "new");
    EXPECT_FALSE(PathExists(dir.Native("src")));

    EXPECT_FALSE(MoveFile(dir.Wide("src"), dir.Wide("other"), 0));
    EXPECT_EQ(GetLastError(), kErrorFileNotFound);
    EXPECT_FALSE(MoveFile(dir.Wide("dst"), dir.Wide("nodir/dst"), 0));
    EXPECT_EQ(GetLastError(), kErrorPathNotFound);

    // Many movers, one target: exactly one wins and its content is whole.
    constexpr int kMovers = 8;
    for (int i = 0; i < kMovers; ++i)
    {
        WriteFile(dir.Native("m" + std::to_string(i)), std::string(1000, static_cast<char>('a' + i)));
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
    const std::string szTarget = ReadFile(dir.Native("target"));
    ASSERT_EQ(szTarget.size(), 1000u);
    EXPECT_EQ(std::count(szTarget.begin(), szTarget.end(), szTarget[0]), 1000);
    EXPECT_EQ(ListDirectory(dir.Path()).size(), static_cast<size_t>(kMovers + 1)); // dst, target, the losers
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
    WriteFile(dir.Native("b.txt"), "12345");
    WriteFile(dir.Native("A.TXT"), "1");
    WriteFile(dir.Native("c.txt.bak"), "");
    std::filesystem::create_directory(dir.Path() / "sub");

    auto list = [&](const std::string& szPattern) {
        std::vector<std::string> names;
        CFindFile find;
        SFindData data;
        if (find.First(dir.Wide() + L"/" + std::filesystem::path(szPattern).wstring(), data))
        {
            do
            {
                names.push_back(std::filesystem::path(data.szName).string());
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

} // namespace
