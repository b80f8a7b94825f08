// Open folders: entries reached by name relative to an open folder, links never followed.
#include "platform/OpenDirectory.h"
#include "platform/SysError.h"
#include "tests/support/CTempDir.h"
#include "tests/support/TestFiles.h"
#include "tests/support/Wine.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>

namespace fs = std::filesystem;

namespace
{

class OpenDirectoryTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        fs::create_directories(m_dir / "sub");
        fs::create_directories(m_outside);
        std::ofstream(m_dir / "a.txt") << "alpha";
        std::ofstream(m_outside / "secret") << "root's";
        fs::create_hard_link(m_dir / "a.txt", m_dir / "twin.txt");
        ASSERT_TRUE(m_folder.Open(m_dir.wstring()));
    }

    // A link to a file outside and one to the folder outside.
    void MakeLinks()
    {
        ASSERT_TRUE(tests::MakeSymbolicLink(m_outside / "secret", m_dir / "link.txt"));
        ASSERT_TRUE(tests::MakeSymbolicLink(m_outside, m_dir / "linkdir", true));
    }

    CTempDir m_temp{"opendir"};
    const fs::path m_dir = m_temp.Path() / "spool";
    const fs::path m_outside = m_temp.Path() / "outside";
    platform::COpenDirectory m_folder;
};

TEST_F(OpenDirectoryTest, ListsAndRefusesFoldersAndSecondNames)
{
    std::set<std::wstring> names;
    ASSERT_TRUE(m_folder.List(
        [&](const platform::SListedEntry& entry)
        {
            names.insert(entry.szName);
            return true;
        }));
    EXPECT_EQ(names, (std::set<std::wstring>{L"a.txt", L"sub", L"twin.txt"}));

    platform::COpenFile file;
    EXPECT_FALSE(m_folder.OpenFile(L"sub", 1, file));
    EXPECT_EQ(file.Info().eKind, platform::EFileKind::Directory);
    EXPECT_FALSE(m_folder.OpenFile(L"a.txt", 1, file)); // two names now
    EXPECT_EQ(file.Info().nLinks, 2u);
    EXPECT_FALSE(m_folder.OpenFile(L"missing", 1, file));
    EXPECT_EQ(file.Info().eKind, platform::EFileKind::Missing);
    EXPECT_FALSE(m_folder.OpenFile(L"../outside/secret", 0, file));
    EXPECT_EQ(platform::GetLastError(), static_cast<uint32_t>(platform::kErrorInvalidName));

    ASSERT_TRUE(m_folder.OpenFile(L"a.txt", 0, file)); // no bound on names
    std::string szBytes;
    ASSERT_TRUE(file.ReadPrefix(3, szBytes));
    EXPECT_EQ(szBytes, "alp");

    platform::COpenDirectory child;
    EXPECT_TRUE(child.OpenChild(m_folder, L"sub"));
}

TEST_F(OpenDirectoryTest, ListsAndRefusesLinks)
{
    TARVIK_SKIP_UNDER_WINE("CreateSymbolicLinkW reports success without making a link");
    ASSERT_NO_FATAL_FAILURE(MakeLinks());
    std::set<std::wstring> names;
    ASSERT_TRUE(m_folder.List(
        [&](const platform::SListedEntry& entry)
        {
            names.insert(entry.szName);
            if (entry.szName == L"linkdir")
            {
                EXPECT_EQ(entry.eKind, platform::EFileKind::SymbolicLink);
            }
            return true;
        }));
    EXPECT_EQ(names, (std::set<std::wstring>{L"a.txt", L"sub", L"link.txt", L"linkdir", L"twin.txt"}));

    platform::COpenFile file;
    EXPECT_FALSE(m_folder.OpenFile(L"link.txt", 1, file));
    EXPECT_EQ(file.Info().eKind, platform::EFileKind::SymbolicLink);
    platform::COpenDirectory child;
    EXPECT_FALSE(child.OpenChild(m_folder, L"linkdir"));
    EXPECT_EQ(platform::GetLastError(), static_cast<uint32_t>(platform::kErrorCantResolveFilename));
}

TEST_F(OpenDirectoryTest, MovesWithoutReplacingAndDeletesNoFolders)
{
    platform::COpenDirectory sub;
    ASSERT_TRUE(sub.OpenChild(m_folder, L"sub"));
    std::ofstream(m_dir / "sub" / "b.txt") << "taken";
    fs::remove(m_dir / "twin.txt");

    EXPECT_FALSE(m_folder.MoveEntry(L"a.txt", sub, L"b.txt", false));
    EXPECT_EQ(platform::GetLastError(), static_cast<uint32_t>(platform::kErrorAlreadyExists));
    EXPECT_EQ(tests::ReadFile(m_dir / "sub" / "b.txt"), "taken");
    EXPECT_TRUE(m_folder.MoveEntry(L"a.txt", sub, L"b.txt", true));
    EXPECT_EQ(tests::ReadFile(m_dir / "sub" / "b.txt"), "alpha");

    EXPECT_FALSE(m_folder.DeleteEntry(L"sub"));
    EXPECT_EQ(platform::GetLastError(), static_cast<uint32_t>(platform::kErrorAccessDenied));
    EXPECT_TRUE(fs::is_directory(m_dir / "sub"));

    // A copy from the open file, complete under its name or not at all.
    platform::COpenFile file;
    ASSERT_TRUE(sub.OpenFile(L"b.txt", 1, file));
    EXPECT_FALSE(file.CopyInto(sub, L"b.txt", false));
    EXPECT_TRUE(file.CopyInto(m_folder, L"copy.txt", false));
    EXPECT_EQ(tests::ReadFile(m_dir / "copy.txt"), "alpha");
    size_t nEntries = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(m_dir / "sub"))
        ++nEntries;
    EXPECT_EQ(nEntries, 1u); // no temporary left behind
}

TEST_F(OpenDirectoryTest, LinksAreMovedAndDeletedAsThemselves)
{
    TARVIK_SKIP_UNDER_WINE("CreateSymbolicLinkW reports success without making a link");
    ASSERT_NO_FATAL_FAILURE(MakeLinks());
    platform::COpenDirectory sub;
    ASSERT_TRUE(sub.OpenChild(m_folder, L"sub"));
    // A link is moved and deleted as itself; what it points to stays.
    EXPECT_TRUE(m_folder.MoveEntry(L"link.txt", sub, L"link.txt", false));
    EXPECT_EQ(platform::GetFileKind((m_dir / "sub" / "link.txt").wstring(), false),
              platform::EFileKind::SymbolicLink);
    EXPECT_TRUE(sub.DeleteEntry(L"link.txt"));
    EXPECT_TRUE(m_folder.DeleteEntry(L"linkdir"));
    EXPECT_EQ(tests::ReadFile(m_outside / "secret"), "root's");
    EXPECT_TRUE(fs::exists(m_outside));
}

} // namespace
