// Open folders on Windows: entries are opened relative to the folder's handle (so they follow the
// folder when it is renamed), stream names are refused, failures carry the Windows numbers, a
// read-only file is deleted like any other, and a link to a file is a link to every call.
#include "platform/OpenDirectory.h"
#include "platform/SysError.h"
#include "platform/Windows_win.h"
#include "tests/support/CTempDir.h"
#include "tests/support/TestFiles.h"
#include "tests/support/Wine.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>

namespace fs = std::filesystem;
using namespace platform;

namespace
{

class OpenDirectoryWinTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        fs::create_directories(m_dir / "sub");
        ASSERT_TRUE(tests::WriteFile(m_dir / "a.txt", "alpha"));
        ASSERT_TRUE(m_folder.Open(m_dir.wstring()));
    }

    CTempDir m_temp{"opendir-win"};
    const fs::path m_dir = m_temp.Path() / "spool";
    COpenDirectory m_folder;
};

TEST_F(OpenDirectoryWinTest, EntriesAreReachedThroughTheFolderHandleNotItsPath)
{
    TARVIK_SKIP_UNDER_WINE("a handle opened relative to a folder renamed since cannot be used (error 6)");
    // The folder is renamed and another one takes its path: the open folder still means the first.
    fs::rename(m_dir, m_temp.Path() / "renamed");
    fs::create_directories(m_dir);
    ASSERT_TRUE(tests::WriteFile(m_dir / "a.txt", "impostor"));

    COpenFile file;
    ASSERT_TRUE(m_folder.OpenFile(L"a.txt", 1, file));
    std::string szBytes;
    ASSERT_TRUE(file.ReadPrefix(100, szBytes));
    EXPECT_EQ(szBytes, "alpha");
    // Moved and deleted while open (full sharing), still by the folder's handle.
    COpenDirectory sub;
    ASSERT_TRUE(sub.OpenChild(m_folder, L"sub"));
    EXPECT_TRUE(m_folder.MoveEntry(L"a.txt", sub, L"b.txt", false));
    EXPECT_EQ(tests::ReadFile(m_temp.Path() / "renamed" / "sub" / "b.txt"), "alpha");
    EXPECT_EQ(tests::ReadFile(m_dir / "a.txt"), "impostor");
    EXPECT_TRUE(sub.DeleteEntry(L"b.txt"));
    EXPECT_FALSE(fs::exists(m_temp.Path() / "renamed" / "sub" / "b.txt"));
}

TEST_F(OpenDirectoryWinTest, StreamNamesAreRefusedErrorsAreWindowsNumbersAndAReadOnlyFileIsDeleted)
{
    COpenFile file;
    EXPECT_FALSE(m_folder.OpenFile(L"a.txt:hidden", 0, file));
    EXPECT_EQ(platform::GetLastError(), static_cast<uint32_t>(kErrorInvalidName));
    EXPECT_FALSE(m_folder.DeleteEntry(L"sub\\..\\a.txt"));
    EXPECT_EQ(platform::GetLastError(), static_cast<uint32_t>(kErrorInvalidName));
    EXPECT_FALSE(m_folder.OpenFile(L"sub", 0, file));
    EXPECT_EQ(platform::GetLastError(), static_cast<uint32_t>(kErrorAccessDenied));
    EXPECT_FALSE(m_folder.OpenFile(L"missing", 0, file));
    EXPECT_EQ(platform::GetLastError(), static_cast<uint32_t>(kErrorFileNotFound));
    COpenDirectory child;
    EXPECT_FALSE(child.OpenChild(m_folder, L"a.txt"));
    EXPECT_EQ(platform::GetLastError(), static_cast<uint32_t>(kErrorDirectory));
    EXPECT_FALSE(child.OpenChild(m_folder, L"missing"));
    EXPECT_EQ(platform::GetLastError(), static_cast<uint32_t>(kErrorPathNotFound));
    ASSERT_TRUE(m_folder.OpenFile(L"a.txt", 0, file));
    EXPECT_FALSE(file.CopyInto(m_folder, L"a.txt", false));
    EXPECT_EQ(platform::GetLastError(), static_cast<uint32_t>(kErrorAlreadyExists));
    file.Close();

    SEntryInfo info;
    ASSERT_TRUE(::SetFileAttributesW((m_dir / "a.txt").c_str(), FILE_ATTRIBUTE_READONLY));
    ASSERT_TRUE(m_folder.Describe(L"A.TXT", info)); // names are compared without regard to case
    EXPECT_TRUE(info.bReadOnly);
    EXPECT_EQ(info.nSize, 5u);
    EXPECT_EQ(info.nLinks, 1u);
    EXPECT_TRUE(m_folder.DeleteEntry(L"a.txt"));
    EXPECT_FALSE(fs::exists(m_dir / "a.txt"));
    EXPECT_FALSE(m_folder.Describe(L"a.txt", info));
    EXPECT_EQ(platform::GetLastError(), static_cast<uint32_t>(kErrorFileNotFound));
}

// Beyond the contract suite: a link to a file is listed as a link too, and refused as a folder for
// being a link (1921), not for being no folder.
TEST_F(OpenDirectoryWinTest, ALinkToAFileIsListedAndRefusedAsALink)
{
    TARVIK_SKIP_UNDER_WINE("CreateSymbolicLinkW reports success without making a link");
    ASSERT_TRUE(tests::MakeSymbolicLink(m_dir / "a.txt", m_dir / "link.txt"));
    std::map<std::wstring, EFileKind> kinds;
    ASSERT_TRUE(m_folder.List(
        [&](const SListedEntry& entry)
        {
            kinds[entry.szName] = entry.eKind;
            return true;
        }));
    EXPECT_EQ(kinds[L"link.txt"], EFileKind::SymbolicLink);
    EXPECT_EQ(kinds[L"a.txt"], EFileKind::Regular);
    COpenDirectory child;
    EXPECT_FALSE(child.OpenChild(m_folder, L"link.txt"));
    EXPECT_EQ(platform::GetLastError(), static_cast<uint32_t>(kErrorCantResolveFilename));
    SEntryInfo info;
    ASSERT_TRUE(m_folder.Describe(L"link.txt", info));
    EXPECT_EQ(info.eKind, EFileKind::SymbolicLink);
}

} // namespace
