// The Windows backend of the file-system calls: both separators, the attributes Windows keeps,
// sharing with other handles, complete copies and replacements that leave no temporary file, moves
// to another volume, and the append file's writes, lock and identity.
#include "platform/AppendFile.h"
#include "platform/FileLinks.h"
#include "platform/FileSystem.h"
#include "platform/SysError.h"
#include "platform/Windows_win.h"
#include "tests/support/CTempDir.h"
#include "tests/support/TestFiles.h"
#include "tests/support/Wine.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;
using namespace platform;
using tests::ListDirectory;
using tests::PathExists;
using tests::ReadFile;
using tests::WriteFile;

namespace
{

TEST(FileSystemWinTest, BothSeparatorsAndTheAttributesWindowsKeeps)
{
    CTempDir dir;
    const std::wstring szBackslashed = dir.Wide() + L"\\a\\b/c\\";
    EXPECT_TRUE(CreateDirectoryTree(szBackslashed));
    EXPECT_TRUE(fs::is_directory(dir.Path() / "a" / "b" / "c"));
    EXPECT_FALSE(CreateDirectoryTree(szBackslashed));
    EXPECT_EQ(platform::GetLastError(), kErrorAlreadyExists);

    WriteFile(dir.Path() / "f.txt", "x");
    EXPECT_FALSE(CreateDirectoryTree(dir.Wide("f.txt")));
    EXPECT_EQ(platform::GetLastError(), kErrorFileExists);
    EXPECT_EQ(GetFileAttributes(dir.Wide("f.txt/b")), kInvalidFileAttributes);
    EXPECT_EQ(platform::GetLastError(), kErrorPathNotFound);

    ASSERT_TRUE(
        SetFileAttributes(dir.Wide("f.txt"), kAttributeReadOnly | kAttributeHidden | kAttributeSystem));
    const uint32_t nSet = GetFileAttributes(dir.Wide() + L"\\f.txt");
    EXPECT_EQ(nSet & (kAttributeReadOnly | kAttributeHidden | kAttributeSystem),
              kAttributeReadOnly | kAttributeHidden | kAttributeSystem);
    // Windows refuses to delete a read-only file.
    EXPECT_FALSE(DeleteFile(dir.Wide("f.txt")));
    EXPECT_EQ(platform::GetLastError(), kErrorAccessDenied);
    ASSERT_TRUE(SetFileAttributes(dir.Wide("f.txt"), kAttributeNormal));
    EXPECT_EQ(GetFileAttributes(dir.Wide("f.txt")) &
                  (kAttributeReadOnly | kAttributeHidden | kAttributeSystem),
              0u);
    EXPECT_TRUE(DeleteFile(dir.Wide("f.txt")));

    EXPECT_FALSE(RemoveDirectory(dir.Wide("a")));
    EXPECT_EQ(platform::GetLastError(), kErrorDirNotEmpty);
    EXPECT_NE(GetExecutablePath().find(L".exe"), std::wstring::npos);
    EXPECT_FALSE(GetComputerName().empty());
    EXPECT_FALSE(GetUserName().empty());
}

TEST(FileSystemWinTest, CopiesAndReplacementsAppearWholeAndLeaveNoTemporaryFile)
{
    CTempDir dir;
    WriteFile(dir.Path() / "src", std::string(300000, 's'));
    fs::last_write_time(dir.Path() / "src", fs::last_write_time(dir.Path() / "src") - std::chrono::hours(2));
    ASSERT_TRUE(SetFileAttributes(dir.Wide("src"), kAttributeReadOnly));
    WriteFile(dir.Path() / "dst", "old");
    EXPECT_FALSE(CopyFile(dir.Wide("src"), dir.Wide("dst"), true));
    EXPECT_EQ(platform::GetLastError(), kErrorFileExists);
    EXPECT_EQ(ReadFile(dir.Path() / "dst"), "old");
    ASSERT_TRUE(CopyFile(dir.Wide("src"), dir.Wide("dst"), false));
    EXPECT_EQ(ReadFile(dir.Path() / "dst"), std::string(300000, 's'));
    EXPECT_TRUE(GetFileAttributes(dir.Wide("dst")) & kAttributeReadOnly);
    SFileTime ftSource, ftCopy;
    ASSERT_TRUE(GetLastWriteTime(dir.Wide("src"), ftSource));
    ASSERT_TRUE(GetLastWriteTime(dir.Wide("dst"), ftCopy));
    EXPECT_EQ(FileTimeToU64(ftSource), FileTimeToU64(ftCopy));
    EXPECT_FALSE(CopyFile(dir.Wide("src"), dir.Wide("nodir/dst"), false));
    EXPECT_EQ(platform::GetLastError(), kErrorPathNotFound);

    WriteFile(dir.Path() / "ini", "first");
    ASSERT_TRUE(SetFileAttributes(dir.Wide("ini"), kAttributeHidden));
    ASSERT_TRUE(ReplaceFileContent(dir.Wide("ini"), "second"));
    EXPECT_EQ(ReadFile(dir.Path() / "ini"), "second");
    EXPECT_TRUE(GetFileAttributes(dir.Wide("ini")) & kAttributeHidden);
    ASSERT_TRUE(ReplaceFileContent(dir.Wide("new"), "made"));
    EXPECT_EQ(ReadFile(dir.Path() / "new"), "made");

    // A name with a second hard link is never written through.
    fs::create_hard_link(dir.Path() / "new", dir.Path() / "other");
    EXPECT_FALSE(ReplaceFileContent(dir.Wide("new"), "through"));
    EXPECT_EQ(platform::GetLastError(), kErrorAccessDenied);
    EXPECT_EQ(ReadFile(dir.Path() / "other"), "made");
    EXPECT_EQ(ListDirectory(dir.Path()), (std::vector<std::string>{"dst", "ini", "new", "other", "src"}));
}

TEST(FileSystemWinTest, ReplacementsSeenByAConcurrentReaderAreWhole)
{
    CTempDir dir;
    const std::string szA(100000, 'a');
    const std::string szB(100000, 'b');
    WriteFile(dir.Path() / "file", szA);
    std::atomic<bool> bStop{false};
    std::atomic<int> nTorn{0};
    std::thread reader(
        [&]
        {
            while (!bStop)
            {
                std::string szBytes;
                if (ReadWholeFile(dir.Wide("file"), szBytes) && szBytes != szA && szBytes != szB)
                    ++nTorn;
            }
        });
    int nReplaced = 0;
    for (int i = 0; i < 100; ++i)
        nReplaced += ReplaceFileContent(dir.Wide("file"), i % 2 ? szA : szB) ? 1 : 0;
    bStop = true;
    reader.join();
    // A reader may hold the file open at the moment of a rename; only whole contents count.
    EXPECT_GT(nReplaced, 0);
    EXPECT_EQ(nTorn.load(), 0);
}

TEST(FileSystemWinTest, AMoveToAnotherVolumeCopiesOnlyWhenAllowed)
{
    // Wine maps Z: to the Unix root; its shared-memory folder is another file system than the prefix.
    const fs::path other = "Z:\\dev\\shm";
    if (!RunningUnderWine() || !fs::is_directory(other))
        GTEST_SKIP() << "no second volume at hand";
    CTempDir source;
    CTempDir target("volume", other);
    WriteFile(source.Path() / "doc.pdf", "%PDF-1.4 whole");
    EXPECT_FALSE(MoveFile(source.Wide("doc.pdf"), target.Wide("doc.pdf"), 0));
    EXPECT_EQ(platform::GetLastError(), kErrorNotSameDevice);
    WriteFile(target.Path() / "doc.pdf", "there");
    EXPECT_FALSE(MoveFile(source.Wide("doc.pdf"), target.Wide("doc.pdf"), kMoveCopyAllowed));
    EXPECT_EQ(platform::GetLastError(), kErrorAlreadyExists);
    EXPECT_EQ(ReadFile(target.Path() / "doc.pdf"), "there");
    ASSERT_TRUE(
        MoveFile(source.Wide("doc.pdf"), target.Wide("doc.pdf"), kMoveCopyAllowed | kMoveReplaceExisting));
    EXPECT_EQ(ReadFile(target.Path() / "doc.pdf"), "%PDF-1.4 whole");
    EXPECT_FALSE(PathExists(source.Path() / "doc.pdf"));
    EXPECT_EQ(ListDirectory(target.Path()), (std::vector<std::string>{"doc.pdf"}));
}

TEST(AppendFileWinTest, WritersShareTheFileAndTheLockStopsOnlyLockers)
{
    CTempDir dir;
    const std::wstring szLog = dir.Wide("tarvik.log");
    CAppendFile first;
    CAppendFile second;
    ASSERT_TRUE(first.Open(szLog));
    ASSERT_TRUE(second.Open(szLog));
    ASSERT_TRUE(first.TryLock(0));
    EXPECT_FALSE(second.TryLock(50));
    EXPECT_EQ(platform::GetLastError(), kErrorLockViolation);
    // The lock stops the other locker, not the other writer.
    EXPECT_TRUE(first.Append("one\n", 4));
    EXPECT_TRUE(second.Append("two\n", 4));
    uint64_t nSize = 0;
    ASSERT_TRUE(second.GetSize(nSize));
    EXPECT_EQ(nSize, 8u);
    EXPECT_EQ(ReadFile(dir.Path() / "tarvik.log"), "one\ntwo\n");
    first.Close();
    EXPECT_TRUE(second.TryLock(1000));

    // Rotation renames the file under the open handles.
    EXPECT_TRUE(second.IsAt(szLog));
    ASSERT_TRUE(MoveFile(szLog, dir.Wide("tarvik.old.log"), kMoveReplaceExisting));
    EXPECT_FALSE(second.IsAt(szLog));
    EXPECT_TRUE(second.IsAt(dir.Wide("tarvik.old.log")));
    second.Close();
    EXPECT_FALSE(second.Append("x", 1));
    EXPECT_EQ(platform::GetLastError(), kErrorInvalidHandle);

    fs::create_hard_link(dir.Path() / "tarvik.old.log", dir.Path() / "tarvik.log");
    EXPECT_FALSE(first.Open(szLog));
    EXPECT_EQ(platform::GetLastError(), kErrorAccessDenied);
    fs::create_directory(dir.Path() / "folder");
    EXPECT_FALSE(first.Open(dir.Wide("folder")));
    EXPECT_EQ(platform::GetLastError(), kErrorAccessDenied);
}

TEST(AppendFileWinTest, AppendsOfConcurrentHandlesNeverOverlap)
{
    TARVIK_SKIP_UNDER_WINE("a FILE_APPEND_DATA write goes to the end of file read before it (fstat, then "
                           "pwrite), so appends through concurrent handles can overwrite each other");
    CTempDir dir;
    const std::wstring szLog = dir.Wide("tarvik.log");
    constexpr int kWriters = 8;
    constexpr int kRecords = 500;
    std::vector<std::thread> writers;
    for (int t = 0; t < kWriters; ++t)
        writers.emplace_back(
            [&, t]
            {
                const std::string szRecord = std::string(169, static_cast<char>('a' + t)) + "\n";
                for (int i = 0; i < kRecords; ++i)
                {
                    CAppendFile file;
                    EXPECT_TRUE(file.Open(szLog) && file.Append(szRecord.data(), szRecord.size()));
                }
            });
    for (std::thread& writer : writers)
        writer.join();
    const std::string szAll = ReadFile(dir.Path() / "tarvik.log");
    ASSERT_EQ(szAll.size(), size_t{kWriters} * kRecords * 170);
    for (size_t i = 0; i < szAll.size(); i += 170)
        ASSERT_EQ(szAll.find_first_not_of(szAll[i], i), i + 169) << "a record torn at " << i;
}

TEST(FileLinksWinTest, LinksAreToldAndRemovedWithoutTheirTargets)
{
    CTempDir dir;
    WriteFile(dir.Path() / "file", "x");
    fs::create_directory(dir.Path() / "folder");
    EXPECT_FALSE(IsSymbolicLink(dir.Wide("file")));
    EXPECT_FALSE(IsSymbolicLink(dir.Wide("folder") + L"\\"));
    TARVIK_SKIP_UNDER_WINE("CreateSymbolicLinkW is a stub that reports success and creates nothing");
    ASSERT_TRUE(::CreateSymbolicLinkW(dir.Wide("flink").c_str(), dir.Wide("file").c_str(),
                                      SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE));
    ASSERT_TRUE(
        ::CreateSymbolicLinkW(dir.Wide("dlink").c_str(), dir.Wide("folder").c_str(),
                              SYMBOLIC_LINK_FLAG_DIRECTORY | SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE));
    EXPECT_TRUE(IsSymbolicLink(dir.Wide("flink")));
    EXPECT_TRUE(IsSymbolicLink(dir.Wide("dlink") + L"\\"));
    EXPECT_EQ(GetFileKind(dir.Wide("dlink"), false), EFileKind::SymbolicLink);
    EXPECT_EQ(GetFileKind(dir.Wide("dlink"), true), EFileKind::Directory);
    EXPECT_TRUE(DeleteSymbolicLink(dir.Wide("flink")));
    EXPECT_TRUE(DeleteSymbolicLink(dir.Wide("dlink")));
    EXPECT_TRUE(PathExists(dir.Path() / "file"));
    EXPECT_TRUE(fs::is_directory(dir.Path() / "folder"));
}

} // namespace
