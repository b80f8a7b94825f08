// The directory search on Windows: names the system matches only through their 8.3 short name are
// not handed out, the filter of a derived finder is told which entries are directories, and a
// symbolic link is described by what it points to.
#include "platform/FileSystem.h"
#include "platform/FindFile.h"
#include "platform/SysError.h"
#include "platform/Windows_win.h"
#include "tests/support/CTempDir.h"
#include "tests/support/TestFiles.h"
#include "tests/support/Wine.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <set>

using namespace platform;

namespace
{

// Takes every name but "." and "..", and notes which names it was told are directories.
class CNotingFinder : public CFindFile
{
public:
    std::set<std::wstring> m_directories;

protected:
    bool WantsEntry(const std::wstring& szName, bool bDirectory) override
    {
        if (bDirectory)
            m_directories.insert(szName);
        return szName != L"." && szName != L"..";
    }
};

std::map<std::wstring, SFindData> Search(CFindFile& find, const std::wstring& szPattern)
{
    std::map<std::wstring, SFindData> found;
    SFindData data;
    for (bool bFound = find.First(szPattern, data); bFound; bFound = find.Next(data))
        found[data.szName] = data;
    return found;
}

TEST(FindFileWinTest, ShortNameMatchesAreDroppedAndDirectoriesAreTold)
{
    CTempDir dir;
    // "a.txtx" has a short name like "A~1.TXT", which the system's own match of "*.txt" takes.
    ASSERT_TRUE(tests::WriteFile(dir.Path() / "a.txtx", "x"));
    ASSERT_TRUE(tests::WriteFile(dir.Path() / "b.txt", "12345"));
    std::filesystem::create_directory(dir.Path() / "c.txt");
    CNotingFinder find;
    const auto found = Search(find, dir.Wide("*.txt"));
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(found.at(L"b.txt").nSize, 5u);
    EXPECT_EQ(found.at(L"c.txt").nAttributes & kAttributeDirectory, kAttributeDirectory);
    EXPECT_EQ(find.m_directories, (std::set<std::wstring>{L"c.txt"}));

    // Both separators, and "." and ".." with "*".
    find.m_directories.clear();
    std::wstring szBackslashed = dir.Wide("*");
    for (wchar_t& ch : szBackslashed)
        ch = ch == L'/' ? L'\\' : ch;
    EXPECT_EQ(Search(find, szBackslashed).size(), 3u);
    EXPECT_EQ(find.m_directories, (std::set<std::wstring>{L".", L"..", L"c.txt"}));

    SFindData data;
    EXPECT_FALSE(find.First(dir.Wide("missing\\*"), data));
    EXPECT_EQ(platform::GetLastError(), static_cast<uint32_t>(kErrorPathNotFound));
    EXPECT_FALSE(find.First(dir.Wide("*.pdf"), data));
    EXPECT_EQ(platform::GetLastError(), static_cast<uint32_t>(kErrorFileNotFound));
}

TEST(FindFileWinTest, SymbolicLinksAreDescribedByWhatTheyPointTo)
{
    TARVIK_SKIP_UNDER_WINE("CreateSymbolicLinkW reports success without making a link");
    CTempDir dir;
    std::filesystem::create_directory(dir.Path() / "target");
    ASSERT_TRUE(tests::WriteFile(dir.Path() / "file", "123"));
    ASSERT_TRUE(tests::MakeSymbolicLink(dir.Path() / "target", dir.Path() / "dirlink", true));
    ASSERT_TRUE(tests::MakeSymbolicLink(dir.Path() / "file", dir.Path() / "filelink"));
    ASSERT_TRUE(tests::MakeSymbolicLink(dir.Path() / "missing", dir.Path() / "dangling"));

    CNotingFinder find;
    const auto found = Search(find, dir.Wide("*"));
    EXPECT_EQ(find.m_directories, (std::set<std::wstring>{L".", L"..", L"target", L"dirlink"}));
    EXPECT_EQ(found.at(L"filelink").nSize, 3u);
    EXPECT_EQ(found.at(L"filelink").nAttributes & FILE_ATTRIBUTE_REPARSE_POINT, 0u);
    EXPECT_NE(found.at(L"dangling").nAttributes & FILE_ATTRIBUTE_REPARSE_POINT, 0u);
}

} // namespace
