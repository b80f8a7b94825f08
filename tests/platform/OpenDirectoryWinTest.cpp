// Open folders on Windows: entries are opened relative to the folder's handle (so they follow the
// folder when it is renamed), stream names are refused, a read-only file is deleted like any other,
// and symbolic links made with CreateSymbolicLinkW are refused, moved and deleted as themselves.
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

TEST_F(OpenDirectoryWinTest, StreamNamesAreRefusedAndAReadOnlyFileIsDeleted)
{
    COpenFile file;
    EXPECT_FALSE(m_folder.OpenFile(L"a.txt:hidden", 0, file));
    EXPECT_EQ(GetLastError(), static_cast<uint32_t>(kErrorInvalidName));
    EXPECT_FALSE(m_folder.DeleteEntry(L"sub\\..\\a.txt"));
    EXPECT_EQ(GetLastError(), static_cast<uint32_t>(kErrorInvalidName));

    SEntryInfo info;
    ASSERT_TRUE(::SetFileAttributesW((m_dir / "a.txt").c_str(), FILE_ATTRIBUTE_READONLY));
    ASSERT_TRUE(m_folder.Describe(L"A.TXT", info)); // names are compared without regard to case
    EXPECT_TRUE(info.bReadOnly);
    EXPECT_EQ(info.nSize, 5u);
    EXPECT_EQ(info.nLinks, 1u);
    EXPECT_TRUE(m_folder.DeleteEntry(L"a.txt"));
    EXPECT_FALSE(fs::exists(m_dir / "a.txt"));
    EXPECT_FALSE(m_folder.Describe(L"a.txt", info));
    EXPECT_EQ(GetLastError(), static_cast<uint32_t>(kErrorFileNotFound));
}

TEST_F(OpenDirectoryWinTest, SymbolicLinksAreRefusedMovedAndDeletedAsThemselves)
{
    TARVIK_SKIP_UNDER_WINE("CreateSymbolicLinkW reports success without making a link");
    const fs::path outside = m_temp.Path() / "outside";
    fs::create_directories(outside);
    ASSERT_TRUE(tests::WriteFile(outside / "secret", "root's"));
    const DWORD nFlags = SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE;
    if (!::CreateSymbolicLinkW((m_dir / "link.txt").c_str(), (outside / "secret").c_str(), nFlags))
        GTEST_SKIP() << "this account may not make symbolic links (error " << ::GetLastError() << ")";
    ASSERT_TRUE(::CreateSymbolicLinkW((m_dir / "linkdir").c_str(), outside.c_str(), nFlags | SYMBOLIC_LINK_FLAG_DIRECTORY));

    std::map<std::wstring, EFileKind> kinds;
    ASSERT_TRUE(m_folder.List(
        [&](const SListedEntry& entry)
        {
            kinds[entry.szName] = entry.eKind;
            return true;
        }));
    EXPECT_EQ(kinds[L"link.txt"], EFileKind::SymbolicLink);
    EXPECT_EQ(kinds[L"linkdir"], EFileKind::SymbolicLink);
    EXPECT_EQ(kinds[L"sub"], EFileKind::Directory);

    COpenFile file;
    EXPECT_FALSE(m_folder.OpenFile(L"link.txt", 0, file));
    EXPECT_EQ(file.Info().eKind, EFileKind::SymbolicLink);
    EXPECT_EQ(GetLastError(), static_cast<uint32_t>(kErrorCantResolveFilename));
    COpenDirectory child;
    EXPECT_FALSE(child.OpenChild(m_folder, L"linkdir"));
    EXPECT_EQ(GetLastError(), static_cast<uint32_t>(kErrorCantResolveFilename));
    EXPECT_FALSE(child.OpenChild(m_folder, L"link.txt"));
    EXPECT_EQ(GetLastError(), static_cast<uint32_t>(kErrorCantResolveFilename));

    COpenDirectory sub;
    ASSERT_TRUE(sub.OpenChild(m_folder, L"sub"));
    EXPECT_TRUE(m_folder.MoveEntry(L"link.txt", sub, L"link.txt", false));
    const DWORD nMoved = ::GetFileAttributesW((m_dir / "sub" / "link.txt").c_str());
    EXPECT_TRUE(nMoved != INVALID_FILE_ATTRIBUTES && (nMoved & FILE_ATTRIBUTE_REPARSE_POINT) != 0);
    EXPECT_TRUE(sub.DeleteEntry(L"link.txt"));
    EXPECT_TRUE(m_folder.DeleteEntry(L"linkdir"));
    EXPECT_EQ(tests::ReadFile(outside / "secret"), "root's");
    EXPECT_TRUE(fs::is_directory(outside));
}

} // namespace
